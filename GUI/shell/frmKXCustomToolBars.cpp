// frmKXCustomToolBars: the palette of command buttons for the main window's toolbars.
#include "frmKXCustomToolBars.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "frmKXMain.h"
#include "guiHosts.h"
#include "guiToolbars.h"

namespace {

struct Group {
    const char *caption;  // the group's name, and its palette toolbar's caption
    const char *palette;  // the palette toolbar's name
    std::vector<const char *> actions;
};

const std::array<Group, TfrmCustomToolBars::kGroupCount> kGroups = {{
    {"File",
     "tbarFile",
     {"actFileNew", "actFileOpen", "actFileSave", "actFileSaveAll", "actProjectCreate",
      "actProjectOpen", "actProjectSave", "actProjectSaveAs", "actProjectClose"}},
    {"Print", "tbarPrint", {"actPrint", "actPrintSetup", "actPrintPreview"}},
    {"Edit",
     "tbarEdit",
     {"actEditCut", "actEditCopy", "actEditPaste", "actUndo", "actRedo", "actFind", "actReplace",
      "actFindNext", "actAltFindNext", "actGoto", "actPreviousError", "actNextError", "actGrep",
      "actShowCodeTemplates"}},
    {"Compile",
     "tbarCompile",
     {"actEditMode", "actCompile", "actCompileToTargetFlash", "actCompileToTargetRAM",
      "actCompileToTargetFlashRam", "actCompileToBinFlash", "actCompileToBinFlashRam",
      "actCompileBIOS"}},
    {"Run",
     "tbarRun",
     {"actRun", "actStop", "actStepOver", "actTraceInto", "actToggleBreakpoint",
      "actSourceStepOver", "actSourceTraceInto", "actRunNoPoll", "actToggleHardBrkPt",
      "actClearAllBrkPts", "actPollTarget", "actResetProgram", "actCloseSerialPort"}},
    {"Inspect",
     "tbarWatch",
     {"actAddWatch", "actDeleteWatch", "actEvaluateExpression", "actDeleteAllWatches",
      "actUpdateWatchWindow", "actDisassembleAtCursor", "actDisassembleAtAddress",
      "actDumpAtAddress", "actGotoExePoint"}},
    {"Options", "tbarOptions", {"actProjectOptions", "actEnvOptions"}},
    {"Debug Windows",
     "tbarDebug",
     {"actToggleStdio", "actToggleAsm", "actToggleStack", "actToggleReg", "actToggleMessages",
      "actToggleWatch", "actMinimizeDebug"}},
    {"Window View",
     "tbarView",
     {"actWindowCascade", "actWindowTileHorizontal", "actWindowTileVertical",
      "actWindowMinimizeAll", "actWindowArrangeAll"}},
    {"Help",
     "tbarHelp",
     {"actFunctionLookup", "actTip", "actInformation", "actOnlineDoc", "actIORegisters",
      "actKeyWords", "actOperators", "actFuncRef", "actInstructionRef", "actKeystrokes",
      "actContents", "actTechSupport"}},
}};

constexpr int kButtonHeight = 22;
constexpr int kLabelGap = 8;

QString label_caption(const QAction *action)
{
    QString caption = action->text();
    caption.remove('&');
    return caption;
}

} // namespace

