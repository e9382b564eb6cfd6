// frmKXEnvOptions: `TfrmEnvOptions`, the "Project Options" dialog, in which the user edits the
// open project's options: how the IDE reaches the target (Communications), how the compiler
// works (Compiler, with the Advanced Compiler Options dialog behind "&Advanced..."), what the
// debugger and the trace may do (Debugger), the project's macro definitions (Defines) and the
// board of a compile without a target (Targetless, the page of frmKXTargetless).
//
// The main window's Project Options command (`actProjectOptionsExecute`) makes the dialog for one
// modal showing. Creation reads the compiler's options and the target link's settings and fills
// the pages; showing prepares the Targetless page and the limits; OK checks every entry first
// (a refused entry keeps the dialog open with the focus on it) and then applies the pages to the
// settings object, the target link, the compiler, the project file and the board store, in that
// order of steps; the three change flags tell the command what to do afterwards. Cancel applies
// nothing. The rules without windows live in guiEnvOptions; the neighbours are reached through
// guiOptionsHost.
//
// Every check box and radio button runs its handler on `toggled`, so that setting one by program
// runs it as a click would; every handler runs inside the slot guard.
#pragma once

#include <QDialog>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "driver/CC_GO.h"
#include "core/SEAM_SETTINGS.h"
#include "debugger/TCOptions.h"
#include "settings/guiEnvOptions.h"
#include "settings/guiEnvironment.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QsciScintilla;
class TQBSpinEdit;
class TTargetlessPage;

class TfrmEnvOptions : public QDialog {
    Q_OBJECT
public:
    // The pages in tab order.
    enum Page { kCommunications = 0, kCompiler, kDebugger, kDefines, kTargetless };

    // `board`: the record the Targetless page starts from and fills on OK (not owned);
    // `base_path`: the settings base path without the version key.
    TfrmEnvOptions(QWidget *owner, BoardParameters *board,
                   std::string base_path = kSettingsBasePath);
    ~TfrmEnvOptions() override;

    // Set only on OK: the link settings differ from those in force at creation, the COM port
    // does, the default compile mode differs from the settings object's.
    bool CommSettingsChanged = false;
    bool PortChanged = false;
    bool CompileModeChanged = false;

    // ---- the frame ---------------------------------------------------------------------------------
    void FormCreate();
    void FormShow();
    void pcEnvOptionsChange();
    // The checks of OK; false keeps the dialog open.
    [[nodiscard]] bool FormCloseQuery();
    // With the result OK the pages are applied; whatever the result the page is remembered.
    void FormClose(int result);
    void DefinesMemoExit();

    // ---- the Communications page -------------------------------------------------------------------
    void EnableTcpGroup(bool on);
    void EnableSerialGroup(bool on);
    void rdbUseTCPClick();
    void rdbUseSerialClick();
    void cbDisableBaudClick();
    void chkDSRClick();
    void btnDiscoveryClick();
    bool HaveCommSettingsChanged(const std::string &port_number) const;
    bool HasPortChanged(const std::string &port_number) const;
    // The link settings the dialog was made with (replaced when OK sets new ones).
    const TCOptionsType &Snapshot() const { return m_snapshot; }

    // ---- the Debugger page, help and the Compiler page's buttons ------------------------------------
    void chkEnableBreakpointsClick();
    void chkEnableWatchesClick();
    void cseMaxBreakpointsChange();
    void chkEnableTraceClick();
    void chkTraceSaveToFileClick();
    void TraceInfoChange();
    void btnTraceSaveToFileClick();
    void btnHelpClick();
    void btnAdvancedClick();

    // ---- controls ----------------------------------------------------------------------------------
    QTabWidget *pcEnvOptions = nullptr;
    QWidget *tsCommunications = nullptr;
    QWidget *tsCompiler = nullptr;
    QWidget *tsDebugger = nullptr;
    QWidget *tsEditor = nullptr;
    TTargetlessPage *tsTargetless = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnHelp = nullptr;

    // Communications.
    QGroupBox *GroupBox5 = nullptr;
    QRadioButton *rdbUseTCP = nullptr;
    QRadioButton *rdbUseSerial = nullptr;
    QGroupBox *gbxTCP = nullptr;
    QLabel *lblNetworkAddress = nullptr;
    QLineEdit *edtNetworkAddress = nullptr;
    QLabel *lblControllerName = nullptr;
    QLineEdit *edtControllerName = nullptr;
    QLabel *lblControlPort = nullptr;
    QLineEdit *edtControlPort = nullptr;
    QPushButton *btnDiscovery = nullptr;
    QGroupBox *gbxSerial = nullptr;
    QGroupBox *gbxBaudRates = nullptr;
    QLabel *lblSerialBaud = nullptr;
    QComboBox *cboSerialBaud = nullptr;
    QLabel *lblMaxBaud = nullptr;
    QComboBox *cboMaxBaud = nullptr;
    QCheckBox *cbDisableBaud = nullptr;
    QLabel *lblSerialPort = nullptr;
    QComboBox *cboSerialPort = nullptr;
    QLabel *lblSerialStop = nullptr;
    QComboBox *cboSerialStop = nullptr;
    QCheckBox *chkDSR = nullptr;
    QLabel *lblVerify = nullptr;
    QCheckBox *cbUseUSB = nullptr;
    // The communication trace: its switch and where its file goes.
    QGroupBox *gbxTcTrace = nullptr;
    QCheckBox *chkTcLogging = nullptr;
    QLabel *lblTcTraceFile = nullptr;

