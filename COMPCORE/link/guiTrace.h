// guiTrace: the execution-trace store and its text. While a program runs with tracing on, the
// debug kernel sends one 28-byte packet (DBG 28) per traced event ("Execute", "Enter", "Exit",
// "MACRO"). The store keeps the fields the user chose as fixed-size packed records in one buffer
// sized from "Trace Buf Size", drops records of no known function (`gAddressNameMap`) and those
// the options filter out, folds repeats for the trace window, resolves each record's address to
// a function, file and line when it is shown, notices a stop under tracing and hands it to run
// control, and formats records as fixed-column text for the clipboard and for files.
// There is one store, `gTraceBuf`; the trace window attaches itself to its interface and the IDE
// installs its trace actions (`set_trace_shell`). GUI thread only.
//
// Record kinds (fields in order, little-endian, no gaps):
//   0 regs(27)              1 regs, time(4)          2 regs, action(1)    3 regs, time, action
//   4 xpc(2) pc(2)          5 xpc pc time            6 xpc pc action      7 xpc pc time action
//   8 time                  9 action                10 time action
// Packet: 0 flags and action (bit 0 runs on, bit 1 state, 0xFC action) | 1-27 register block:
//   SP, XPC word, AF' BC' DE' HL', AF BC DE HL, IX IY, 1 spare byte, PC
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The trace window as the store drives it.
class TTraceWindow {
public:
    virtual ~TTraceWindow() = default;
    // One placeholder row; the window draws its text from the store.
    virtual void AddLine(const std::string &text) = 0;
    // Empties the register lists and the row list.
    virtual void ClearLists() = 0;
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    // The register panel and its splitter: shown only for records that carry registers.
    virtual void SetRegisterPanelVisible(bool visible) = 0;
    // The window's show-repeats state and its full-path option ("FullPath").
    virtual bool ShowRepeats() const = 0;
    virtual void SetShowRepeats(bool on) = 0;
    virtual bool FullPath() const = 0;
    virtual void BringToFront() = 0;
    // The hourglass while all rows are rebuilt.
    virtual void SetBusyCursor(bool busy) = 0;
};

// The main window's trace actions.
class TTraceShell {
public:
    virtual ~TTraceShell() = default;
    virtual void TraceOn() = 0;
    virtual void TraceOff() = 0;
    virtual void ToggleTraceWindow() = 0;
    virtual bool TraceWindowShown() = 0;
};
// Without the IDE: trace on and off send the flags as the main window's actions do; there is
// no window. Null restores that one; not owned.
void set_trace_shell(TTraceShell *shell);
TTraceShell &trace_shell();

struct TQBTraceInterface {
    std::unique_ptr<std::vector<std::string>> lines; // output lines while a file is written
    TTraceWindow *window = nullptr;                   // the trace window, when it exists
};

inline constexpr int kTraceRecordKinds = 11;
inline constexpr std::size_t kTracePacketSize = 28;
inline constexpr std::size_t kTraceRegisterBlock = 27;
// Record size of each kind.
inline constexpr int kTraceRecordSize[kTraceRecordKinds] = {27, 31, 28, 32, 4, 8, 5, 9, 4, 1, 5};

// Action codes (flags-and-action byte masked with 0xFC).
inline constexpr uint8_t kTraceMacro = 4;
inline constexpr uint8_t kTraceExecute = 8;
inline constexpr uint8_t kTraceEnter = 16;
inline constexpr uint8_t kTraceExit = 32;

// The most megabytes the buffer may have: its bytes must stay below 2^31.
inline constexpr int32_t kTraceBufMaxMegabytes = 2047;

class TQBTraceBuf {
public:
    TQBTraceBuf();
    virtual ~TQBTraceBuf();
    TQBTraceBuf(const TQBTraceBuf &) = delete;
    TQBTraceBuf &operator=(const TQBTraceBuf &) = delete;

    // The options, read from the settings ("Debug Options") in one place.
    virtual void ShowTraceWindow();
    virtual bool BufWrapEnabled();
    virtual bool TracingEnabled();
    virtual bool TraceRstEnabled();
    virtual bool TraceFunctionsEnabled();
    virtual bool InfoReg();
    virtual bool InfoRepeat();
    virtual bool ShowRepeats();
    virtual int32_t BufSizeMegabytes();
    virtual bool InfoAction();
    virtual bool InfoFunc();
    virtual bool InfoFile();
    virtual bool InfoLineCol();
    virtual bool InfoTime();

