// guiProjects: the project file and `TKXProject`.
//
// A project is one INI file (PLATFORM's IniFile) holding the target-communication, compiler,
// debugger, targetless-board and macro-definition choices and the file locations of one project.
// `TKXProject` reads each section into the settings object (`IdePreferences`), the compiler and
// the target link, writes the sections back, keeps the project's macro definitions, and hands a
// loaded project to the compiler and the target link (`ApplyProjectSettings`). There is one
// current project, `gProject`; the main window creates, opens, saves and replaces it, and the
// compiler takes its committed definitions at the start of every compile (SEAM_SETTINGS).
//
// Every section reader and writer opens the file for the one call. A reader never fails: a
// missing key, or an integer key whose text is no number, reads as the key's default. A value
// that is there but cannot be used (a TCP port beyond 65535, a network address too long for its
// field, a crystal frequency beyond 32 bits of Hz) takes its default, the user is told once per
// load, and the file keeps the text until the setting is changed. A writer writes each key at
// once; when writes fail (a read-only file, a full disk) the user is told once per save and the
// save goes on with the other sections. What the target link cannot take is reported the same
// way. Messages and questions go through the host services' message box.
// Std-only; GUI thread only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/SEAM_SETTINGS.h"
#include "core/SEAM_TARGET.h"
#include "guiMru.h"

class IniFile;

// Section names of the project file.
inline constexpr const char *kSectionComm = "COMM";
inline constexpr const char *kSectionCompilerOptions = "Compiler Options";
inline constexpr const char *kSectionDebugOptions = "Debug Options";
inline constexpr const char *kSectionIncludeRst = "Include RST 28";
inline constexpr const char *kSectionIncludeBios = "Include BIOS";
inline constexpr const char *kSectionPollTarget = "Poll Target";
inline constexpr const char *kSectionTargetless = "Targetless Compile";
inline constexpr const char *kSectionOutputFile = "Output File";
inline constexpr const char *kSectionKorvexFiles = "Korvex Files";
inline constexpr const char *kSectionDefines = "DEFINES";
inline constexpr const char *kSectionCompression = "Compression Utility";
inline constexpr const char *kSectionMruFiles = "MRU Files";
inline constexpr const char *kSectionOpenFiles = "Open Files";

// The project file extension (the main window's file dialogs build their filter, message 23,
// with it).
inline constexpr const char *kProjectExtension = ".kxp";

// The compiler choices a project holds between reading and the hand-over to the compiler. One
// set for the program: whichever project was read last.
struct ProjectCompilerChoices {
    bool rtc_indices = true;        // run-time checking of array indices
    bool rtc_pointers = true;       // ... and of pointers
    char warning_letter = 'A';      // "A" all, "S" serious only, anything else none
    bool prototypes = true;         // type checking: prototypes, demotion, pointers
    bool demotion = true;
    bool pointers = true;
    bool optimize_size = false;     // else for speed
    bool separate_id = false;       // separate instruction and data spaces
    bool list_files = false;        // a list file for each compile
    bool inline_io = true;          // inline the built-in I/O functions
};
ProjectCompilerChoices &project_compiler_choices();

// The warning level of a warning letter: 2 for "A"/"a", 1 for "S"/"s", 0 for any other.
int warning_level_of(char letter);

// Plain base of the project (a command-line holder whose members the project does not use).
class TQBCmdLine {
public:
    virtual ~TQBCmdLine() = default;
};

class TKXProject : public TQBCmdLine {
public:
    // Sets up the project for the file; reads nothing.
    explicit TKXProject(std::string file_name);
    ~TKXProject() override;
    TKXProject(const TKXProject &) = delete;
    TKXProject &operator=(const TKXProject &) = delete;

