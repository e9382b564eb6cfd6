// SEAM_TARGET: what the compiler core uses of the target link and the debugger core.
// The compile-and-load sequence and the target operations are built with the target link; until
// then the core calls them through this seam: shared flags and state held here, and abstract
// `TargetOperations` and `BreakpointTables` interfaces. Until the target link installs its
// operations, the built-in ones throw `xErr` ("The target link is not part of this build." /
// "The debugger core is not part of this build.") for every call that must answer or record
// something. The breakpoint tables are the debugger core's own (DB_SRC). Tests install
// recording doubles.
// Std-only.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "debugger/TCOptions.h"

class TEditorInterface;

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
// Set for as long as the compile-and-load sequence compiles and loads the BIOS rather than a
// program.
extern uint8_t gBiosCompileFlag;

// --- Millisecond clock ------------------------------------------------------------------------

// The current time in milliseconds (steady clock). Stamps every exception.
uint32_t GetMillisecondClock();
// Tests may replace the clock; null restores the real one.
using MillisecondClockFn = uint32_t (*)();
void SetMillisecondClock(MillisecondClockFn clock);

// --- Communication settings -------------------------------------------------------------------

// `TCOptionsType`, the communication settings record, is TCOptions.h's.

// Board information from the target's ID block.
struct TcBoardInfo {
    std::array<uint8_t, 132> id_block{};
    uint16_t board_type = 0;
    uint16_t ram_size_code = 0;
    uint16_t flash_id = 0;
    uint16_t cpu_id = 0;
    uint16_t freq_divider = 0;
};

// The ID block check: the marker 0x55, 0xAA three times at bytes 126-131, and the CRC-16/XMODEM
// (polynomial 0x1021, initial 0) of bytes 0-114 and 116-131, bytes 124-125 counted as 0, equal
// to the little-endian word at 124.
[[nodiscard]] bool id_block_is_valid(const std::array<uint8_t, 132> &id_block);
// That CRC (what a valid block holds at 124).
uint16_t id_block_crc(const std::array<uint8_t, 132> &id_block);

// --- Target operations ------------------------------------------------------------------------

// The debugger's copy of the target registers. PC is a target address word (XPC << 16 | PC).
struct TargetRegisterSet {
    uint16_t AF = 0, BC = 0, DE = 0, HL = 0, SP = 0;
    uint32_t PC = 0;
    uint16_t IX = 0, IY = 0;
    uint16_t AF2 = 0, BC2 = 0, DE2 = 0, HL2 = 0; // AF', BC', DE', HL'
    bool operator==(const TargetRegisterSet &) const = default;
};


// A link error the transport's reader recorded instead of throwing: kind 0 a NAK received, 1 no
// handler registered for the message, 2 a bad packet, 3 the loader dropped the connection.
// Taking the record clears it.
struct TcLinkError {
    uint8_t kind = 0;
    uint8_t type = 0;
    uint8_t subtype = 0;
    bool pending = false;
};

// Each operation returns after the exchange with the loader or the debug kernel; failures are
// thrown as xTCErr by the implementation.
class TargetOperations {
public:
    virtual ~TargetOperations() = default;

    // The current communication settings; SetCommSettings replaces them whole (it neither
    // opens nor closes a connection).
    virtual TCOptionsType GetCommSettings() = 0;
    virtual void SetCommSettings(TCOptionsType settings) = 0;
    // Cold loader, pilot BIOS, BIOS.
    virtual std::array<uint32_t, 3> GetLoaderBaudRates() = 0;
    virtual void SetLoaderBaudRates(const std::array<uint32_t, 3> &rates) = 0;
    // The USB-to-serial converter flag and the delay (ms) waited after the serial port opens.
    virtual void TcGetUsbSerialDelay(uint8_t &use_converter, uint32_t &delay_ms) = 0;
    virtual void TcSetUsbSerialDelay(uint8_t use_converter, uint32_t delay_ms) = 0;
    // The trace store takes its record layout and capacity from the trace options of the
    // settings (unless tracing is off or runs on the target).
    virtual void SetTraceOptions() = 0;
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
    // Sends the first `length` bytes of the image file (the source path with `extension`) in
    // write packets: the block at file offset n goes to `address_offset` + n, and only the
    // blocks whose flash sector is marked (the sector map's test at `image_start` + n) go.
    virtual void TcDownloadFile(const std::string &path, const std::string &extension,
                                uint32_t address_offset, uint32_t length, uint32_t image_start,
                                uint32_t block_size) = 0;
    virtual void TcWritePhysicalMemory(uint32_t physical, const uint8_t *bytes,
                                       uint32_t count) = 0;
    virtual void TcReadMemory(uint32_t address_word, uint8_t *buffer, uint32_t count) = 0;