    // Compiler.
    QGroupBox *gbxRTChecking = nullptr;
    QCheckBox *chkrtCheckArrayIndices = nullptr;
    QCheckBox *chkrtCheckPointers = nullptr;
    QGroupBox *gbxTypeChecking = nullptr;
    QCheckBox *chkCheckPrototypes = nullptr;
    QCheckBox *chkCheckDemotions = nullptr;
    QCheckBox *chkCheckPointers = nullptr;
    QGroupBox *gbxWarnings = nullptr;
    QRadioButton *rdbAllWarnings = nullptr;
    QRadioButton *rdbSeriousWarnings = nullptr;
    QRadioButton *rdbNoWarnings = nullptr;
    QGroupBox *gbxOptimizations = nullptr;
    QRadioButton *rdbOptimizeSize = nullptr;
    QRadioButton *rdbOptimizeSpeed = nullptr;
    QGroupBox *gbxBIOS = nullptr;
    QRadioButton *rdbRunInFlash = nullptr;
    QRadioButton *rdbRunInRam = nullptr;
    QRadioButton *rdbFlashToRam = nullptr;
    QGroupBox *gbxErrorsWarnings = nullptr;
    TQBSpinEdit *cseMaxErrorsShown = nullptr;
    TQBSpinEdit *cseMaxWarningsShown = nullptr;
    QGroupBox *gboxListFiles = nullptr;
    QCheckBox *chkListFiles = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QCheckBox *cbSeparateID = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    QRadioButton *rdbCompileToTarget = nullptr;
    QRadioButton *rdbCompileToFile = nullptr;
    QRadioButton *rdbCompileToFileUseTarget = nullptr;
    QGroupBox *gboxInternalIO = nullptr;
    QCheckBox *chkInternalIO = nullptr;
    QPushButton *btnAdvanced = nullptr;

    // Debugger.
    QGroupBox *gbxDebugger = nullptr;
    QCheckBox *chkEnableBreakpoints = nullptr;
    QLabel *lblMaxBreakpoints = nullptr;
    TQBSpinEdit *cseMaxBreakpoints = nullptr;
    QCheckBox *chkEnableWatches = nullptr;
    QLabel *lblMaxWatch = nullptr;
    TQBSpinEdit *cseMaxWatch = nullptr;
    QLabel *lblWatchMem = nullptr;
    TQBSpinEdit *cseWatchMem = nullptr;
    QCheckBox *chkEnableAsmSingleStep = nullptr;
    // The tracing controls: made, never shown; their rules run all the same.
    QCheckBox *chkEnableTrace = nullptr;
    QGroupBox *gbxTraceBuffer = nullptr;
    QLabel *lblTraceBufSize = nullptr;
    TQBSpinEdit *cseTraceBufSize = nullptr;
    QCheckBox *chkTraceBufWrap = nullptr;
    QLabel *lblTraceEntries = nullptr;
    QLabel *lblTraceEntriesCount = nullptr;
    QGroupBox *gbxTraceFields = nullptr;
    QCheckBox *chkTraceInfoFunc = nullptr;
    QCheckBox *chkTraceInfoAction = nullptr;
    QCheckBox *chkTraceInfoTime = nullptr;
    QCheckBox *chkTraceInfoFile = nullptr;
    QCheckBox *chkTraceInfoLineCol = nullptr;
    QCheckBox *chkTraceInfoReg = nullptr;
    QGroupBox *gbxTraceLevel = nullptr;
    QRadioButton *rbTraceRST = nullptr;
    QRadioButton *rbTraceFunc = nullptr;
    QGroupBox *gbxTraceSaveToFile = nullptr;
    QCheckBox *chkTraceSaveToFile = nullptr;
    QComboBox *cboTraceSaveToFile = nullptr;
    QPushButton *btnTraceSaveToFile = nullptr;

    // Defines.
    QLabel *lblDefines = nullptr;
    QsciScintilla *DefinesMemo = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    // OK asks FormCloseQuery first; every close runs FormClose.
    void done(int result) override;
    // F1 on the buttons and the memo, "-" into the limits, the memo losing the focus.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildCommunicationsPage();
    void BuildCompilerPage();
    void BuildDebuggerPage();
    void BuildDefinesPage();
    void Connect();
    // Runs `handler` (inside the slot guard) whenever the button is toggled.
    void OnToggled(QAbstractButton *button, void (TfrmEnvOptions::*handler)());
    void FillCommunicationsPage();
    void FillCompilerPage();
    void FillDebuggerPage();
    // Shows a refused entry: its page, its box, the focus on its control.
    void Refuse(const OptionsRefusal &refusal);
    QWidget *ControlOf(OptionsField field) const;
    // The trace store's calls: the first failure of the dialog is shown, later ones not; the
    // values the handlers wrote stay written.
    template <class Call>
    void TraceStore(Call call);
    bool TracingBusy();
    CommPageValues CommValues() const;
    // The steps of OK.
    void ApplyTraceLevel();
    void ApplyCompilerPage();
    void ApplyCommunicationsPage();
    void ApplyCompilerOptions();
    void ApplyMessageLimits();
    void ApplyDebuggerPage();

    BoardParameters *m_board;
    TCOptionsType m_snapshot;
    CompilerOptions m_options;
    bool m_usb_at_show = false;
    std::vector<std::string> m_present_ports; // the machine's ports the list offered
    std::array<QCheckBox *, 6> m_trace_fields{};
    std::optional<TBreakpointSteps> m_breakpoint_steps;
    bool m_shown = false;
    bool m_trace_failure_shown = false;
    bool m_closing = false;  // the memo's losing the focus then is no exit of the user's
};

// The main window's Project Options command: the dialog for `gBoardParameters` and the settings
// base path, shown modally; afterwards the compile mode is reset when the link settings or the
// compile mode changed, the connection is closed when the port changed, and the connection
// panel shows the settings in force.
void actProjectOptionsExecute(QWidget *owner);
