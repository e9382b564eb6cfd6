// The project file as a whole: a new file from the defaults (golden file), saves that keep what
// they do not own, the factory project, the start-up choice, read-only files, sections that
// cannot be written and a target link that is not there.
#include "ProjectFixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "IniFile.h"
#include "core/guiInterface.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

constexpr const char *kHeader =
    "This is a machine generated file.\r\n"
    "Modifications by hand must be made carefully at one's own risk.\r\n"
    "Deleting an entry will result in factory default for that entry.\r\n"
    "----------------------------------------------------------------\r\n"
    "\r\n";

class ProjectFile : public ProjectFixture {};

// Counts the times a file of the folder named `name` is replaced or written and closed, through
// the kernel's notifications, from its construction to replacements().
class ReplacementCounter {
public:
    ReplacementCounter(const fs::path &folder, std::string name)
        : m_fd(::inotify_init1(IN_NONBLOCK)), m_name(std::move(name))
    {
        EXPECT_GE(m_fd, 0);
        EXPECT_GE(::inotify_add_watch(m_fd, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE), 0);
    }
    ~ReplacementCounter() { ::close(m_fd); }
    int replacements()
    {
        alignas(inotify_event) char buffer[64 * 1024];
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (char *p = buffer; p < buffer + n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(p);
                if (event->len > 0 && m_name == event->name)
                    ++m_count;
                p += sizeof(inotify_event) + event->len;
            }
        }
        return m_count;
    }

private:
    int m_fd;
    std::string m_name;
    int m_count = 0;
};

}  // namespace

TEST_F(ProjectFile, NewFileHoldsTheHeaderAndTheDefaultsInOrder)
{
    IdePreferences().port = 4;  // the one value taken from the settings
    const std::string path = (dir / "new.kxp").string();
    TKXProject(path).WriteWholeFile();
    const std::string got = bytes(path);
    ASSERT_EQ(got.rfind(std::string(kHeader) + "[COMM]\r\nport=4\r\n", 0), 0u) << got;
    EXPECT_EQ(lines_of(got)[3], std::string(64, '-') + "\r") << "exactly 64 dashes";

    std::ifstream golden(std::string(KX_TEST_DATA) + "/project/new.kxp", std::ios::binary);
    ASSERT_TRUE(golden);
    std::string want((std::istreambuf_iterator<char>(golden)), {});
    want.replace(want.find("port=1"), 6, "port=4");
    const auto got_lines = lines_of(got), want_lines = lines_of(want);
    for (std::size_t i = 0; i < got_lines.size() && i < want_lines.size(); ++i)
        ASSERT_EQ(got_lines[i], want_lines[i]) << "first difference at line " << i + 1;
    EXPECT_EQ(got_lines.size(), want_lines.size());
    EXPECT_EQ(got, want) << "every line ends with CR LF";
}

TEST_F(ProjectFile, SaveWritesTheValuesOfNowInPlace)
{
    const std::string path = (dir / "p.kxp").string();
    gProject = std::make_unique<TKXProject>(path);
    ASSERT_TRUE(gProject->Update());
    EXPECT_EQ(key(path, "COMM", "Pilot Bios Physical Address"), "16384");
    IdePreferences().max_breakpoints = 12;
    target.settings.com_port = 5;
    gProject->Save();
    EXPECT_EQ(key(path, "COMM", "Pilot Bios Physical Address"), "0x4000");
    EXPECT_EQ(key(path, "COMM", "port"), "5");
    EXPECT_EQ(key(path, "Debug Options", "Max Breakpoints"), "12");
    EXPECT_EQ(key(path, "COMM", "port list"), "COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8")
        << "a key missing from the file is added to its section";
    EXPECT_EQ(bytes(path).rfind(kHeader, 0), 0u) << "the header stays";
    EXPECT_EQ(box_texts(), "");
}

// A save changes some fifty keys in a dozen sections, and a section's write several: each
// replaces the file once, so nothing that watches it sees a file of old and new values.
TEST_F(ProjectFile, ASaveOrASectionsWriteReplacesTheFileOnce)
{
    const std::string path = (dir / "p.kxp").string();
    gProject = std::make_unique<TKXProject>(path);
    ASSERT_TRUE(gProject->Update());
    IdePreferences().max_breakpoints = 12;
    target.settings.com_port = 5;
    ReplacementCounter save(dir, "p.kxp");
    gProject->Save();
    EXPECT_EQ(save.replacements(), 1);
    EXPECT_EQ(key(path, "COMM", "port"), "5");
    EXPECT_EQ(key(path, "Debug Options", "Max Breakpoints"), "12");
    EXPECT_EQ(key(path, "Open Files", "Number Open"), "0");

    ReplacementCounter section(dir, "p.kxp");
    IdePreferences().output_mode = 1;
    gProject->WriteCompilerOptions();  // its own keys and four sections' more
    EXPECT_EQ(section.replacements(), 1);
    EXPECT_EQ(key(path, "Compiler Options", "BIOS Memory Mode"), "1");
    EXPECT_EQ(box_texts(), "");
}