    // ---- definitions ------------------------------------------------------------------------
    // The committed map becomes an exact copy of the parsed one.
    virtual void CommitDefines();
    // Empties the parsed map and parses the text into it (lines of NAME or NAME=VALUE, ";"
    // between definitions, "\;" for a ";" in a value); stops at the first invalid name, which
    // comes back in `invalid_name` (empty when every name was valid).
    virtual void ParseDefines(const std::string &text, std::string &invalid_name);
    // Adds a pair to the parsed map ("\;" in the value becomes ";", both trimmed); a name given
    // again takes the new value.
    virtual void AddDefine(std::string name, std::string value);
    // True when the parsed definitions are to be used: every name valid, or the status box up,
    // or the user chose not to correct the invalid name now.
    virtual bool CheckDefines(const std::string &text);
    // The text becomes the project's; its definitions are parsed, committed and written.
    virtual void SetDefines(const std::string &text);
    virtual void ReadDefines();
    virtual void WriteDefines();

    // ---- sections ---------------------------------------------------------------------------
    virtual void ReadComm();
    // False when nothing was written (the factory project, a BIOS baud rate of 0, or a target
    // link that cannot give its settings).
    virtual bool WriteComm();
    virtual void ReadTargetless();
    virtual void WriteTargetless();
    virtual void ReadMaxErrors();
    virtual void WriteMaxErrors();
    virtual void ReadCompilerOptions();
    virtual void WriteCompilerOptions();
    virtual void ReadDebugOptions();
    virtual void WriteDebugOptions();
    virtual void ReadBiosMemoryMode();
    virtual void WriteBiosMemoryMode();
    virtual void ReadRestrictWatch();
    virtual void WriteRestrictWatch();
    virtual void ReadIncludeRST();
    virtual void WriteIncludeRST();
    virtual void ReadIncludeBIOS();
    virtual void WriteIncludeBIOS();
    virtual void ReadPollTarget();
    virtual void WritePollTarget();
    virtual void ReadFiles();
    virtual void WriteFiles();
    virtual void ReadCompression();
    virtual void WriteCompression();
    // "MRU Files" with its numbered sections into the recently-used list, then "Open Files":
    // each listed file that still exists is opened, the last one first.
    virtual void ReadMruOpenFiles();
    // The recently-used list and the open editor windows.
    virtual void WriteMru();
    // One open editor window as the next numbered "Open Files" section of `file_name`.
    void WriteOpenFile(const sEditInfo &editor, const std::string &file_name, int &counter);

    // The whole file from the built-in defaults (only "port" comes from the settings): the
    // three header lines, 64 dashes, an empty line, then every section. Written at once.
    virtual void WriteWholeFile();

    // ---- the file as a whole ------------------------------------------------------------------
    // Loads the project: false (and nothing read) when the file does not exist; else asks to
    // clear a read-only file's write protection (not for the factory project), runs every reader,
    // commits the definitions when they pass the check, hands the project over, and is true.
    bool CheckWritable();
    // WriteWholeFile, then CheckWritable.
    bool Update();
    // Stores the file name and writes every section (never the factory project). A section that
    // cannot be written is skipped, the others are written.
    void SaveAs(const std::string &file_name);
    void Save();
    // The hand-over of a loaded project: the communication settings and loader rates to the
    // target link and, as texts, to the settings; the compiler options, the libraries list and
    // BIOS files; the trace options when tracing is on. True.
    bool ApplyProjectSettings();

    bool IsFactoryProject() const;
    bool IsDefaultProject() const;
    void SetProjectDirectory(std::string directory) { m_directory = std::move(directory); }
    const std::string &GetProjectDirectory() const { return m_directory; }
    const std::string &FileName() const { return m_file_name; }
    // The file name without its folders and extension (the main window's title).
    static std::string ProjectBaseName(const std::string &path);

    const ProjectDefines &ParsedDefines() const { return m_parsed; }
    const ProjectDefines &CommittedDefines() const { return m_committed; }
    const std::string &DefinesText() const { return m_defines_text; }
    // The project's own libraries list and BIOS files as read (resolved against the program
    // directory when that names an existing file).
    const std::string &LibFile() const { return m_lib_file; }
    const std::string &BiosFile() const { return m_bios_file; }

private:
    // One load, save or section write collects what the user must hear; the outermost one says
    // it in one box when it ends.
    class Report;
    struct Refused;

