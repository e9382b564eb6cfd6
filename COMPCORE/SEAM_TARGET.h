// SEAM_TARGET: what the compiler core uses of the target link and the debugger core.
// The compile-and-load sequence, the target operations and the breakpoint tables are built with
// the target link; until then (and in tests) the core calls them through this seam: shared
// flags and state held here, and an abstract `TargetOperations` interface whose default is a
// headless double that records every call and answers from scriptable values.
// Std-only.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

// --- Shared state of the compile-and-load sequence --------------------------------------------

// Communication state: 0 idle, 1 cold loader, 2 pilot BIOS, 3 BIOS, 4 user program, 6 running
// with polling, 7 stopped or running without polling. Picks the phrase that opens a target
// communication error.
extern uint8_t gTCState;

// The BIOS-compile flag of the compile-and-load sequence.
bool IsCompilingBios();
void SetCompilingBios(uint8_t flag);

// Debug-kernel state of the compile: 0 with the RST 28 debug kernel, 1 without, 2 without and
// the note shown.
extern uint8_t gDebugRstState;

// Compile without a target (to an image file): 1; to the target: 0. Read by "CompileProgram".
extern uint8_t gTargetlessCompile;
// Set when the BIOS goes to the target in this run.
extern uint8_t gBiosLoadFlag;

// --- Millisecond clock ------------------------------------------------------------------------

// The current time in milliseconds (steady clock). Stamps every exception.
uint32_t GetMillisecondClock();
// Tests may replace the clock; null restores the real one.
using MillisecondClockFn = uint32_t (*)();
void SetMillisecondClock(MillisecondClockFn clock);

// --- Communication settings -------------------------------------------------------------------

// The fields of the communication settings that the compiler reads.
struct TCOptionsType {
    uint32_t response_timeout_ms = 2000;
    uint16_t link_kind = 0; // 0 serial, otherwise TCP/IP
};

// Board information from the target's ID block.
struct TcBoardInfo {
    std::array<uint8_t, 132> id_block{};
    uint16_t board_type = 0;
    uint16_t ram_size_code = 0;
    uint16_t flash_id = 0;
    uint16_t cpu_id = 0;
    uint16_t freq_divider = 0;
};

// --- Target operations ------------------------------------------------------------------------

// Each operation returns after the exchange with the loader or the debug kernel; failures are
// thrown as xTCErr by the implementation.
class TargetOperations {
public:
    virtual ~TargetOperations() = default;

    virtual TCOptionsType GetCommSettings() = 0;
    virtual std::array<uint32_t, 3> GetLoaderBaudRates() = 0;
    virtual void SetLoaderBaudRates(const std::array<uint32_t, 3> &rates) = 0;
    virtual uint32_t TcGetRetryCount() = 0;
    virtual void TcSetRetryCount(uint32_t count) = 0;
    virtual uint32_t TcGetResponseTimeout() = 0;
    virtual void TcSetResponseTimeout(uint32_t ms) = 0;
    virtual TcBoardInfo TcReadBoardInfo() = 0;
    virtual bool TcValidateIdBlock(const std::array<uint8_t, 132> &id_block) = 0;
    virtual void TcSendFlashParameters(uint32_t flash_size, uint32_t sector_size,
                                       uint32_t sector_count, uint32_t write_mode) = 0;
    // True on failure.
    virtual bool TcEraseFlash(uint32_t physical_end) = 0;
    virtual void TcDownloadFile(const std::string &path, const std::string &extension,
                                uint32_t base, uint32_t start_offset, uint32_t sector_filter,
                                uint32_t block_size) = 0;
    virtual void TcWritePhysicalMemory(uint32_t physical, const uint8_t *bytes,
                                       uint32_t count) = 0;
    virtual void TcReadMemory(uint32_t address_word, uint8_t *buffer, uint32_t count) = 0;

    virtual void ShowCompileStatusCaption() = 0;
    virtual void ReconnectAtDebugBaud() = 0;
    virtual void selectDisasmTables() = 0;
    virtual void TraceStartCapture() = 0;
    virtual void TraceStopCapture() = 0;
};

// The target operations in use (never null; a headless double by default).
TargetOperations &target_operations();
// Installs an implementation (not owned); null restores the headless double.
void set_target_operations(TargetOperations *ops);

// Headless double: records each call as a text line ("TcEraseFlash 0x7FFFF") and answers from
// the public fields. Memory reads and writes go to a 1 MB physical image.
class HeadlessTargetOperations : public TargetOperations {
public:
    HeadlessTargetOperations();

    std::vector<std::string> calls;
    TCOptionsType settings;
    std::array<uint32_t, 3> loader_rates{57600, 115200, 115200};
    uint32_t retry_count = 3;
    uint32_t response_timeout = 2000;
    TcBoardInfo board;
    bool id_block_valid = true;
    bool erase_fails = false;
    std::vector<uint8_t> memory; // 1 MB physical image

    TCOptionsType GetCommSettings() override;
    std::array<uint32_t, 3> GetLoaderBaudRates() override;
    void SetLoaderBaudRates(const std::array<uint32_t, 3> &rates) override;
    uint32_t TcGetRetryCount() override;
    void TcSetRetryCount(uint32_t count) override;
    uint32_t TcGetResponseTimeout() override;
    void TcSetResponseTimeout(uint32_t ms) override;
    TcBoardInfo TcReadBoardInfo() override;
    bool TcValidateIdBlock(const std::array<uint8_t, 132> &id_block) override;
    void TcSendFlashParameters(uint32_t flash_size, uint32_t sector_size, uint32_t sector_count,
                               uint32_t write_mode) override;
    bool TcEraseFlash(uint32_t physical_end) override;
    void TcDownloadFile(const std::string &path, const std::string &extension, uint32_t base,
                        uint32_t start_offset, uint32_t sector_filter,
                        uint32_t block_size) override;
    void TcWritePhysicalMemory(uint32_t physical, const uint8_t *bytes, uint32_t count) override;
    void TcReadMemory(uint32_t address_word, uint8_t *buffer, uint32_t count) override;
    void ShowCompileStatusCaption() override;
    void ReconnectAtDebugBaud() override;
    void selectDisasmTables() override;
    void TraceStartCapture() override;
    void TraceStopCapture() override;
};
// The built-in double (for tests to script and inspect).
HeadlessTargetOperations &headless_target_operations();

// --- Breakpoint tables ------------------------------------------------------------------------

// Tables of source positions with code addresses: 0 line table, 1 statement table,
// 2 assembler-source table.
enum class SourceTable : uint8_t { Line = 0, Statement = 1, AsmSource = 2 };

struct SourceEntry {
    SourceTable table;
    std::string file;
    int line;
    int column;
    uint32_t address;
};

class BreakpointTables {
public:
    virtual ~BreakpointTables() = default;
    virtual void clearBreakpoints() = 0;
    virtual void dumpBreakpoints(std::ostream &out) = 0;
    virtual void beginSourceRange(const std::string &file, int line, int column,
                                  uint32_t address) = 0;
    virtual void endSourceRange(int line, int column, uint32_t address) = 0;
    virtual void addSourceEntry(SourceTable table, const std::string &file, int line, int column,
                                uint32_t address) = 0;
    virtual void markStatementPosition(SourceTable table, const std::string &file, int line,
                                       int column, uint32_t address) = 0;
};

// Headless tables: keep every entry in order; a range opened by beginSourceRange is kept in
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
};

BreakpointTables &breakpoint_tables();
void set_breakpoint_tables(BreakpointTables *tables); // null restores the headless tables
HeadlessBreakpointTables &headless_breakpoint_tables();