TEST_F(ProjectFile, SaveKeepsWhatItDoesNotOwnByteForByte)
{
    const std::string path = write("p.kxp", std::string(kHeader) +
                                                "[COMM]\r\n"
                                                "port=1\r\n"
                                                "; a note by hand = not a key\r\n"
                                                "Unknown Key =  kept as it is \r\n"
                                                "bios baud=115200\r\n"
                                                "\r\n"
                                                "[My Own]\r\n"
                                                "mine=1\r\n");
    load(path);
    gProject->Save();
    const std::string got = bytes(path);
    EXPECT_EQ(got.rfind(std::string(kHeader) + "[COMM]\r\nport=1\r\n"
                                               "; a note by hand = not a key\r\n"
                                               "Unknown Key =  kept as it is \r\n"
                                               "bios baud=115200\r\n",
                        0),
              0u)
        << got;
    EXPECT_NE(got.find("\r\n[My Own]\r\nmine=1\r\n"), std::string::npos) << got;
    EXPECT_LT(got.find("[My Own]"), got.find("[Compiler Options]"))
        << "new sections come after the ones the file had";
}

TEST_F(ProjectFile, TheFactoryProjectIsNeverSaved)
{
    SetProjectPaths();
    fs::create_directories(project_folder());
    gProject = std::make_unique<TKXProject>(gFactoryProjectPath);
    ASSERT_TRUE(gProject->Update());
    const std::string before = bytes(gFactoryProjectPath);
    IdePreferences().include_bios = false;
    target.settings.com_port = 7;
    IdePreferences().max_breakpoints = 3;
    gProject->Save();
    EXPECT_EQ(bytes(gFactoryProjectPath), before);
    EXPECT_FALSE(gProject->WriteComm());
    gProject->WriteIncludeBIOS();
    gProject->SetDefines("A=1");
    EXPECT_EQ(bytes(gFactoryProjectPath), before);
    gProject->WriteDebugOptions();  // the Project Options dialog writes these here too
    EXPECT_EQ(key(gFactoryProjectPath, "Debug Options", "Max Breakpoints"), "3");
}

TEST_F(ProjectFile, NamesWithoutRegardToCase)
{
    SetProjectPaths();
    std::string upper = gDefaultProjectPath;
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(TKXProject(upper).IsDefaultProject());
    EXPECT_FALSE(TKXProject(upper).IsFactoryProject());
    EXPECT_TRUE(TKXProject(gFactoryProjectPath).IsFactoryProject());
    EXPECT_EQ(TKXProject("/a/b/My.Project.kxp").GetProjectDirectory(), "/a/b/");
    EXPECT_EQ(TKXProject::ProjectBaseName("/a/b/My.Project.kxp"), "My.Project");
    EXPECT_EQ(TKXProject::ProjectBaseName("C:\\work\\Default.kxp"), "Default");
    EXPECT_EQ(TKXProject::ProjectBaseName("D:board"), "board");
}

TEST_F(ProjectFile, AMissingFileLoadsNothing)
{
    IdePreferences().max_breakpoints = 3;
    TKXProject project((dir / "gone.kxp").string());
    EXPECT_FALSE(project.CheckWritable());
    EXPECT_EQ(IdePreferences().max_breakpoints, 3);
    EXPECT_TRUE(target.calls.empty());
}

// ---- start-up -----------------------------------------------------------------------------------

namespace {

struct StartUpCase {
    const char *name;
    const char *command_line;  // relative to the test's folder, or ""
    const char *setting;       // the settings value "Project", relative, or ""
    bool write_named;          // the named project exists
    const char *loaded;        // "default" or the named file
    const char *setting_after; // "default", the named file, or the setting as it was
};

const StartUpCase kStartUps[] = {
    {"nothing_named", "", "", false, "default", "default"},
    {"setting_names_a_missing_file", "", "old.kxp", false, "default", "default"},
    {"command_line_names_a_missing_file", "new.kxp", "", false, "default", "default"},
    {"setting_names_a_project", "", "mine.kxp", true, "mine.kxp", "mine.kxp"},
    {"command_line_names_a_project", "cmd.kxp", "mine.kxp", true, "cmd.kxp", "cmd.kxp"},
};

class StartUp : public ProjectFixture, public ::testing::WithParamInterface<StartUpCase> {};

}  // namespace

