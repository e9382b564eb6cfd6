// guiTargetless: the Targetless page of the Project Options dialog without its windows: the
// board it shows and the lists it offers, its checks and their messages, adding and deleting user
// boards, RTI board files, and the result it hands to the project on OK.
//
// The page has three inner tabs: "RTI File" (a board file in a memo), "Specify Parameters" (an
// ID, a description, a CPU and three sizes typed or picked) and "Board Selection" (the board
// list, the chosen board's values and its CPU revision). `TTargetlessModel` holds what the
// controls show; the Qt page (GUI/frmKXTargetless) mirrors it into its controls and forwards the
// user's edits and clicks to the handlers of the same names. Messages and questions go through
// the host services' message box, file choices through their file dialogs.
//
// What the model does to the store: start-up seeds it (guiTCBoards) and reads it; deleting a user
// board removes it at once; `SaveTargetlessLists` (the dialog's OK) writes the boards, CPU
// revisions and lists that changed. Added boards and CPU changes live in the model until then.
//
// Numbers: board IDs, RAM and flash sizes and revision IDs are integers (decimal, or "0x" hex);
// frequencies are MHz texts with the locale's decimal separator, which the caller passes in.
// Std-only; GUI thread only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/SEAM_SETTINGS.h"
#include "StringList.h"
#include "guiTCBoards.h"

// ---- support operations ------------------------------------------------------------------------

// "0x" and the value in upper-case hex, at least `width` digits (a negative value as its 32-bit
// two's complement).
std::string FormatHexId(int width, int64_t value);
// FormatHexId of the text read as an integer (decimal, or hex after "0x"); empty when it is none.
std::string FormatIdText(std::string_view text, int width);
// An integer text (blanks around it allowed): decimal, or "0x" hex; 32 bits.
std::optional<int64_t> parse_id(std::string_view text);

// A floating-point text under the locale's rules: blanks around it, a sign, digits with one
// decimal separator, an exponent. Nothing for anything else (the other separator included).
std::optional<double> text_to_float(std::string_view text, char decimal_separator);
// A frequency text: read by text_to_float; when that fails, the first character that is not a
// digit becomes the decimal separator and the text is read again. On success the caller's text
// holds the form that was read. Nothing (and the text unchanged) when neither reading works.
std::optional<double> ParseFrequency(std::string &text, char decimal_separator);
// A frequency's Hz: MHz times 1000000 plus 0.5, truncated; nothing unless it lies in 1 Hz to
// 4294967295 Hz.
std::optional<uint32_t> frequency_hz(double mhz);
// A RAM or flash size: an integer of at least 0.
std::optional<int32_t> parse_size(std::string_view text);

// ---- messages ----------------------------------------------------------------------------------

struct PageMessage {
    std::string text;
    std::string caption;
    unsigned flags = 0;  // kMbOk, or kMbYesNo for a question
    bool operator==(const PageMessage &) const = default;
};

// "Enter crystal speed in MHz, 29.4912 etc." with the locale's separator; "Crystal Speed Error".
PageMessage crystal_speed_error(char decimal_separator);
PageMessage ram_size_error();    // "Enter RAM size in KBytes, 128 etc."
PageMessage flash_size_error();  // "Enter Flash size in KBytes, 128 etc."
// "Not a valid entry", captioned with the field's name and " Error".
PageMessage not_valid_entry(std::string_view field);

// The checks of a board ID text (trimmed) and a description, in the order the page runs them.
// Not a number, or above 0xFFFF (the compiler keeps 16 bits of the ID): refused.
std::optional<PageMessage> board_id_refusal(std::string_view id);
// Outside the user range 0xFF00-0xFFFF: the Yes/No question whether to use it anyway.
std::optional<PageMessage> board_id_question(int64_t value, std::string_view id);
// Already the ID of the row with this text.
PageMessage board_id_taken(std::string_view row_text, std::string_view id);
// An empty description.
std::optional<PageMessage> board_description_refusal(std::string_view description,
                                                     std::string_view id);

// ---- RTI board files ---------------------------------------------------------------------------