TfrmCustomToolBars::TfrmCustomToolBars(TfrmMainWindow *main)
    : QDialog(main, Qt::Tool | Qt::WindowStaysOnTopHint), m_main(main)
{
    setObjectName(QStringLiteral("frmCustomToolBars"));
    setWindowTitle(tr("Customize Menu Buttons"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *columns = new QHBoxLayout(this);
    lbToolButtonGroups = new QListWidget(this);
    lbToolButtonGroups->setMaximumWidth(120);
    ScrollBox1 = new QScrollArea(this);
    m_holder = new QWidget;
    ScrollBox1->setWidget(m_holder);
    ScrollBox1->setWidgetResizable(false);
    columns->addWidget(lbToolButtonGroups);
    columns->addWidget(ScrollBox1, 1);
    auto *buttons = new QVBoxLayout;
    btnClose = new QPushButton(tr("&Close"), this);
    BitBtn1 = new QPushButton(tr("&Help"), this);
    buttons->addWidget(btnClose);
    buttons->addWidget(BitBtn1);
    buttons->addStretch(1);
    columns->addLayout(buttons);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
    connect(BitBtn1, &QPushButton::clicked, this,
            [this] { guarded([&] { m_main->ShowHelpContext(3); }); });
    connect(lbToolButtonGroups, &QListWidget::currentRowChanged, this,
            [this](int row) { guarded([&] { lbToolButtonGroupsClick(row); }); });
    FormCreate();
    resize(420, 360);
}

TfrmCustomToolBars::~TfrmCustomToolBars() = default;

void TfrmCustomToolBars::FormCreate()
{
    // Every part of the dialog takes drops: a main-window button dropped here is taken off.
    for (QWidget *w : {static_cast<QWidget *>(this), static_cast<QWidget *>(lbToolButtonGroups),
                       ScrollBox1->viewport(), m_holder}) {
        w->setAcceptDrops(true);
        w->installEventFilter(m_main);
    }
    for (int group = 0; group < kGroupCount; ++group)
        AddGroup(group);
    QSignalBlocker quiet(lbToolButtonGroups);
    lbToolButtonGroups->setCurrentRow(0);
    m_current = m_panels.front();
}

void TfrmCustomToolBars::AddGroup(int group)
{
    const Group &definition = kGroups[static_cast<std::size_t>(group)];
    lbToolButtonGroups->addItem(QString::fromLatin1(definition.caption));
    auto *panel = new QWidget(m_holder);
    panel->setObjectName(QString::fromLatin1(definition.caption));
    panel->setAcceptDrops(true);
    panel->installEventFilter(m_main);
    panel->hide();
    auto *palette = new QToolBar(panel);
    palette->setObjectName(QString::fromLatin1(definition.palette));
    palette->setWindowTitle(QString::fromLatin1(definition.caption));
    palette->setOrientation(Qt::Vertical);
    palette->setMovable(false);
    palette->setIconSize(QSize(16, 16));
    palette->setToolButtonStyle(Qt::ToolButtonIconOnly);
    palette->setAcceptDrops(true);
    palette->installEventFilter(m_main);
    if (palette->layout()) {
        palette->layout()->setSpacing(0);
        palette->layout()->setContentsMargins(0, 0, 0, 0);
    }
    for (const char *name : definition.actions)
        if (QAction *action = m_main->CommandAction(name))
            palette->addAction(action);
    palette->addAction(m_main->actSeparator);
    // The buttons' group is that of the main window's toolbar of the same caption: -1 when
    // there is none.
    const int home = m_main->ToolBarGroup(definition.caption);
    const QList<QAction *> actions = palette->actions();
    int right = 0;
    for (int index = 0; index < actions.size(); ++index) {
        QAction *action = actions[index];
        auto *button = qobject_cast<QToolButton *>(palette->widgetForAction(action));
        if (!button)
            continue;
        const int kind = action == m_main->actSeparator ? 3 : 0;
        button->setProperty(kToolButtonTagProperty, ((index & 0xFFFF) << 16) | ((home & 0xFF) << 8) | kind);
        button->setFixedSize(23, kButtonHeight);
        button->setEnabled(true);
        button->setAcceptDrops(true);
        button->installEventFilter(m_main);
        auto *label = new QLabel(label_caption(action), panel);
        label->setProperty(kToolButtonTagProperty, QVariant::fromValue<QObject *>(button));
        label->setCursor(Qt::OpenHandCursor);
        label->setAcceptDrops(true);
        label->installEventFilter(m_main);
        label->adjustSize();
        label->move(23 + kLabelGap, index * kButtonHeight + (kButtonHeight - label->height()) / 2);
        right = std::max(right, label->x() + label->width());
    }
    palette->adjustSize();
    panel->resize(std::max(right, palette->width()) + kLabelGap,
                  std::max(palette->height(), static_cast<int>(actions.size()) * kButtonHeight));
    m_panels.push_back(panel);
    m_palettes.push_back(palette);
}

std::vector<QLabel *> TfrmCustomToolBars::Labels(int group) const
{
    std::vector<QLabel *> labels;
    for (QLabel *label : Panel(group)->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly))
        labels.push_back(label);
    std::sort(labels.begin(), labels.end(),
              [](const QLabel *a, const QLabel *b) { return a->y() < b->y(); });
    return labels;
}

void TfrmCustomToolBars::lbToolButtonGroupsClick(int row)
{
    if (row < 0 || row >= static_cast<int>(m_panels.size()))
        return;
    if (m_current)
        m_current->hide();
    m_current = m_panels[static_cast<std::size_t>(row)];
    m_current->move(0, 0);
    m_current->show();
    m_holder->resize(m_current->width() + 20, m_current->height());
}

QSize TfrmCustomToolBars::ScrollRange() const { return m_holder->size(); }

void TfrmCustomToolBars::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    lbToolButtonGroupsClick(lbToolButtonGroups->currentRow());
}

void TfrmCustomToolBars::closeEvent(QCloseEvent *event)
{
    QDialog::closeEvent(event);
    if (event->isAccepted())
        guarded([&] { m_main->EndCustomizing(); });
}