TEST_P(StartUp, WritesBothFilesAndLoadsTheChosenProject)
{
    const StartUpCase &c = GetParam();
    const auto in_dir = [&](const char *name) {
        return *name ? (dir / name).string() : std::string();
    };
    const std::string named = in_dir(*c.command_line ? c.command_line : c.setting);
    if (c.write_named)
        write(fs::path(named).filename().string(),
              crlf("[Debug Options]\nMax Breakpoints=5\n"));
    IdePreferences().project = in_dir(c.setting);

    LoadStartUpProject(in_dir(c.command_line));

    const std::string folder = (sandbox->config / "korvex").string();
    EXPECT_EQ(gFactoryProjectPath, folder + "/Factory.kxp");
    EXPECT_EQ(gDefaultProjectPath, folder + "/Default.kxp");
    for (const std::string &path : {gFactoryProjectPath, gDefaultProjectPath})
        EXPECT_EQ(bytes(path).rfind(std::string(kHeader) + "[COMM]\r\n", 0), 0u) << path;
    ASSERT_TRUE(gProject);
    const bool default_loaded = std::string(c.loaded) == "default";
    EXPECT_EQ(gProject->FileName(), default_loaded ? gDefaultProjectPath : named);
    const std::string setting = c.setting_after;
    EXPECT_EQ(IdePreferences().project, setting == "default" ? gDefaultProjectPath
                                                             : in_dir(c.setting_after));
    EXPECT_EQ(IdePreferences().max_breakpoints, default_loaded ? 32 : 5);
    EXPECT_EQ(box_texts(), "");
}

INSTANTIATE_TEST_SUITE_P(All, StartUp, ::testing::ValuesIn(kStartUps),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ProjectFile, StartUpKeepsFilesThatExist)
{
    SetProjectPaths();
    fs::create_directories(fs::path(gDefaultProjectPath).parent_path());
    std::ofstream(gDefaultProjectPath, std::ios::binary)
        << "[Debug Options]\r\nMax Breakpoints=9\r\n";
    LoadStartUpProject("");
    EXPECT_EQ(bytes(gDefaultProjectPath), "[Debug Options]\r\nMax Breakpoints=9\r\n");
    EXPECT_EQ(IdePreferences().max_breakpoints, 9);
}

// A project named at start-up that is a FIFO (which would block the load) or a folder is named
// in one box and never opened; the default project is loaded instead, and the name keeps what
// stood there.
TEST_F(ProjectFile, StartUpRefusesAProjectThatIsNoFile)
{
    const std::string fifo = (dir / "pipe.kxp").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(dir / "folder.kxp");
    for (const std::string &named : {fifo, (dir / "folder.kxp").string()}) {
        boxes().clear();
        LoadStartUpProject(named);
        ASSERT_TRUE(gProject);
        EXPECT_EQ(gProject->FileName(), gDefaultProjectPath);
        EXPECT_EQ(IdePreferences().project, gDefaultProjectPath);
        ASSERT_EQ(boxes().size(), 1u) << box_texts();
        EXPECT_EQ(boxes()[0].text.rfind("The project file " + named + " cannot be read (it is ",
                                        0),
                  0u)
            << boxes()[0].text;
    }
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
    EXPECT_TRUE(fs::is_directory(dir / "folder.kxp"));
}

// ---- read-only files ----------------------------------------------------------------------------

namespace {

struct ReadOnlyCase {
    const char *name;
    int answer;
    bool status_box_up;
    fs::perms after;
};

constexpr fs::perms kReadOnly =
    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;

const ReadOnlyCase kReadOnlies[] = {
    {"yes_clears_only_write_protection", kIdYes, false, kReadOnly | fs::perms::owner_write},
    {"no_keeps_the_file_read_only", kIdNo, false, kReadOnly},
    {"the_status_box_comes_back", kIdYes, true, kReadOnly | fs::perms::owner_write},
};

class ReadOnlyProject : public ProjectFixture,
                        public ::testing::WithParamInterface<ReadOnlyCase> {};

}  // namespace

