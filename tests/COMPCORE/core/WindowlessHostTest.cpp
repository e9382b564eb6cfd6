// The hosts a program without windows runs on: boxes that ask nobody, a main window that reads
// the source being compiled from disk, file dialogs that choose nothing.
#include "core/guiInterface.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "input/CC_GLINE.h"
#include "HostDoubles.h"

namespace {

namespace fs = std::filesystem;

struct AnswerCase {
    const char *name;
    unsigned flags;
    int answer;
};
const AnswerCase kAnswers[] = {
    {"Ok", kMbOk | kMbIconError, kIdOk},
    {"OkCancel", kMbOkCancel, kIdCancel},
    {"YesNo", kMbYesNo | kMbIconQuestion, kIdNo},
    {"YesNoCancel", kMbYesNoCancel | kMbIconExclamation, kIdCancel},
};
class UnattendedAnswer : public ::testing::TestWithParam<AnswerCase> {};
TEST_P(UnattendedAnswer, ChangesNothing)
{
    WindowlessMessageBoxHost host;
    testing::internal::CaptureStderr();
    EXPECT_EQ(host.ShowMessageBox("text", "Caption", GetParam().flags), GetParam().answer);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Caption: text\n");
}
INSTANTIATE_TEST_SUITE_P(All, UnattendedAnswer, ::testing::ValuesIn(kAnswers),
                         [](const auto &i) { return std::string(i.param.name); });

struct SplitCase {
    const char *name;
    std::string text;
    std::vector<std::string> lines;
};
const SplitCase kSplits[] = {
    {"Lf", "a\nb\n", {"a", "b"}},
    {"CrLf", "a\r\nb\r\n", {"a", "b"}},
    {"LoneCr", "a\rb", {"a", "b"}},
    {"NoLastNewline", "a\nlast", {"a", "last"}},
    {"EmptyLines", "\n\r\n\n", {"", "", ""}},
    {"HighBytesAndNul", std::string("\x80\xff\0x\n", 5), {std::string("\x80\xff\0x", 4)}},
    {"Empty", "", {}},
};
class SourceSplit : public ::testing::TestWithParam<SplitCase> {};
TEST_P(SourceSplit, KeepsEveryByteButTheLineEnds)
{
    EXPECT_EQ(split_source_lines(GetParam().text), GetParam().lines);
}
INSTANTIATE_TEST_SUITE_P(All, SourceSplit, ::testing::ValuesIn(kSplits),
                         [](const auto &i) { return std::string(i.param.name); });

class WindowlessMain : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("kx_windowless_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
        restore_windowless_hosts();
    }
    void TearDown() override
    {
        reset_host_services();
        fs::remove_all(m_dir);
    }
    std::string write(const std::string &name, const std::string &text)
    {
        std::ofstream(m_dir / name, std::ios::binary) << text;
        return (m_dir / name).string();
    }
    fs::path m_dir;
};

TEST_F(WindowlessMain, ReadsTheSourceBeingCompiledFromDisk)
{
    const std::string path = write("a.c", "int x;\r\nmain(){}\n");
    gMainWindowInterface->SetCurrentSourceFile(QBString(path.c_str()));
    EXPECT_EQ(gMainWindowInterface->GetSourceLineCount(), 2);
    EXPECT_EQ(gMainWindowInterface->GetSourceLine(1), "int x;");
    EXPECT_EQ(gMainWindowInterface->GetSourceLine(2), "main(){}");
    EXPECT_EQ(gMainWindowInterface->GetSourceLine(0), "");
    EXPECT_EQ(gMainWindowInterface->GetSourceLine(3), "");
    // No editors and no debug windows.
    EXPECT_EQ(gMainWindowInterface->GetEditorInterface(path, 3), nullptr);
    EXPECT_EQ(gMainWindowInterface->GetRegisterInterface(true), nullptr);
    StdioWrite("x", 1); // nowhere to go: nothing happens
}

TEST_F(WindowlessMain, MissingFileHasNoLines)
{
    gMainWindowInterface->SetCurrentSourceFile(QBString((m_dir / "gone.c").string().c_str()));
    EXPECT_EQ(gMainWindowInterface->GetSourceLineCount(), 0);
    EXPECT_EQ(gMainWindowInterface->GetSourceLine(1), "");
}

TEST_F(WindowlessMain, FileIsReadOnceUntilItChanges)
{
    SourceFileLines lines;
    const std::string path = write("b.c", "one\ntwo\n");
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(lines.Lines(path).size(), 2u);
    EXPECT_EQ(lines.Loads(), 1);
    write("b.c", "one\ntwo\nthree\n"); // another size
    EXPECT_EQ(lines.Lines(path).size(), 3u);
    EXPECT_EQ(lines.Loads(), 2);
}

TEST_F(WindowlessMain, BoxesSplashAndDialogsAskNobody)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(ShowAppMessageBox("Save?", "Korvex", kMbYesNoCancel), kIdCancel);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(splash_host().IsVisible());
    std::unique_ptr<TFileDialog> dialog = make_file_dialog({});
    EXPECT_FALSE(dialog->Execute());
    EXPECT_TRUE(dialog->FileNames().empty());
    // The status box has no window and is never cancelled.
    gDialogControl.ShowStatusBox(true, "Compiling", "");
    ASSERT_NE(gDialogControl.Box(), nullptr);
    EXPECT_NO_THROW(gDialogControl.PumpStatusBoxMessages());
    int width = 0;
    EXPECT_EQ(gDialogControl.Box()->FitPath("/home/" + std::string(60, 'd') + "/sub/f.c", 140,
                                            width),
              "/home/.../sub/f.c");
    EXPECT_EQ(width, 17 * 8);
    gDialogControl.CloseStatusBox();
}

TEST_F(WindowlessMain, InstalledFileDialogFactoryIsAsked)
{
    struct Chosen : TFileDialog {
        bool Execute() override { return true; }
        std::string FileName() const override { return "a.c"; }
        std::vector<std::string> FileNames() const override { return {"a.c", "b.c"}; }
    };
    FileDialogRequest seen;
    set_file_dialog_factory([&seen](const FileDialogRequest &r) {
        seen = r;
        return std::make_unique<Chosen>();
    });
    FileDialogRequest request;
    request.title = "Open";
    request.multi_select = true;
    auto dialog = make_file_dialog(request);
    EXPECT_EQ(seen.title, "Open");
    EXPECT_TRUE(seen.multi_select);
    ASSERT_TRUE(dialog->Execute());
    EXPECT_EQ(dialog->FileNames(), (std::vector<std::string>{"a.c", "b.c"}));
}

} // namespace