// The key names of the file by field code ("BI", "BN", "CN", "CI", "CV", "CS", "RS", "FS"), as
// the store's "RTI Fields V2" gives them; a code it lacks has an empty key name.
class TRtiFields {
public:
    TRtiFields() : TRtiFields(default_rti_fields()) {}
    explicit TRtiFields(const TStringList &lines) : m_lines(lines) {}
    std::string key(std::string_view code) const { return m_lines.value(code); }

private:
    TStringList m_lines;
};

// The eight values of a board file, in the order a file is written.
struct RtiBoard {
    std::string board_id, board_name, cpu_name, cpu_id, cpu_revision, crystal, ram, flash;
};
// The value of a key in a board file's text: the text after the first "=" of the first line
// whose part before it is the key (ASCII letters without regard to case; blanks around both
// dropped). Sections are not looked at. Empty when no line has the key.
std::string rti_value(std::string_view text, std::string_view key);
// Writes the eight keys into section "Parameters" of the file (its other lines kept) and
// replaces the file at once. False, with the reason, when it could not be read or written (the
// file is then as it was).
[[nodiscard]] bool write_rti_file(const std::string &path, const TRtiFields &fields,
                                  const RtiBoard &board, std::string &reason);

// ---- the page ----------------------------------------------------------------------------------

enum class TargetlessTab { Rti, Specify, Select };
enum class SizeCombo { BaseFreq, RAMSize, FlashSize };
enum class CpuCombo { CPUId, cboCPUId };
enum class PageFocus { None, ID, Name, btnRtiOpen };

// An editable combo box: its list, the chosen entry (-1 none) and its text.
struct TComboList {
    std::vector<std::string> items;
    int index = -1;
    std::string text;
    int find(std::string_view value) const;
    // Chooses the entry equal to the value; without one nothing is chosen and the text is empty.
    void select_text(std::string_view value);
};

struct TBoardRow {
    std::string text;  // "BN"
    TStringList record;
};
struct TCpuEntry {
    std::string text;  // "CN"
    TStringList record;
};

class TTargetlessModel {
public:
    // `base_path`: the settings base path without the version key.
    explicit TTargetlessModel(char decimal_separator, std::string base_path = kSettingsBasePath);
    ~TTargetlessModel();
    TTargetlessModel(const TTargetlessModel &) = delete;
    TTargetlessModel &operator=(const TTargetlessModel &) = delete;

    // ---- the dialog's steps ---------------------------------------------------------------------
    // Show: seeds the store, reads the lists, boards and CPU revisions, and selects the board
    // whose ID is the record's board type (else the first).
    void Startup(const BoardParameters &board);
    // OK, first: the chosen board into the record and, when the record is gBoardParameters,
    // the current project's targetless section. A value that cannot be used is shown and the
    // record stays as it was (false). Without a chosen board the record stays as it is.
    bool FillBoardParameters(BoardParameters &record);
    // The same without showing or writing anything: the record, or the message to show.
    std::optional<PageMessage> BoardParametersResult(BoardParameters &record) const;
    // OK, last: the boards, CPU revisions and lists that differ from the store are written.
    // False (shown) when the store could not be saved.
    bool SaveTargetlessLists();
    // The dialog's page change to the Targetless page shows "Board Selection".
    void ShowBoardSelection() { m_tab = TargetlessTab::Select; }

    // ---- handlers -------------------------------------------------------------------------------
    void lbBoardTypeChange();
    void CPUIdChange(CpuCombo combo, int index);
    void btnUpdateClick();
    // The Enter key (13) in the description runs btnUpdateClick and is swallowed (true).
    bool NameKeyPress(char key);
    void BoardIDMenuPopup();
    void Delete1Click();
    void tsSpecifyShow();
    void tsRTIShow();
    void btnRTISaveClick();
    void btnRtiOpenClick();
    void btnRtiSaveChangesClick();

    // ---- steps the handlers run -----------------------------------------------------------------
    bool CheckBoardId();
    bool CheckBoardDescription();
    void ApplySpecifiedBoard();
    void ApplyRtiBoard();
    // Fills the Board Selection CPU list with the revisions of the id's family (every revision
    // for -1).
    void FillCpuRevisions(int id);
    void SelectCpuByRevision(int revision);
    void SelectCpuByName(std::string_view ident);
    void InsertComboValue(SizeCombo combo);