TEST_P(ReadOnlyProject, AsksAndLoadsEitherWay)
{
    const ReadOnlyCase &c = GetParam();
    const std::string path = write("ro.kxp", crlf("[Debug Options]\nMax Breakpoints=6\n"));
    fs::permissions(path, kReadOnly, fs::perm_options::replace);
    headless_message_box_host().answer = c.answer;
    if (c.status_box_up)
        gDialogControl.ShowStatusBox(false, "Loading", "");

    load(path);

    ASSERT_EQ(boxes().size(), 1u) << box_texts();
    EXPECT_EQ(boxes()[0].caption, "Project file is marked read-only");
    EXPECT_EQ(boxes()[0].text, "Project changes cannot be saved to\n" + path +
                                   "\nwhile it is read-only.\nChange attributes to read-write?");
    EXPECT_EQ(boxes()[0].flags, kMbYesNo | kMbIconExclamation);
    EXPECT_EQ(fs::status(path).permissions(), c.after);
    EXPECT_EQ(IdePreferences().max_breakpoints, 6) << "the project is loaded";
    EXPECT_EQ(gStatusBoxShown, c.status_box_up);
}

INSTANTIATE_TEST_SUITE_P(All, ReadOnlyProject, ::testing::ValuesIn(kReadOnlies),
                         [](const auto &i) { return std::string(i.param.name); });

// A file left read-only loses the save, and the user hears of it once per save, not once per key;
// nothing is thrown, so closing the IDE goes on.
TEST_F(ProjectFile, ASaveThatCannotBeWrittenIsReportedOnce)
{
    const std::string path = write("ro.kxp", crlf("[COMM]\nport=1\n"));
    fs::permissions(path, kReadOnly, fs::perm_options::replace);
    headless_message_box_host().answer = kIdNo;
    load(path);
    boxes().clear();
    EXPECT_NO_THROW(gProject->Save());
    ASSERT_EQ(boxes().size(), 1u) << box_texts();
    EXPECT_EQ(boxes()[0].caption, "Error");
    EXPECT_EQ(boxes()[0].text,
              "Project changes could not be saved to\n" + path + "\nThe file is read-only.");
    EXPECT_EQ(bytes(path), "[COMM]\r\nport=1\r\n");
    gProject->Save();
    EXPECT_EQ(boxes().size(), 2u) << "the next save says it again";
}

TEST_F(ProjectFile, TheFactoryProjectIsLoadedWithoutAQuestion)
{
    SetProjectPaths();
    fs::create_directories(project_folder());
    TKXProject(gFactoryProjectPath).WriteWholeFile();
    fs::permissions(gFactoryProjectPath, kReadOnly, fs::perm_options::replace);
    load(gFactoryProjectPath);
    EXPECT_EQ(box_texts(), "");
    EXPECT_EQ(fs::status(gFactoryProjectPath).permissions(), kReadOnly);
}

// ---- sections that cannot be written ------------------------------------------------------------

// A BIOS baud rate of 0 in the target link leaves "COMM" as it is; the rest is still saved.
TEST_F(ProjectFile, ACommSectionThatCannotBeWrittenSkipsOnlyItself)
{
    const std::string path = write("p.kxp", crlf("[COMM]\nport=2\nbios baud=0\n"));
    load(path);
    target.loader_rates[2] = 0;
    target.settings.com_port = 9;
    IdePreferences().max_breakpoints = 4;
    gProject->Save();
    EXPECT_EQ(key(path, "COMM", "port"), "2");
    EXPECT_EQ(key(path, "Debug Options", "Max Breakpoints"), "4");
    EXPECT_EQ(box_texts(), "");
}

TEST_F(ProjectFile, WithoutTheTargetLinkTheRestIsLoadedAndSaved)
{
    const std::string path = write("p.kxp", crlf("[COMM]\nport=2\n[Debug Options]\n"
                                                 "Max Breakpoints=6\nEnable Tracing=1\n"));
    set_target_operations(nullptr);
    load(path);
    EXPECT_EQ(IdePreferences().max_breakpoints, 6);
    EXPECT_EQ(IdePreferences().serial_port, "COM2");
    EXPECT_EQ(box_texts(), "Error: The target link is not part of this build.\n\n"
                           "The debugger core is not part of this build.\n")
        << "one box for the load";
    boxes().clear();
    IdePreferences().max_breakpoints = 7;
    gProject->Save();
    EXPECT_EQ(key(path, "COMM", "port"), "2");
    EXPECT_EQ(key(path, "Debug Options", "Max Breakpoints"), "7");
    EXPECT_EQ(box_texts(), "Error: The target link is not part of this build.\n");
}
