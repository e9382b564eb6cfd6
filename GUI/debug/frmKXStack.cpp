// frmKXStack: the stack window.
#include "frmKXStack.h"

#include <QAction>
#include <QHideEvent>
#include <QListWidget>
#include <QMenu>
#include <QVBoxLayout>

#include "guiDebugger.h"
#include "FontRecord.h"
#include "settings/guiKXPreferences.h"
#include "shell/frmKXMain.h"
#include "shell/guiHosts.h"
#include "shell/guiListCopy.h"

namespace {

// The form's own bounds, then the ones its constructor sets.
const QRect kFormBounds(0, 0, 200, 400);
constexpr int kStackBit = 0; // the stack-data bit of the target's send flags

} // namespace

TfrmStack::TfrmStack(TfrmMainWindow *main, bool as_child, bool dockable)
    : TfrmDockable(main, QStringLiteral("frmStack"), as_child, dockable, kFormBounds)
{
    SetCaption(QStringLiteral("Stack"));
    lbxStack = new QListWidget(this);
    lbxStack->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbxStack->setUniformItemSizes(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lbxStack);

    const TListCopyActions copying = AddListCopyActions(
        this, lbxStack, [this] { return actCopyUpdate(); }, [this] { actCopyExecute(); });
    actCopy = copying.copy;
    actCopyOldStyle = copying.copy_old_style;
    poStack = copying.popup;
    connect(lbxStack, &QListWidget::itemSelectionChanged, this,
            [this] { actCopy->setEnabled(actCopyUpdate()); });
    actCopy->setEnabled(false);

    ApplyOptions();
    m_adapter.SetWindow(this);
    if (Host())
        Host()->setGeometry(kFormBounds);
}

TfrmStack::~TfrmStack() { m_adapter.SetWindow(nullptr); }

void TfrmStack::ApplyOptions()
{
    const StackWindowSettings &settings = IdePreferences().stack;
    QPalette palette = lbxStack->palette();
    palette.setColor(QPalette::Base, colour_of(settings.background_colour));
    TFont font;
    ApplyFontRecord(font, settings.font);
    palette.setColor(QPalette::Text, colour_of(font.colour));
    lbxStack->setPalette(palette);
    lbxStack->setFont(font.font);
}

void TfrmStack::AddLine(const std::string &text)
{
    lbxStack->addItem(QString::fromLatin1(text.c_str()));
    lbxStack->scrollToBottom();
}

bool TfrmStack::actCopyUpdate() const { return !lbxStack->selectedItems().isEmpty(); }

void TfrmStack::actCopyExecute()
{
    if (MainWindow())
        MainWindow()->CopyListSelectionToClipboard(lbxStack);
}

void TfrmStack::StopStackReports()
{
    if (!MainWindow() || MainWindow()->DebugMode() == 0)
        return;
    // The window goes whatever the target says: a failure here is not the user's business.
    try {
        debugger_operations().TcSetSendFlag(kStackBit, false);
    } catch (...) {
    }
}

void TfrmStack::FormHide()
{
    if (MainWindow())
        MainWindow()->SetAutoShow(DebugWindow::Stack, false);
    StopStackReports();
}

void TfrmStack::hideEvent(QHideEvent *event)
{
    TfrmDockable::hideEvent(event);
    // The window system hiding the whole program (minimised) is no hide of this window.
    if (!event->spontaneous())
        FormHide();
}

TfrmDockable::CloseAction TfrmStack::FormClose()
{
    StopStackReports();
    if (MainWindow())
        MainWindow()->SetAutoShow(DebugWindow::Stack, false);
    return TfrmDockable::FormClose();
}
