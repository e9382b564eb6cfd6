// Recording doubles of the code-generator and target seams: each records every call as a text
// line and answers from public fields that a test scripts. `install_seam_doubles` puts the
// three shared doubles in place; every test program that links this file does so before its
// first test (a global environment), so a test that installs one of its own puts the shared
// one back with `install_seam_doubles` (or the single setter) when it is done.
#pragma once

#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_TARGET.h"

#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

// ---- code generator -----------------------------------------------------------------------------

class HeadlessCodegen : public CodegenSeam {
public:
    std::vector<std::string> calls;
    uint8_t cpu = 1;
    uint32_t code_address = 0;
    uint16_t root_size = 0;
    bool link_ok = true;
    uint16_t start_up_size = 0;

    uint16_t select_target_cpu(uint16_t word, uint8_t cpu_id) override;
    uint8_t cpu_flag() const override { return cpu; }
    void set_bios_compile(uint8_t *bios_marker) override;
    void set_program_compile(uint8_t *program_flag) override;
    void select_cache_set(int program_flag) override;
    void set_code_address(uint32_t address_word) override;
    uint32_t xmem_cache_address() const override { return code_address; }
    uint16_t root_code_size() const override { return root_size; }
    bool link_required_symbols(int mode) override;
    uint16_t measure_start_up_block(uint16_t *second_size) override;
    void note_required_symbols() override;
    void output_pending_stubs(int flag) override;
    void delete_pending_asm_object() override;
    void reset_compile_state() override;
};
HeadlessCodegen &headless_codegen();

// ---- target operations --------------------------------------------------------------------------

// Headless double: records each call as a text line ("TcEraseFlash 0x7FFFF") and answers from
// the public fields. Memory reads and writes go to a 1 MB physical image.
class HeadlessTargetOperations : public TargetOperations {
public:
    HeadlessTargetOperations();

    std::vector<std::string> calls;
    TCOptionsType settings;
    std::array<uint32_t, 3> loader_rates{57600, 115200, 115200};
    uint8_t usb_serial = 0;
    uint32_t usb_serial_delay = 0;
    uint32_t retry_count = 3;
    uint32_t response_timeout = 2000;
    TcBoardInfo board;
    bool erase_fails = false;
    std::vector<uint8_t> memory; // 1 MB physical image
    // The link error the next TcGetLinkError takes (it clears `pending`).
    TcLinkError link_error;
    // When set, each named call throws the xTCErr it makes (e.g. a dead link).
    std::function<void(const std::string &call)> fail;

    TCOptionsType GetCommSettings() override;
    void SetCommSettings(TCOptionsType settings) override;
    std::array<uint32_t, 3> GetLoaderBaudRates() override;
    void SetLoaderBaudRates(const std::array<uint32_t, 3> &rates) override;
    void TcGetUsbSerialDelay(uint8_t &use_converter, uint32_t &delay_ms) override;
    void TcSetUsbSerialDelay(uint8_t use_converter, uint32_t delay_ms) override;
    void SetTraceOptions() override;
    uint32_t TcGetRetryCount() override;
    void TcSetRetryCount(uint32_t count) override;
    uint32_t TcGetResponseTimeout() override;
    void TcSetResponseTimeout(uint32_t ms) override;
    TcBoardInfo TcReadBoardInfo() override;
    bool TcValidateIdBlock(const std::array<uint8_t, 132> &id_block) override;
    void TcSendFlashParameters(uint32_t flash_size, uint32_t sector_size, uint32_t sector_count,
                               uint32_t write_mode) override;
    bool TcEraseFlash(uint32_t physical_end) override;
    void TcDownloadFile(const std::string &path, const std::string &extension,
                        uint32_t address_offset, uint32_t length, uint32_t image_start,
                        uint32_t block_size) override;
    void TcWritePhysicalMemory(uint32_t physical, const uint8_t *bytes, uint32_t count) override;
    void TcReadMemory(uint32_t address_word, uint8_t *buffer, uint32_t count) override;
    void ShowCompileStatusCaption() override;
    void ReconnectAtDebugBaud() override;
    void TraceStartCapture() override;
    void TraceStopCapture() override;

    // The debugger's side of the editor. A toggle reads caret and file name through the
    // adapter (recorded as "toggleBreakpoint 0x<packed caret> <file>"); a caret that holds a
    // breakpoint loses it and its mark, else with `toggle_result` it gets one and the mark,
    // and without it nothing changes and the toggle answers false.
    bool breakpoints_enabled = true;
    uint8_t max_watches = 8;
    bool toggle_result = true;
    std::vector<std::pair<std::string, uint32_t>> breakpoints; // file, packed position
    bool areBreakpointsEnabled() override;
    uint8_t getMaxWatches() override;
    bool toggleBreakpoint(TEditorInterface &editor) override;
    bool toggleHardBreakpoint(TEditorInterface &editor) override;
    void forgetBreakpoints() override;

    // The link while a program runs and when debugging ends; each call recorded and given
    // to `fail`, which may throw.
    TcLinkError TcGetLinkError() override;
    void TcShowLinkError(uint8_t kind, uint8_t type, uint8_t subtype) override;
    void TcSendSysPoll() override;
    void TcSendDbgPoll() override;
    void TcCheckPendingError() override;
    void TcCloseConnection() override;
    void TcResetTarget() override;
    void TcClearTraceFlags() override;
    void TcSetTraceFlag(uint8_t bit, bool on) override;

private:
    bool Toggle(const char *name, TEditorInterface &editor);
    void Note(const std::string &call);
};
HeadlessTargetOperations &headless_target_operations();

// ---- breakpoint tables --------------------------------------------------------------------------

// Headless tables: keep every entry in order (with the line offset the input reports when it is
// made); a range opened by beginSourceRange is kept in
// `ranges` when endSourceRange closes it (an end without an open range is ignored).
class HeadlessBreakpointTables : public BreakpointTables {
public:
    struct Range {
        std::string file;
        int line = 0, column = 0;
        uint32_t start = 0;
        int end_line = 0, end_column = 0;
        uint32_t end = 0;
    };
    std::vector<SourceEntry> entries;
    std::vector<Range> ranges;
    bool range_open = false;
    Range pending;

    void clearBreakpoints() override;
    void dumpBreakpoints(std::ostream &out) override;
    void beginSourceRange(const std::string &file, int line, int column,
                          uint32_t address) override;
    void endSourceRange(int line, int column, uint32_t address) override;
    void addSourceEntry(SourceTable table, const std::string &file, int line, int column,
                        uint32_t address) override;
    void markStatementPosition(SourceTable table, const std::string &file, int line, int column,
                               uint32_t address) override;
    // The entries of the table whose address has the same physical address, in entry order.
    bool lookupBreakpointByAddress(uint32_t address, SourceTable table,
                                   source_item &found) override;
    bool getSourceItemsAtAddress(uint32_t address, SourceTable table,
                                 std::vector<source_item> &items) override;
    // The line table's last entry of that file (names compared without case) and line whose
    // column is not after the one asked; 0 when there is none.
    uint32_t lookupAddressBySource(const std::string &file, uint16_t line,
                                   uint16_t column) override;
};

HeadlessBreakpointTables &headless_breakpoint_tables();

// The three shared doubles above as the installed seams.
void install_seam_doubles();
