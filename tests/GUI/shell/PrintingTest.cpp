// Printing the active editor's text (to a PDF printer: no dialog in the test), its preview and
// page setup, the after-compile signal, and the main window's lists of open files.
#include "GuiHarness.h"

#include <QComboBox>
#include <QImage>
#include <QPainter>
#include <QMdiArea>
#include <QPushButton>
#include <QPageSetupDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>

#include <filesystem>

#include <Qsci/qsciscintilla.h>
#include <set>

#include "OptionsDoubles.h"
#include "editor/frmKXFind.h"
#include "settings/guiKXPreferences.h"
#include "shell/guiMainServices.h"

namespace {

namespace fs = std::filesystem;

std::string lines(int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += "int line" + std::to_string(i) + " = " + std::to_string(i) + ";\n";
    return text;
}

// The files of the folder but the settings store's, which the harness keeps there and which
// reading the print setup opens.
std::set<std::string> folder_names(const fs::path &folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().rfind("registry.kxreg", 0) != 0)
            names.insert(entry.path().filename().string());
    return names;
}

int pdf_pages(const std::string &bytes)
{
    int pages = 0;
    for (std::size_t at = bytes.find("/Type /Page"); at != std::string::npos;
         at = bytes.find("/Type /Page", at + 1))
        if (bytes.compare(at, 12, "/Type /Pages") != 0)
            ++pages;
    return pages;
}

class Printing : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        set_options_shell(&m_shell);
    }
    void TearDown() override
    {
        set_options_shell(nullptr);
        GuiTest::TearDown();
    }
    Journal m_journal;
    RecordingShell m_shell{m_journal};
};

TEST_F(Printing, TwoHundredLinesFillSeveralPagesTitledWithTheWholeName)
{
    TfrmEdit *editor = Main().OpenFile(Write("long.c", lines(200)));
    ASSERT_NE(editor, nullptr);
    TKorvexPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(Path("out.pdf")));
    const int pages = Main().PrintEditor(printer, editor);
    EXPECT_GT(pages, 1);
    EXPECT_EQ(printer.docName().toStdString(), editor->FileName());
    EXPECT_EQ(pdf_pages(Read(Path("out.pdf"))), pages);
    EXPECT_FALSE(editor->IsModified());
}

// In colour the line numbers print in their own colours, both of them, the text on white; in
// black and white, or without line numbers on the editor, no line-number colour reaches the
// page. The editor keeps its own colours.
TEST_F(Printing, LineNumbersPrintInTheirColoursWhenPrintingInColour)
{
    TfrmEdit *editor = Main().OpenFile(Write("short.c", lines(8)));
    ASSERT_NE(editor, nullptr);
    QsciScintilla *memo = editor->Editor();
    memo->setMarginsForegroundColor(QColor(255, 0, 0));
    memo->setMarginsBackgroundColor(QColor(255, 255, 0));
    memo->setPaper(QColor(0, 255, 255));
    const long paper = memo->SendScintilla(QsciScintillaBase::SCI_STYLEGETBACK, 0);
    struct Case { const char *name; bool colour; int number_width; bool numbers_coloured; };
    for (const Case &c : {Case{"colour", true, 40, true}, Case{"black and white", false, 40, false},
                          Case{"no line numbers", true, 0, false}}) {
        memo->setMarginWidth(0, c.number_width);
        TKorvexPrinter printer;
        printer.setResolution(72);
        TPreviewPrinter setup;
        setup.TextOptions.ColorSyntax = c.colour;
        setup.TextOptions.UseHeader = false;
        setup.TextOptions.UsePageNumbers = false;
        printer.SetSetup(setup);
        QImage page(printer.pageLayout().fullRectPixels(72).size(), QImage::Format_RGB32);
        page.fill(Qt::white);
        {
            QPainter painter(&page);
            EXPECT_EQ(printer.PrintText(memo, "short.c", painter), 1) << c.name;
        }
        const int number_paper = count_pixels(page, qRgb(255, 255, 0));
        if (c.numbers_coloured) {
            EXPECT_GT(number_paper, 8 * 20) << c.name << ": the numbers' background";
            EXPECT_GT(count_pixels_near(page, qRgb(255, 0, 0), 60), 8) << c.name << ": the numbers";
        } else {
            EXPECT_EQ(number_paper, 0) << c.name;
        }
        EXPECT_EQ(count_pixels(page, qRgb(0, 255, 255)), 0) << c.name << ": the text on white";
        EXPECT_EQ(memo->SendScintilla(QsciScintillaBase::SCI_STYLEGETBACK, 0), paper)
            << c.name << ": the editor keeps its paper";
    }
}

TEST_F(Printing, NothingToPrintWithoutAnEditor)
{
    TKorvexPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(Path("none.pdf")));
    EXPECT_EQ(Main().PrintEditor(printer, nullptr), 0);
    EXPECT_FALSE(fs::exists(Path("none.pdf")));
}

// The preview renders straight onto its pages: a leftover "tmp.rtf" stays as it was and no file
// appears in the current folder.
TEST_F(Printing, PreviewShowsTheEditorsPagesAndWritesNoFile)
{
    Write("tmp.rtf", "leftover");
    Main().OpenFile(Write("long.c", lines(200)));
    const std::set<std::string> before = folder_names(m_dir);
    int pages = -1;
    m_shell.modal = [&](QDialog &dialog) {
        ASSERT_NE(dynamic_cast<QPrintPreviewDialog *>(&dialog), nullptr);
        auto *preview = dialog.findChild<QPrintPreviewWidget *>();
        ASSERT_NE(preview, nullptr);
        preview->updatePreview();
        pages = preview->pageCount();
        dialog.reject();
    };
    Main().actPrintPreview->trigger();
    EXPECT_GT(pages, 1);
    EXPECT_EQ(folder_names(m_dir), before);
    EXPECT_EQ(Read(Path("tmp.rtf")), "leftover");
}