    virtual void ShowCompileStatusCaption() = 0;
    virtual void ReconnectAtDebugBaud() = 0;
    virtual void TraceStartCapture() = 0;
    virtual void TraceStopCapture() = 0;

    // What the source editor uses of the debugger core. The options the target reported:
    // breakpoints available, and the most watches it keeps.
    virtual bool areBreakpointsEnabled() = 0;
    virtual uint8_t getMaxWatches() = 0;
    // A soft or hard breakpoint toggled at the editor's caret: the debugger reads caret and
    // file name through the adapter and sets or clears the mark through it. False when no
    // more breakpoints can be added.
    virtual bool toggleBreakpoint(TEditorInterface &editor) = 0;
    virtual bool toggleHardBreakpoint(TEditorInterface &editor) = 0;
    // What the main window uses of the link while a program runs and when debugging ends.
    virtual TcLinkError TcGetLinkError() = 0;
    // Shows a link error in a box by its kind.
    virtual void TcShowLinkError(uint8_t kind, uint8_t type, uint8_t subtype) = 0;
    // SYS NOOP; DBG NOOP (not sent while a request is in progress).
    virtual void TcSendSysPoll() = 0;
    virtual void TcSendDbgPoll() = 0;
    // When a request is in progress on the connection: its result, a failure thrown.
    virtual void TcCheckPendingError() = 0;
    virtual void TcCloseConnection() = 0;
    // DBG RESET.
    virtual void TcResetTarget() = 0;
    // The cached trace-flag mask: cleared without sending; one bit set or cleared and sent.
    virtual void TcClearTraceFlags() = 0;
    virtual void TcSetTraceFlag(uint8_t bit, bool on) = 0;
    // Empties the user breakpoint list and clears the editor marks, without the target.
    virtual void forgetBreakpoints() = 0;
};

// The target operations in use (never null; the built-in refusal until one is installed).
TargetOperations &target_operations();
// Installs an implementation (not owned); null restores the built-in refusal.
void set_target_operations(TargetOperations *ops);

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
    uint32_t line_offset = 0;  // byte offset of the source line in its file
};

// One source position as the look-ups hand it out: the file, line and column (from 1), and the
// byte offset of the line in its file (from which the listing echoes it).
struct source_item {
    std::string file;
    uint16_t line = 0;
    uint16_t column = 0;
    uint32_t line_offset = 0;
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

    // Look-ups by code address; addresses are equal when their physical addresses are. The
    // first record of the table at the address (false when there is none), and every record
    // there, in the table's order, appended to `items` (false when the list stays empty).
    virtual bool lookupBreakpointByAddress(uint32_t address, SourceTable table,
                                           source_item &found) = 0;
    virtual bool getSourceItemsAtAddress(uint32_t address, SourceTable table,
                                         std::vector<source_item> &items) = 0;
    // The code address of the line table's statement that covers a source position (file
    // upper-cased, line and column from 1), or 0 when none does.
    virtual uint32_t lookupAddressBySource(const std::string &file, uint16_t line,
                                           uint16_t column) = 0;
};

BreakpointTables &breakpoint_tables();
// Installs the tables (not owned); null restores the debugger core's own tables (DB_SRC).
void set_breakpoint_tables(BreakpointTables *tables);
