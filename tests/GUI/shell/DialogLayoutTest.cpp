// Every dialog of the IDE at its default size: each visible control lies inside its parent and
// has at least the room its content asks for (a text box its few words, a caption every
// letter), so nothing is clipped and no caption is cut mid-word.
#include "OptionsDoubles.h"

#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QTabWidget>
#include <QTest>

#include <functional>
#include <memory>

#include "controls/frmKXMessageBox.h"
#include "debug/frmKXAddWatch.h"
#include "debug/frmKXEvalExpression.h"
#include "debug/frmKXMoveToAddress.h"
#include "driver/Temporaryglobals.h"
#include "editor/frmKXGrepSetup.h"
#include "options/frmKXPassPhrase.h"
#include "editor/frmKXFind.h"
#include "editor/frmKXLineNumber.h"
#include "options/frmKXAdvCompilerOpt.h"
#include "options/frmKXDiscovery.h"
#include "options/frmKXEnvOptions.h"
#include "options/frmKXTargetless.h"
#include "shell/frmKXAbout.h"
#include "shell/frmKXInfo.h"
#include "shell/frmKXTips.h"

namespace {

// The descendant is inside a scrolled area's viewport, where a part may lie outside by design.
bool scrolled(const QWidget *widget, const QWidget *top)
{
    for (const QWidget *w = widget->parentWidget(); w && w != top; w = w->parentWidget())
        if (auto *area = qobject_cast<const QAbstractScrollArea *>(w->parentWidget()))
            if (area->viewport() == w)
                return true;
    return false;
}

// The room a control's own content needs across: its caption's letters (with the check box's
// or radio button's mark), or a few characters of a text box; 0 for a control without a
// caption of its own.
int content_width(QWidget *w)
{
    const QFontMetrics metrics(w->font());
    auto caption = [&](QString text) {
        text.remove('&');
        return metrics.horizontalAdvance(text);
    };
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->wordWrap() || label->textFormat() == Qt::RichText || !label->pixmap().isNull()
                   ? 0
                   : caption(label->text());
    if (auto *button = qobject_cast<QPushButton *>(w))
        return caption(button->text()) + 4;
    if (auto *box = qobject_cast<QCheckBox *>(w))
        return caption(box->text()) + 16;
    if (auto *radio = qobject_cast<QRadioButton *>(w))
        return caption(radio->text()) + 16;
    if (qobject_cast<QLineEdit *>(w) && !qobject_cast<QComboBox *>(w->parentWidget()))
        return metrics.averageCharWidth() * 4;
    if (qobject_cast<QComboBox *>(w))
        return metrics.averageCharWidth() * 6;
    return 0;
}

// The descendants shown on the dialog's current page that reach outside their parent, or are
// narrower than their content.
std::vector<std::string> clipped_controls(QWidget *dialog)
{
    std::vector<std::string> clipped;
    for (QWidget *w : dialog->findChildren<QWidget *>()) {
        if (w->isWindow() || !w->isVisibleTo(dialog) || scrolled(w, dialog))
            continue;
        const QWidget *parent = w->parentWidget();
        std::string name = std::string(w->metaObject()->className()) + " \"" +
                           w->objectName().toStdString() + "\"";
        if (auto *label = qobject_cast<QLabel *>(w))
            name += " (" + label->text().toStdString() + ")";
        if (auto *button = qobject_cast<QAbstractButton *>(w))
            name += " (" + button->text().toStdString() + ")";
        if (!parent->rect().contains(w->geometry()))
            clipped.push_back(name + " reaches outside its parent");
        const int need = content_width(w);
        if (w->width() < need)
            clipped.push_back(name + " is " + std::to_string(w->width()) + " wide, needs " +
                              std::to_string(need));
    }
    return clipped;
}

struct DialogCase {
    const char *name;
    std::function<std::unique_ptr<QDialog>()> make;
};

const DialogCase kDialogs[] = {
    {"Find", [] { return std::make_unique<TfrmFindText>(nullptr, false, TSearchRequest{}); }},
    {"Replace", [] { return std::make_unique<TfrmFindText>(nullptr, true, TSearchRequest{}); }},
    {"GoToLine", [] { return std::make_unique<TfrmLineNumber>(); }},
    {"About", [] { return std::make_unique<TfrmAbout>(); }},
    {"Information", [] { return std::make_unique<TfrmInfo>(nullptr); }},
    {"AdvancedCompilerOptions", [] { return std::make_unique<TfrmAdvCompilerOpt>(nullptr); }},
    {"Discovery", [] { return std::make_unique<TfrmDiscovery>(nullptr); }},
    {"TipOfTheDay",
     [] {
         return std::make_unique<TfrmTips>(
             std::vector<TTip>{{"Compile and run in one key", "F9 compiles and runs."}}, 0,
             nullptr);
     }},
    {"ProjectOptions",
     [] { return std::make_unique<TfrmEnvOptions>(nullptr, &gBoardParameters); }},
    {"AddWatch", [] { return std::make_unique<TfrmAddWatch>(nullptr); }},
    {"EvaluateExpression", [] { return std::make_unique<TfrmEvalExpression>(nullptr, nullptr); }},
    {"FindInFiles", [] { return std::make_unique<TfrmGrepSetup>(nullptr); }},
    {"StatusBox", [] { return std::make_unique<TfrmMessageBox>(nullptr); }},
    {"DisassembleAtAddress",
     [] {
         static uint32_t address = 0;
         static TAddressParseResult result;
         return std::make_unique<TfrmMoveToAddress>(nullptr, address, result);
     }},
    {"PassPhrase",
     [] {
         static char phrase[256] = "";
         return std::make_unique<TfrmPassPhrase>(nullptr, phrase);
     }},
};

class DialogLayout : public OptionsTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(DialogLayout, NothingIsClippedAtTheDefaultSize)
{
    std::unique_ptr<QDialog> dialog = GetParam().make();
    dialog->show();
    QTest::qWait(50);
    // Each page of a tabbed dialog in turn.
    QTabWidget *tabs = dialog->findChild<QTabWidget *>();
    const int pages = tabs ? tabs->count() : 1;
    for (int page = 0; page < pages; ++page) {
        if (tabs)
            tabs->setCurrentIndex(page);
        QTest::qWait(20);
        const std::string where = tabs ? tabs->tabText(page).toStdString() : std::string();
        const std::vector<std::string> clipped = clipped_controls(dialog.get());
        EXPECT_TRUE(clipped.empty()) << where << ": " << ::testing::PrintToString(clipped);
        // The pages of a tabbed control on this page, each in turn.
        for (QTabWidget *inner : dialog->findChildren<QTabWidget *>()) {
            if (inner == tabs || !inner->isVisibleTo(dialog.get()))
                continue;
            for (int sub = 0; sub < inner->count(); ++sub) {
                inner->setCurrentIndex(sub);
                QTest::qWait(20);
                const std::vector<std::string> inside = clipped_controls(dialog.get());
                EXPECT_TRUE(inside.empty()) << where << " / " << inner->tabText(sub).toStdString()
                                            << ": " << ::testing::PrintToString(inside);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, DialogLayout, ::testing::ValuesIn(kDialogs),
                         [](const auto &info) { return std::string(info.param.name); });

using DialogLayoutBoards = OptionsTest;

// The Targetless page's board list shows each board's whole description (its memory sizes
// stand at the end) at the dialog's default size.
TEST_F(DialogLayoutBoards, TheBoardListShowsWholeEntries)
{
    TfrmEnvOptions dialog(nullptr, &gBoardParameters);
    dialog.show();
    QTest::qWait(20);
    auto *list = dialog.findChild<QListWidget *>("lbBoardType");
    ASSERT_NE(list, nullptr);
    QTabWidget *pages = dialog.findChild<QTabWidget *>("pcSpecify");
    ASSERT_NE(pages, nullptr);
    QWidget *select = list->parentWidget();
    while (select && pages->indexOf(select) < 0)
        select = select->parentWidget();
    ASSERT_NE(select, nullptr);
    dialog.pcEnvOptions->setCurrentWidget(dialog.tsTargetless);
    pages->setCurrentWidget(select);
    QTest::qWait(20);
    ASSERT_GT(list->count(), 10) << "the board table is loaded";
    const QFontMetrics metrics(list->font());
    int widest = 0;
    for (int row = 0; row < list->count(); ++row)
        widest = std::max(widest, metrics.horizontalAdvance(list->item(row)->text()));
    EXPECT_GE(list->viewport()->width(), widest) << "a board's description is cut off";
}

// The Find dialog's text box shows a search of a few words at the dialog's default size, and
// grows with the dialog.
using FindDialogLayout = GuiTest;

TEST_F(FindDialogLayout, TheTextBoxShowsAFewWordsAndGrows)
{
    TfrmFindText dialog(nullptr, false, TSearchRequest{});
    dialog.show();
    QTest::qWait(20);
    const QFontMetrics metrics(dialog.cbxFind->font());
    EXPECT_GE(dialog.cbxFind->width(), metrics.horizontalAdvance(QString(30, 'x')));
    const int before = dialog.cbxFind->width();
    dialog.resize(dialog.width() + 200, dialog.height());
    QTest::qWait(20);
    EXPECT_GE(dialog.cbxFind->width(), before + 150);
}

} // namespace
