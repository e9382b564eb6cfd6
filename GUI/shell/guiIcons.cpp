// guiIcons: the table of the commands' pictures and the icon theme.
#include "guiIcons.h"

#include <QAction>
#include <QDir>
#include <QFile>

#include <algorithm>

// The picture of each command: the theme's name where one fits, and always our own.
const TCommandIcon kCommandIcons[] = {
    {"actFileNew", "document-new", "kx-document-new"},
    {"actFileOpen", "document-open", "kx-document-open"},
    {"actFileSave", "document-save", "kx-document-save"},
    {"actFileSaveAs", "document-save-as", "kx-document-save"},
    {"actFileSaveAll", nullptr, "kx-document-save-all"},
    {"actFileClose", "window-close", "kx-project-close"},
    {"actProjectCreate", nullptr, "kx-project-new"},
    {"actProjectOpen", nullptr, "kx-project-open"},
    {"actProjectSave", nullptr, "kx-project-save"},
    {"actProjectSaveAs", nullptr, "kx-project-save-as"},
    {"actProjectClose", nullptr, "kx-project-close"},
    {"actPrint", "document-print", "kx-print"},
    {"actPrintSetup", "document-page-setup", "kx-print-setup"},
    {"actPrintPreview", "document-print-preview", "kx-print-preview"},
    {"actEditCut", "edit-cut", "kx-edit-cut"},
    {"actEditCopy", "edit-copy", "kx-edit-copy"},
    {"actEditPaste", "edit-paste", "kx-edit-paste"},
    {"actUndo", "edit-undo", "kx-edit-undo"},
    {"actRedo", "edit-redo", "kx-edit-redo"},
    {"actFind", "edit-find", "kx-edit-find"},
    {"actReplace", "edit-find-replace", "kx-edit-find-replace"},
    {"actFindNext", nullptr, "kx-edit-find-next"},
    {"actAltFindNext", nullptr, "kx-edit-find-again"},
    {"actGoto", "go-jump", "kx-go-line"},
    {"actPreviousError", nullptr, "kx-error-previous"},
    {"actNextError", nullptr, "kx-error-next"},
    {"actGrep", nullptr, "kx-grep"},
    {"actShowCodeTemplates", nullptr, "kx-templates"},
    {"actEditMode", nullptr, "kx-edit-mode"},
    {"actCompile", nullptr, "kx-compile"},
    {"actCompileToTargetFlash", nullptr, "kx-compile-flash"},
    {"actCompileToTargetRAM", nullptr, "kx-compile-ram"},
    {"actCompileToTargetFlashRam", nullptr, "kx-compile-flash-ram"},
    {"actCompileToBinFlash", nullptr, "kx-compile-bin"},
    {"actCompileToBinFlashRam", nullptr, "kx-compile-bin-ram"},
    {"actCompileBIOS", nullptr, "kx-compile-bios"},
    {"actRun", "media-playback-start", "kx-run"},
    {"actRunNoPoll", nullptr, "kx-run-nopoll"},
    {"actStop", "process-stop", "kx-stop"},
    {"actStepOver", nullptr, "kx-step-over"},
    {"actTraceInto", nullptr, "kx-trace-into"},
    {"actSourceStepOver", nullptr, "kx-source-step-over"},
    {"actSourceTraceInto", nullptr, "kx-source-trace-into"},
    {"actToggleBreakpoint", nullptr, "kx-breakpoint"},
    {"actToggleHardBrkPt", nullptr, "kx-breakpoint-hard"},
    {"actClearAllBrkPts", nullptr, "kx-breakpoint-clear"},
    {"actPollTarget", nullptr, "kx-poll"},
    {"actResetProgram", nullptr, "kx-reset-program"},
    {"actCloseSerialPort", nullptr, "kx-close-port"},
    {"actAddWatch", nullptr, "kx-watch-add"},
    {"actDeleteWatch", nullptr, "kx-watch-delete"},
    {"actDeleteWatchButton", nullptr, "kx-watch-delete"},
    {"actDeleteAllWatches", nullptr, "kx-watch-delete-all"},
    {"actUpdateWatchWindow", nullptr, "kx-watch-update"},
    {"actEvaluateExpression", nullptr, "kx-evaluate"},
    {"actDisassembleAtCursor", nullptr, "kx-disassemble"},
    {"actDisassembleAtAddress", nullptr, "kx-disassemble-address"},
    {"actDumpAtAddress", nullptr, "kx-dump"},
    {"actGotoExePoint", nullptr, "kx-go-exe-point"},
    {"actProjectOptions", nullptr, "kx-options-project"},
    {"actEnvOptions", "preferences-system", "kx-options-environment"},
    {"actToggleStdio", "utilities-terminal", "kx-window-stdio"},
    {"actToggleAsm", nullptr, "kx-window-assembly"},
    {"actToggleStack", nullptr, "kx-window-stack"},
    {"actToggleReg", nullptr, "kx-window-registers"},
    {"actToggleMessages", nullptr, "kx-window-messages"},
    {"actToggleWatch", nullptr, "kx-window-watches"},
    {"actMinimizeDebug", nullptr, "kx-minimize-debug"},
    {"actWindowCascade", nullptr, "kx-window-cascade"},
    {"actWindowTileHorizontal", nullptr, "kx-window-tile-horizontal"},
    {"actWindowTileVertical", nullptr, "kx-window-tile-vertical"},
    {"actWindowMinimizeAll", nullptr, "kx-window-minimize-all"},
    {"actWindowArrangeAll", nullptr, "kx-window-arrange"},
    {"actFunctionLookup", nullptr, "kx-function-lookup"},
    {"actTip", nullptr, "kx-tip"},
    {"actInformation", "dialog-information", "kx-information"},
    {"actOnlineDoc", nullptr, "kx-online-doc"},
    {"actIORegisters", nullptr, "kx-io-registers"},
    {"actKeyWords", nullptr, "kx-keywords"},
    {"actOperators", nullptr, "kx-operators"},
    {"actFuncRef", nullptr, "kx-function-reference"},
    {"actInstructionRef", nullptr, "kx-instruction-reference"},
    {"actKeystrokes", nullptr, "kx-keystrokes"},
    {"actContents", "help-contents", "kx-help-contents"},
    {"actTechSupport", nullptr, "kx-tech-support"},
};
const std::size_t kCommandIconCount = std::size(kCommandIcons);