    // ---- the user's edits -----------------------------------------------------------------------
    void SetTab(TargetlessTab tab) { m_tab = tab; }
    void SelectRow(int row);
    void SetIdText(std::string text) { m_id_text = std::move(text); }
    void SetNameText(std::string text) { m_name_text = std::move(text); }
    void SetComboText(SizeCombo combo, std::string text);
    void SelectCombo(SizeCombo combo, int index);
    // The memo's text; a change marks it modified and, for an opened file, offers to save it.
    void SetMemoText(std::string text);

    // ---- what the page shows --------------------------------------------------------------------
    char decimal_separator() const { return m_sep; }
    TargetlessTab tab() const { return m_tab; }
    const std::vector<TBoardRow> &rows() const { return m_rows; }
    // Changes whenever rows are added or removed (the list box refills then).
    int rows_version() const { return m_rows_version; }
    int selected_row() const { return m_selected; }
    // The row of a board ID, or -1.
    int row_of_id(int64_t id) const;
    const std::vector<TCpuEntry> &cpus() const { return m_cpus; }
    int cpu_index() const { return m_cpu_index; }              // CPUId's entry
    const std::vector<int> &select_cpus() const { return m_select_cpus; }  // cboCPUId's entries
    int select_cpu_index() const { return m_select_cpu_index; }
    const TComboList &combo(SizeCombo combo) const;
    const std::string &id_text() const { return m_id_text; }
    const std::string &name_text() const { return m_name_text; }
    const std::string &lblID() const { return m_lbl_id; }
    const std::string &lblBaseFreq() const { return m_lbl_base_freq; }
    const std::string &lblRAM() const { return m_lbl_ram; }
    const std::string &lblFlashPrim() const { return m_lbl_flash; }
    // The board list has the pop-up menu (a user board is shown), and its item's caption.
    bool board_menu() const { return m_board_menu; }
    const std::string &delete_caption() const { return m_delete_caption; }
    const std::string &memo() const { return m_memo; }
    bool memo_modified() const { return m_memo_modified; }
    const std::string &rti_file() const { return m_rti_file; }
    bool save_changes_visible() const { return m_save_changes_visible; }
    const std::string &current_board_id() const { return m_current_board_id; }
    const std::string &current_cpu_id() const { return m_current_cpu_id; }
    const std::string &current_cpu_revision() const { return m_current_cpu_revision; }
    const TRtiFields &rti_fields() const { return m_rti_fields; }
    // The control to focus, once.
    PageFocus take_focus();

private:
    TTargetlessStore &store();
    TComboList &combo_ref(SizeCombo combo);
    int show(const PageMessage &message) const;
    // The index of the CPU entry whose "CI" is the identifier, or -1.
    int cpu_of(std::string_view ident) const;
    // The record of the chosen entry of a CPU combo, or null.
    const TStringList *chosen_cpu(CpuCombo combo) const;
    // The ID a check looks at: the Specify page's ID, or the memo's board ID on the RTI page.
    std::string id_under_test() const;
    void add_row(TStringList record);
    void add_board(int64_t id, const std::string &name, const std::string &cpu,
                   const std::string &ram, const std::string &crystal, const std::string &flash);
    void rebuild_id_map();
    bool user_board(const TBoardRow &row) const;
    std::vector<std::string> read_list(const char *name, const char *fallback);

    char m_sep;
    std::string m_base_path;
    std::unique_ptr<TTargetlessStore> m_store;
    TargetlessTab m_tab = TargetlessTab::Select;
    TRtiFields m_rti_fields;

    std::vector<TBoardRow> m_rows;
    int m_rows_version = 0;
    int m_selected = -1;
    std::map<int64_t, int> m_id_to_row;

    std::vector<TCpuEntry> m_cpus;
    int m_cpu_index = -1;
    std::vector<int> m_select_cpus;
    int m_select_cpu_index = -1;

    TComboList m_base_freq, m_ram_size, m_flash_size;
    std::string m_id_text, m_name_text;
    std::string m_lbl_id, m_lbl_base_freq, m_lbl_ram, m_lbl_flash;
    bool m_board_menu = false;
    std::string m_delete_caption;

    std::string m_memo;
    bool m_memo_modified = false;
    std::string m_rti_file;
    bool m_save_changes_visible = false;

    std::string m_current_board_id, m_current_cpu_id, m_current_cpu_revision;
    PageFocus m_focus = PageFocus::None;
};