    // Record kind and capacity from the options; nothing while tracing is off or runs on the
    // target. A size of 2048 MB or more (or below 0) is refused, reported once, and leaves no
    // buffer.
    void SetTraceOptions();
    void SetTraceRecordKind(int kind);
    void ClearTraceStore();
    void EnableTrace(bool force);
    void ResetTrace(bool finish);
    // The trace run ends because debugging ends: as ResetTrace(false), but the run state is the
    // caller's (edit mode is not turned into a stop).
    void EndTraceForEditMode();
    void SendTraceFlags();
    // A DBG 28 payload; one shorter than 28 bytes is dropped.
    void DecodeTracePacket(const uint8_t *packet, std::size_t length);
    void AppendTraceRecord(const uint8_t *record);
    [[nodiscard]] bool KeepTraceRecord(int index);
    void UnpackTraceRecord(int index);
    std::string GetTraceActionName(int index);
    std::string FunctionNameAt(uint32_t address) const;
    void ResolveTraceEntry(int index, std::string &function, std::string &file,
                           std::string &line_col);
    void AddTraceRow(int index);
    void RefreshTraceView();
    void AddTraceLine(const std::string &text);
    void StartTraceClock();
    // Milliseconds since the clock started; 0 before it started.
    uint32_t TraceTimestamp() const;
    void TraceStopNotify();
    void RefreshRegisterView();
    void PrepareTraceForCompile();
    void UpdateTraceActions(bool on);
    void ToggleTraceWindow();
    bool TraceWindowShown();

    // Text (fixed columns) of a row or record, the header, the column widths of every record.
    std::string FormatTraceLine(int index);
    std::string FormatTraceHeader();
    void MeasureTraceColumns();
    // Header and lines to the file, CR LF each. A missing folder one level deep is made; when the
    // folder cannot be had or the file not written, that is reported with the path and false
    // comes back. Never throws.
    bool WriteTraceToFile(const std::string &file_name);
    void AppendOutputLine(const std::string &text);
    [[nodiscard]] bool SaveOutputLines(const std::string &file_name);

    // State the windows and run control read.
    int RecordKind() const { return m_kind; }
    int RecordSize() const { return m_record_size; }
    int Capacity() const { return m_capacity; }
    int BufferSize() const { return m_buffer_size; }
    int Count() const { return m_count; }
    bool HasBuffer() const { return m_buffer != nullptr; }
    bool Idle() const { return m_idle; }
    std::size_t PendingBytes() const { return m_pending.size(); }
    std::size_t RowCount() const { return m_rows.size(); }
    bool StateBit0() const { return m_state0; }
    bool StateBit1() const { return m_state1; }
    void ClearStateBits() { m_state0 = m_state1 = false; }
    void RequestStop() { m_stop_requested = true; }
    // The further count of a repeat key, or nothing.
    const uint32_t *TraceMapFind(const std::string &key) const;
    uint32_t WidestFunction() const { return m_widest_function; }
    uint32_t WidestFile() const { return m_widest_file; }
    const std::string &WidestShortFile() const { return m_widest_short_file; }
    TQBTraceInterface &Interface() { return m_interface; }
    // The stack data run control keeps for a stop under tracing.
    std::vector<uint8_t> &SavedStackData() { return m_stack_data; }

    // The unpacked current record.
    struct Unpacked {
        uint8_t regs[kTraceRegisterBlock] = {};
        uint16_t xpc = 0;
        uint16_t pc = 0;
        uint32_t time = 0;
        uint8_t action = 0;
    };
    const Unpacked &Current() const { return m_current; }

private:
    void UnpackRecord(int record_index);
    void DropRecords();
    uint32_t RecordAddress() const;
    std::string RepeatKey(int index);
    void Report(uint32_t id, const std::string &argument);

    int m_kind = 0;
    Unpacked m_current;
    uint32_t m_clock_start = 0;
    bool m_clock_started = false;
    uint32_t m_widest_function = 8;
    uint32_t m_widest_file = 9;
    std::string m_widest_short_file;
    int m_count = 0;
    int m_record_size = 0;
    int m_capacity = 0;
    int m_buffer_size = 0;
    int m_write_offset = 0;
    std::unique_ptr<uint8_t[]> m_buffer;
    int m_allocated = 0;
    bool m_idle = true;
    TQBTraceInterface m_interface;
    std::map<uint8_t, std::string> m_action_names;
    std::vector<uint8_t> m_pending;
    std::vector<uint32_t> m_rows;
    std::vector<uint8_t> m_stack_data;
    bool m_state1 = false;
    bool m_state0 = false;
    bool m_stop_requested = false;
    struct Repeat {
        uint32_t first = 0;
        uint32_t further = 0;
    };
    std::map<std::string, Repeat> m_repeats;
    bool m_enabling = false;          // EnableTrace runs: the trace-on action must not re-enter
    bool m_size_reported = false;     // a refused size is reported once
};

// The one store of the process (made with the program; lives until it ends).
extern TQBTraceBuf *gTraceBuf;
TQBTraceBuf &trace_buf();