// Outside every namespace: the resource initialiser's name is global.
static void load_icon_resources() { Q_INIT_RESOURCE(kxicons); }

namespace {

constexpr const char *kInstalledTheme = "Adwaita";

} // namespace

const TCommandIcon *find_command_icon(std::string_view action)
{
    const auto *end = kCommandIcons + kCommandIconCount;
    const auto *row = std::find_if(kCommandIcons, end,
                                   [&](const TCommandIcon &r) { return action == r.action; });
    return row == end ? nullptr : row;
}

void prepare_command_icons()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    load_icon_resources();
    // Without a desktop (a bare X server) Qt names no theme, or only the fallback one.
    const QString theme = QIcon::themeName();
    if (theme.isEmpty() || theme == QLatin1String("hicolor"))
        QIcon::setThemeName(QString::fromLatin1(kInstalledTheme));
}

QIcon own_command_icon(const TCommandIcon &row)
{
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(row.own)));
}

QIcon command_icon(const TCommandIcon &row)
{
    prepare_command_icons();
    if (row.theme && QIcon::hasThemeIcon(QString::fromLatin1(row.theme)))
        return QIcon::fromTheme(QString::fromLatin1(row.theme));
    return own_command_icon(row);
}

bool apply_command_icon(QAction *action)
{
    const TCommandIcon *row = find_command_icon(action->objectName().toStdString());
    if (!row)
        return false;
    action->setIcon(command_icon(*row));
    QString hint = action->statusTip();
    if (hint.isEmpty()) {
        hint = action->text();
        hint.remove('&');
        hint.remove(QStringLiteral("..."));
    }
    action->setToolTip(hint);
    return true;
}