TEST_F(Printing, PreviewWithoutAnEditorIsEmpty)
{
    int pages = -1;
    m_shell.modal = [&](QDialog &dialog) {
        auto *preview = dialog.findChild<QPrintPreviewWidget *>();
        ASSERT_NE(preview, nullptr);
        preview->updatePreview();
        pages = preview->pageCount();
        dialog.reject();
    };
    Main().actPrintPreview->trigger();
    EXPECT_LE(pages, 1);
}

TEST_F(Printing, PageSetupKeepsTheOrientationOnlyOnOk)
{
    // The platform dialog hands its choice to the printer when its exec() ends; the script does
    // the same before it answers.
    auto choose_landscape = [](bool ok) {
        return [ok](QDialog &dialog) {
            auto *setup = dynamic_cast<QPageSetupDialog *>(&dialog);
            ASSERT_NE(setup, nullptr);
            if (!ok) {
                dialog.reject();
                return;
            }
            setup->printer()->setPageOrientation(QPageLayout::Landscape);
            dialog.accept();
        };
    };
    m_shell.modal = choose_landscape(false);
    Main().actPrintSetup->trigger();
    EXPECT_EQ(Main().PrintSetup().Orientation, TPrintOrientation::poPortrait);
    m_shell.modal = choose_landscape(true);
    Main().actPrintSetup->trigger();
    EXPECT_EQ(Main().PrintSetup().Orientation, TPrintOrientation::poLandscape);
    TPreviewPrinter stored;
    LoadPrintSetup(&stored);
    EXPECT_EQ(stored.Orientation, TPrintOrientation::poLandscape) << "saved in the settings";
}

// ---- after a compile -------------------------------------------------------------------------------

class RecordingAttention : public TAttentionSignals {
public:
    bool active = false;
    std::vector<int> alerts;
    int beeps = 0;
    bool ApplicationActive() override { return active; }
    void Alert(QWidget *, int milliseconds) override { alerts.push_back(milliseconds); }
    void Beep() override { ++beeps; }
};

struct SignalCase {
    const char *name;
    bool active, flash, beep;
    std::vector<int> alerts;
    int beeps;
};
const SignalCase kSignals[] = {
    {"InFrontNothing", true, true, true, {}, 0},
    {"BackgroundBoth", false, true, true, {1500}, 1},
    {"BackgroundFlashOnly", false, true, false, {1500}, 0},
    {"BackgroundBeepOnly", false, false, true, {}, 1},
    {"BackgroundNeither", false, false, false, {}, 0},
};
class AfterCompileSignal : public GuiTest, public ::testing::WithParamInterface<SignalCase> {};
TEST_P(AfterCompileSignal, FlashesAndBeepsOnlyInTheBackground)
{
    const SignalCase &c = GetParam();
    RecordingAttention attention;
    attention.active = c.active;
    set_attention_signals(&attention);
    IdePreferences().flash_after_compile = c.flash;
    IdePreferences().beep_after_compile = c.beep;
    FlashAndBeepAfterCompile(&Main());
    set_attention_signals(nullptr);
    EXPECT_EQ(attention.alerts, c.alerts) << "one alert: three flashes 500 ms apart";
    EXPECT_EQ(attention.beeps, c.beeps);
}
INSTANTIATE_TEST_SUITE_P(All, AfterCompileSignal, ::testing::ValuesIn(kSignals),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- the open files --------------------------------------------------------------------------------

TEST_F(Printing, OpenFileNamesAreSortedAndEachOnce)
{
    std::vector<std::string> names;
    Main().GetOpenFileNames(names);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(Main().FirstEditor(), nullptr);
    TfrmEdit *first = Main().OpenFile(Write("z.c", "z\n"));
    Main().OpenFile(Write("a.c", "a\n"));
    TfrmEdit *last = Main().OpenFile(Path("z.c")); // a second window on z.c
    Main().GetOpenFileNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{Path("a.c"), Path("z.c")}));
    EXPECT_EQ(Main().FirstEditor(), last) << "the editor in front, not the first made";
    Main().Workspace()->setActiveSubWindow(first);
    EXPECT_EQ(Main().FirstEditor(), first);
}

TEST_F(Printing, AlternateFindNextRepeatsOnlyAMadeSearch)
{
    TfrmEdit *editor = Main().OpenFile(Write("a.c", "ab ab\n"));
    int dialogs = 0;
    m_shell.modal = [&](QDialog &shown) {
        ++dialogs;
        auto &dialog = dynamic_cast<TfrmFindText &>(shown);
        dialog.cbxFind->setEditText(QStringLiteral("ab"));
        dialog.btnFindNext->click();
    };
    Main().actAltFindNextExecute();
    EXPECT_FALSE(editor->Editor()->hasSelectedText()) << "no search made: nothing";
    EXPECT_EQ(dialogs, 0) << "and no dialog";
    Main().actFind->trigger();
    Main().actAltFindNextExecute();
    int line = -1, column = -1;
    editor->Editor()->getCursorPosition(&line, &column);
    EXPECT_EQ(column, 5) << "the second ab";
    EXPECT_EQ(dialogs, 1);
}

} // namespace