    void ask_to_clear_read_only();
    // Writes a key, unless the load refused the file's text there and the value is still the
    // one used instead; a failed write goes into the report.
    void put(IniFile &ini, const char *section, const char *key, const std::string &text);
    void put_flag(IniFile &ini, const char *section, const char *key, bool on);
    void write_switch(const char *section, const char *key, bool on);
    // Records that the file's text of a key could not be used and what was used instead.
    void refuse(const char *section, const char *key, const std::string &text,
                const std::string &used, uint32_t reason_id);
    // Runs a call of the target link; false, with the error in the report, when it threw.
    template <class Call>
    bool with_target_link(Call call);
    void note(const std::string &line, bool error);

    ProjectDefines m_parsed;
    ProjectDefines m_committed;
    std::string m_defines_text;
    std::string m_directory;
    std::string m_lib_file;
    std::string m_bios_file;
    std::string m_file_name;

    std::vector<Refused> m_refused;
    int m_report_depth = 0;
    std::vector<std::string> m_report_lines;
    bool m_report_error = false;
};

// What the file lists need of the main window. Without an installed host a window-less one
// serves: no editor windows, and a file to open opens nothing.
class TProjectWindowHost {
public:
    virtual ~TProjectWindowHost() = default;
    // The source editor windows in the main window's child order, front first.
    virtual std::vector<sEditInfo> OpenEditors() = 0;
    // Opens the file in an editor window with the record's placement, caret and scroll position
    // (nothing when the file is gone) and takes the file's recently-used entry off.
    virtual void OpenFileFromEditInfo(const sEditInfo &info) = 0;
};
void set_project_window_host(TProjectWindowHost *host);  // not owned; null: window-less
TProjectWindowHost &project_window_host();

// The numbered section of a file-list entry: the prefix, then k as "%2d" prints it ("MRU 1",
// "MRU10", "OpenFile100"); a key is the section's name followed by a blank and the key's own
// name ("MRU 1 Path").
std::string numbered_section(const char *prefix, int k);

// The current project (owned here; the main window creates, opens and replaces it).
extern std::unique_ptr<TKXProject> gProject;
// The factory and default project files: the user's configuration folder followed by the
// settings values "FactoryProject" and "DefaultProject".
extern std::string gFactoryProjectPath;
extern std::string gDefaultProjectPath;
// The project's communication record and loader baud rates (cold loader, pilot BIOS, BIOS) as
// the last project load read them; the hand-over gives them to the target link.
extern TCOptionsType gProjectCommDefaults;
extern std::array<uint32_t, 3> gLoaderBaudRates;
// The main window's flag: poll the target while a program runs.
extern bool gPollEnabled;

// The program directory followed by a relative location (either separator), as a path here.
std::string program_directory_path(const std::string &relative);
// The libraries list and BIOS files the settings choose: the project's own file when its "Use"
// switch is on and its name is not empty (the program directory followed by the name when that
// names an existing file, else the name as it stands); else the program directory's
// "DefaultLibDir", or "bios/" and "DefaultBIOS" there. Never cut.
std::string libraries_file_in_use(const TIdePreferences &prefs);
std::string bios_file_in_use(const TIdePreferences &prefs);

// The folder of the user's configuration (where the settings store lies).
std::string project_folder();
// Sets gFactoryProjectPath and gDefaultProjectPath from the settings.
void SetProjectPaths();
// Start-up: writes the factory and default project files when they are missing (the folder is
// made when needed), then loads the project named on the command line, else the settings'
// "Project" when that file exists, else the default project; the one chosen becomes the
// settings value "Project". A project that cannot be loaded gives way to the default project.
void LoadStartUpProject(const std::string &command_line_project);

// Parses "%d:%dr%d:%s:%d:%d" (board ID, CPU number with its revision, crystal MHz, RAM KB,
// flash KB; one separator character of any kind between fields, "0x" for a hexadecimal board
// ID) into the record. A field without a number, or out of the record's range, stops the parse:
// "RTI PARAMETERS ERROR: <field>" goes to the standard output, the field's name to `bad_field`,
// the result is false and the record is unchanged.
[[nodiscard]] bool ParseBoardParameters(const std::string &text, BoardParameters &record,
                                        std::string *bad_field = nullptr);

// Back to the start: no project, the program-wide project values at their defaults and an empty
// recently-used list (tests).
void reset_projects();
