// frmKXEnvOptions: the Project Options dialog.
#include "frmKXEnvOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <Qsci/qsciscintilla.h>

#include <filesystem>
#include <initializer_list>
#include <utility>

#include "core/CC_MISC.h"
#include "controls/QBSpinEdit.h"
#include "core/SEAM_TARGET.h"
#include "StringList.h"
#include "debugger/TcTrace.h"
#include "frmKXAdvCompilerOpt.h"
#include "frmKXDiscovery.h"
#include "frmKXTargetless.h"
#include "shell/guiHosts.h"
#include "core/guiInterface.h"
#include "guiOptionsHost.h"
#include "settings/guiProjects.h"
#include "link/TSerialConnection.h"

namespace {


constexpr const char *kDefaultPortList = "COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8";
constexpr const char *kVerifyOn =
    "Verify the processor.\r\n(Try disabling if you can't get the PC to find the target)";
constexpr const char *kVerifyOff = "Assume a valid target is connected.";

// The six trace fields in the field array's order, with the settings value each writes.
constexpr bool TIdePreferences::*kTraceFieldValues[6] = {
    &TIdePreferences::trace_info_func,     &TIdePreferences::trace_info_action,
    &TIdePreferences::trace_info_time,     &TIdePreferences::trace_info_file,
    &TIdePreferences::trace_info_line_col, &TIdePreferences::trace_info_reg};

QPushButton *button(QWidget *parent, const char *name, const char *caption)
{
    QPushButton *b = named_control<QPushButton>(parent, name, caption);
    b->setAutoDefault(false);
    return b;
}

QLabel *label(QWidget *parent, const char *name, const char *caption, QWidget *buddy = nullptr)
{
    QLabel *l = named_control<QLabel>(parent, name, caption);
    if (buddy)
        l->setBuddy(buddy);
    return l;
}

QGroupBox *group(QWidget *parent, const char *name, const char *caption)
{
    return named_control<QGroupBox>(parent, name, caption);
}

TQBSpinEdit *spin(QWidget *parent, const char *name, int32_t low, int32_t high)
{
    auto *s = named_control<TQBSpinEdit>(parent, name);
    s->SetMinValue(low);
    s->SetMaxValue(high);
    return s;
}

// A drop-down list that offers only its items.
QComboBox *list_combo(QWidget *parent, const char *name, std::initializer_list<const char *> items)
{
    auto *c = named_control<QComboBox>(parent, name);
    for (const char *item : items)
        c->addItem(QString::fromUtf8(item));
    c->setCurrentIndex(-1);
    return c;
}

// The item equal to the text, letter case ignored; -1 when there is none.
int find_item(const QComboBox *combo, const std::string &text)
{
    return combo->findText(qpath(text), Qt::MatchFixedString);
}

void enable_all(std::initializer_list<QWidget *> widgets, bool on)
{
    for (QWidget *w : widgets)
        w->setEnabled(on);
}

// The controls a group box holds directly.
QList<QWidget *> controls_of(QGroupBox *box)
{
    return box->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
}

// A column of widgets in a group box.
void column(QGroupBox *box, std::initializer_list<QWidget *> widgets)
{
    auto *layout = new QVBoxLayout(box);
    for (QWidget *w : widgets)
        layout->addWidget(w);
}

// Rows of label and control in a group box.
QGridLayout *rows(QGroupBox *box, std::initializer_list<std::pair<QWidget *, QWidget *>> pairs)
{
    auto *layout = new QGridLayout(box);
    int row = 0;
    for (const auto &[left, right] : pairs) {
        if (left)
            layout->addWidget(left, row, 0);
        if (right)
            layout->addWidget(right, row, left ? 1 : 0, 1, left ? 1 : 2);
        ++row;
    }
    return layout;
}

} // namespace

TfrmEnvOptions::TfrmEnvOptions(QWidget *owner, BoardParameters *board, std::string base_path)
    : QDialog(owner), m_board(board)
{
    setObjectName("frmEnvOptions");
    setWindowTitle("Project Options");
    pcEnvOptions = named_control<QTabWidget>(this, "pcEnvOptions");
    tsCommunications = named_control<QWidget>(pcEnvOptions, "tsCommunications");
    tsCompiler = named_control<QWidget>(pcEnvOptions, "tsCompiler");
    tsDebugger = named_control<QWidget>(pcEnvOptions, "tsDebugger");
    tsEditor = named_control<QWidget>(pcEnvOptions, "tsEditor");
    tsTargetless = new TTargetlessPage(pcEnvOptions, board, std::move(base_path));
    pcEnvOptions->addTab(tsCommunications, "Communications");
    pcEnvOptions->addTab(tsCompiler, "Compiler");
    pcEnvOptions->addTab(tsDebugger, "Debugger");
    pcEnvOptions->addTab(tsEditor, "Defines");
    pcEnvOptions->addTab(tsTargetless, "Targetless");
    BuildCommunicationsPage();
    BuildCompilerPage();
    BuildDebuggerPage();
    BuildDefinesPage();

    btnOK = named_control<QPushButton>(this, "btnOK", "&OK");
    btnOK->setDefault(true);
    btnCancel = button(this, "btnCancel", "&Cancel");
    btnHelp = button(this, "btnHelp", "&Help");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnHelp);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pcEnvOptions);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Connect();
    FormCreate();
}

TfrmEnvOptions::~TfrmEnvOptions() = default;

// ---- building the pages --------------------------------------------------------------------------

void TfrmEnvOptions::BuildCommunicationsPage()
{
    QWidget *page = tsCommunications;
    GroupBox5 = group(page, "GroupBox5", " Connection Type ");
    rdbUseTCP = named_control<QRadioButton>(GroupBox5, "rdbUseTCP", "Use &TCP/IP Connection");
    rdbUseSerial = named_control<QRadioButton>(GroupBox5, "rdbUseSerial", "Use &Serial Connection");
    column(GroupBox5, {rdbUseTCP, rdbUseSerial});

    gbxTCP = group(page, "gbxTCP", " TCP/IP Options ");
    edtNetworkAddress = named_control<QLineEdit>(gbxTCP, "edtNetworkAddress");
    lblNetworkAddress = label(gbxTCP, "lblNetworkAddress", "Network &Address ", edtNetworkAddress);
    edtControllerName = named_control<QLineEdit>(gbxTCP, "edtControllerName");
    lblControllerName = label(gbxTCP, "lblControllerName", "Controlle&r Name", edtControllerName);
    edtControlPort = named_control<QLineEdit>(gbxTCP, "edtControlPort");
    lblControlPort = label(gbxTCP, "lblControlPort", "Contro&l Port", edtControlPort);
    btnDiscovery = button(gbxTCP, "btnDiscovery", "&Discovery");
    rows(gbxTCP, {{lblNetworkAddress, edtNetworkAddress},
                  {lblControllerName, edtControllerName},
                  {lblControlPort, edtControlPort},
                  {nullptr, btnDiscovery}});

    gbxSerial = group(page, "gbxSerial", " Serial Options ");
    gbxBaudRates = group(gbxSerial, "gbxBaudRates", " Baud Rates ");
    cboSerialBaud = list_combo(gbxBaudRates, "cboSerialBaud",
                               {"2400", "4800", "9600", "19200", "38400", "57600", "115200"});
    lblSerialBaud = label(gbxBaudRates, "lblSerialBaud", "&Debug Baud Rate", cboSerialBaud);
    cboMaxBaud = list_combo(gbxBaudRates, "cboMaxBaud", {"57600", "115200", "230400", "460800"});
    lblMaxBaud = label(gbxBaudRates, "lblMaxBaud", "&Max Download Baud Rate", cboMaxBaud);
    cbDisableBaud = named_control<QCheckBox>(gbxBaudRates, "cbDisableBaud", "Disable Baud &Negotiation");
    rows(gbxBaudRates,
         {{lblSerialBaud, cboSerialBaud}, {lblMaxBaud, cboMaxBaud}, {nullptr, cbDisableBaud}});
    cboSerialPort = named_control<QComboBox>(gbxSerial, "cboSerialPort");
    cboSerialPort->setEditable(true);
    cboSerialPort->setInsertPolicy(QComboBox::NoInsert);
    for (int i = 1; i <= 8; ++i)
        cboSerialPort->addItem(QStringLiteral("COM%1").arg(i));
    lblSerialPort = label(gbxSerial, "lblSerialPort", "Serial &Port", cboSerialPort);
    cboSerialStop = list_combo(gbxSerial, "cboSerialStop", {"1", "2"});
    lblSerialStop = label(gbxSerial, "lblSerialStop", "Stop &Bits", cboSerialStop);
    chkDSR = named_control<QCheckBox>(gbxSerial, "chkDSR", "Enable Processor &verification");
    lblVerify = named_control<QLabel>(gbxSerial, "lblVerify");
    lblVerify->setWordWrap(true);
    cbUseUSB = named_control<QCheckBox>(gbxSerial, "cbUseUSB", "&Use USB to Serial Converter");
    rows(gbxSerial, {{nullptr, gbxBaudRates},
                     {lblSerialPort, cboSerialPort},
                     {lblSerialStop, cboSerialStop},
                     {nullptr, chkDSR},
                     {nullptr, lblVerify},
                     {nullptr, cbUseUSB}});

    // The communication trace goes to a file of the user's state folder, not beside the
    // program: the page says where.
    gbxTcTrace = group(page, "gbxTcTrace", " Communication Trace ");
    chkTcLogging = named_control<QCheckBox>(gbxTcTrace, "chkTcLogging", "Enable TC &Logging");
    lblTcTraceFile = named_control<QLabel>(gbxTcTrace, "lblTcTraceFile");
    lblTcTraceFile->setText(qpath("Written to " + TcTraceFilePath()));
    lblTcTraceFile->setWordWrap(true);
    lblTcTraceFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column(gbxTcTrace, {chkTcLogging, lblTcTraceFile});

    auto *layout = new QGridLayout(page);
    layout->addWidget(GroupBox5, 0, 0);
    layout->addWidget(gbxTCP, 1, 0);
    layout->addWidget(gbxSerial, 0, 1, 2, 1);
    layout->addWidget(gbxTcTrace, 2, 0, 1, 2);
}

void TfrmEnvOptions::BuildCompilerPage()
{
    QWidget *page = tsCompiler;
    gbxRTChecking = group(page, "gbxRTChecking", " &Run-Time Checking ");
    chkrtCheckArrayIndices =
        named_control<QCheckBox>(gbxRTChecking, "chkrtCheckArrayIndices", "Array Indices");
    chkrtCheckPointers = named_control<QCheckBox>(gbxRTChecking, "chkrtCheckPointers", "Pointers");
    column(gbxRTChecking, {chkrtCheckArrayIndices, chkrtCheckPointers});

    gbxTypeChecking = group(page, "gbxTypeChecking", " &Type Checking ");
    chkCheckPrototypes = named_control<QCheckBox>(gbxTypeChecking, "chkCheckPrototypes", "Prototype");
    chkCheckDemotions = named_control<QCheckBox>(gbxTypeChecking, "chkCheckDemotions", "Demotion");
    chkCheckPointers = named_control<QCheckBox>(gbxTypeChecking, "chkCheckPointers", "Pointer");
    column(gbxTypeChecking, {chkCheckPrototypes, chkCheckDemotions, chkCheckPointers});

    gbxWarnings = group(page, "gbxWarnings", " &Warning Reports ");
    rdbAllWarnings = named_control<QRadioButton>(gbxWarnings, "rdbAllWarnings", "All");
    rdbSeriousWarnings = named_control<QRadioButton>(gbxWarnings, "rdbSeriousWarnings", "Serious Only");
    rdbNoWarnings = named_control<QRadioButton>(gbxWarnings, "rdbNoWarnings", "None");
    column(gbxWarnings, {rdbAllWarnings, rdbSeriousWarnings, rdbNoWarnings});

    gbxOptimizations = group(page, "gbxOptimizations", " O&ptimize For ");
    rdbOptimizeSize = named_control<QRadioButton>(gbxOptimizations, "rdbOptimizeSize", "Size");
    rdbOptimizeSpeed = named_control<QRadioButton>(gbxOptimizations, "rdbOptimizeSpeed", "Speed");
    column(gbxOptimizations, {rdbOptimizeSize, rdbOptimizeSpeed});

    gbxBIOS = group(page, "gbxBIOS", " &BIOS Memory Setting ");
    rdbRunInFlash = named_control<QRadioButton>(gbxBIOS, "rdbRunInFlash", "Code and BIOS in Flash");
    rdbRunInRam = named_control<QRadioButton>(gbxBIOS, "rdbRunInRam", "Code and BIOS in RAM");
    rdbFlashToRam = named_control<QRadioButton>(gbxBIOS, "rdbFlashToRam",
                                            "Code and BIOS in Flash, Run in RAM");
    column(gbxBIOS, {rdbRunInFlash, rdbRunInRam, rdbFlashToRam});

    gbxErrorsWarnings = group(page, "gbxErrorsWarnings", " Max &Shown ");
    cseMaxErrorsShown = spin(gbxErrorsWarnings, "cseMaxErrorsShown", 0, 100);
    cseMaxWarningsShown = spin(gbxErrorsWarnings, "cseMaxWarningsShown", 0, 100);
    rows(gbxErrorsWarnings,
         {{label(gbxErrorsWarnings, "lblMaxErrors", "Errors:", cseMaxErrorsShown),
           cseMaxErrorsShown},
          {label(gbxErrorsWarnings, "lblMaxWarnings", "Warnings:", cseMaxWarningsShown),
           cseMaxWarningsShown}});

    gboxListFiles = group(page, "gboxListFiles", " &List Files ");
    chkListFiles = named_control<QCheckBox>(gboxListFiles, "chkListFiles",
                                        "Generate assembly list file for each compile");
    column(gboxListFiles, {chkListFiles});

    GroupBox2 = group(page, "GroupBox2", " Separate &Instruction && Data Space ");
    cbSeparateID = named_control<QCheckBox>(GroupBox2, "cbSeparateID",
                                        "Enable separate instruction and data spaces");
    column(GroupBox2, {cbSeparateID});

    GroupBox3 = group(page, "GroupBox3", " Default Compile &Mode ");
    rdbCompileToTarget =
        named_control<QRadioButton>(GroupBox3, "rdbCompileToTarget", "Compile to attached target");
    rdbCompileToFile = named_control<QRadioButton>(GroupBox3, "rdbCompileToFile",
                                               "Compile defined target configuration to .bin file");
    rdbCompileToFileUseTarget = named_control<QRadioButton>(
        GroupBox3, "rdbCompileToFileUseTarget", "Compile to .bin file using attached target");
    column(GroupBox3, {rdbCompileToTarget, rdbCompileToFile, rdbCompileToFileUseTarget});

    gboxInternalIO = group(page, "gboxInternalIO", " In-line I/O ");
    chkInternalIO =
        named_control<QCheckBox>(gboxInternalIO, "chkInternalIO", " Inline builtin I/O functions");
    column(gboxInternalIO, {chkInternalIO});

    btnAdvanced = button(page, "btnAdvanced", "&Advanced...");

    auto *layout = new QGridLayout(page);
    layout->addWidget(gbxRTChecking, 0, 0);
    layout->addWidget(gbxTypeChecking, 0, 1);
    layout->addWidget(gbxWarnings, 0, 2);
    layout->addWidget(gbxOptimizations, 1, 0);
    layout->addWidget(gbxBIOS, 1, 1, 1, 2);
    layout->addWidget(gbxErrorsWarnings, 2, 0);
    layout->addWidget(GroupBox3, 2, 1, 1, 2);
    layout->addWidget(gboxListFiles, 3, 0, 1, 3);
    layout->addWidget(GroupBox2, 4, 0, 1, 3);
    layout->addWidget(gboxInternalIO, 5, 0, 1, 2);
    layout->addWidget(btnAdvanced, 5, 2);
}

void TfrmEnvOptions::BuildDebuggerPage()
{
    QWidget *page = tsDebugger;
    gbxDebugger = group(page, "gbxDebugger", " Debugger Options ");
    chkEnableBreakpoints =
        named_control<QCheckBox>(gbxDebugger, "chkEnableBreakpoints", "&Enable breakpoints");
    cseMaxBreakpoints = spin(gbxDebugger, "cseMaxBreakpoints", TBreakpointSteps::kLowest,
                             TBreakpointSteps::kHighest);
    cseMaxBreakpoints->SetEditorEnabled(false);
    lblMaxBreakpoints =
        label(gbxDebugger, "lblMaxBreakpoints", "&Max breakpoints:", cseMaxBreakpoints);
    chkEnableWatches =
        named_control<QCheckBox>(gbxDebugger, "chkEnableWatches", "Enable &watch expressions");
    cseMaxWatch = spin(gbxDebugger, "cseMaxWatch", 1, 16);
    lblMaxWatch = label(gbxDebugger, "lblMaxWatch", "Max w&atch expressions:", cseMaxWatch);
    cseWatchMem = spin(gbxDebugger, "cseWatchMem", 32, 4096);
    lblWatchMem = label(gbxDebugger, "lblWatchMem", "Watch memory:", cseWatchMem);
    chkEnableAsmSingleStep = named_control<QCheckBox>(gbxDebugger, "chkEnableAsmSingleStep",
                                                  "Enable instruction level &single stepping");
    rows(gbxDebugger, {{chkEnableBreakpoints, nullptr},
                       {lblMaxBreakpoints, cseMaxBreakpoints},
                       {chkEnableWatches, nullptr},
                       {lblMaxWatch, cseMaxWatch},
                       {lblWatchMem, cseWatchMem},
                       {chkEnableAsmSingleStep, nullptr}});

    // The tracing controls, in a panel that is never shown.
    auto *tracing = named_control<QWidget>(page, "pnlTracing");
    chkEnableTrace = named_control<QCheckBox>(tracing, "chkEnableTrace", "Enable Tracing");
    gbxTraceBuffer = group(tracing, "gbxTraceBuffer", "Trace Buffer (PC)");
    cseTraceBufSize = spin(gbxTraceBuffer, "cseTraceBufSize", 1, 64);
    cseTraceBufSize->SetValue(8);
    lblTraceBufSize = label(gbxTraceBuffer, "lblTraceBufSize", "Size (MBytes):", cseTraceBufSize);
    chkTraceBufWrap = named_control<QCheckBox>(gbxTraceBuffer, "chkTraceBufWrap", "Wrap");
    lblTraceEntries = label(gbxTraceBuffer, "lblTraceEntries", "Entries:");
    lblTraceEntriesCount = label(gbxTraceBuffer, "lblTraceEntriesCount", "64,246,723");
    rows(gbxTraceBuffer, {{lblTraceBufSize, cseTraceBufSize},
                          {nullptr, chkTraceBufWrap},
                          {lblTraceEntries, lblTraceEntriesCount}});
    gbxTraceFields = group(tracing, "gbxTraceFields", "Trace Window Information Fields");
    chkTraceInfoFunc = named_control<QCheckBox>(gbxTraceFields, "chkTraceInfoFunc", "Function name");
    chkTraceInfoAction = named_control<QCheckBox>(gbxTraceFields, "chkTraceInfoAction", "Action");
    chkTraceInfoTime = named_control<QCheckBox>(gbxTraceFields, "chkTraceInfoTime", "Time stamp");
    chkTraceInfoFile = named_control<QCheckBox>(gbxTraceFields, "chkTraceInfoFile", "File name");
    chkTraceInfoLineCol =
        named_control<QCheckBox>(gbxTraceFields, "chkTraceInfoLineCol", "Line/column");
    chkTraceInfoReg = named_control<QCheckBox>(gbxTraceFields, "chkTraceInfoReg", "Register values");
    m_trace_fields = {chkTraceInfoFunc, chkTraceInfoAction,  chkTraceInfoTime,
                      chkTraceInfoFile, chkTraceInfoLineCol, chkTraceInfoReg};
    for (QCheckBox *box : m_trace_fields)
        box->setChecked(true);
    column(gbxTraceFields, {chkTraceInfoFunc, chkTraceInfoAction, chkTraceInfoTime,
                            chkTraceInfoFile, chkTraceInfoLineCol, chkTraceInfoReg});
    gbxTraceLevel = group(tracing, "gbxTraceLevel", "Trace Level");
    rbTraceRST = named_control<QRadioButton>(gbxTraceLevel, "rbTraceRST",
                                         "Full, Line breaks and function entry/exit");
    rbTraceFunc =
        named_control<QRadioButton>(gbxTraceLevel, "rbTraceFunc", "Function entry/exit only");
    rbTraceRST->setChecked(true);
    column(gbxTraceLevel, {rbTraceRST, rbTraceFunc});
    gbxTraceSaveToFile = group(tracing, "gbxTraceSaveToFile", "Saving Trace Window to a File");
    chkTraceSaveToFile =
        named_control<QCheckBox>(gbxTraceSaveToFile, "chkTraceSaveToFile", "Save on program termination");
    cboTraceSaveToFile = named_control<QComboBox>(gbxTraceSaveToFile, "cboTraceSaveToFile");
    cboTraceSaveToFile->setEditable(true);
    cboTraceSaveToFile->setInsertPolicy(QComboBox::NoInsert);
    cboTraceSaveToFile->setEnabled(false);
    btnTraceSaveToFile = button(gbxTraceSaveToFile, "btnTraceSaveToFile", "...");
    btnTraceSaveToFile->setEnabled(false);
    column(gbxTraceSaveToFile, {chkTraceSaveToFile, cboTraceSaveToFile, btnTraceSaveToFile});
    auto *trace_layout = new QVBoxLayout(tracing);
    for (QWidget *w : {static_cast<QWidget *>(chkEnableTrace), static_cast<QWidget *>(gbxTraceBuffer),
                       static_cast<QWidget *>(gbxTraceFields), static_cast<QWidget *>(gbxTraceLevel),
                       static_cast<QWidget *>(gbxTraceSaveToFile)})
        trace_layout->addWidget(w);
    tracing->setVisible(false);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(gbxDebugger);
    layout->addWidget(tracing);
    layout->addStretch();
}

void TfrmEnvOptions::BuildDefinesPage()
{
    DefinesMemo = named_control<QsciScintilla>(tsEditor, "DefinesMemo");
    DefinesMemo->setUtf8(false);
    DefinesMemo->setEolMode(QsciScintilla::EolWindows);
    lblDefines = label(tsEditor, "lblDefines", "&Global Macro Definitions:", DefinesMemo);
    auto *layout = new QVBoxLayout(tsEditor);
    layout->addWidget(lblDefines);
    layout->addWidget(DefinesMemo);
}

void TfrmEnvOptions::OnToggled(QAbstractButton *button, void (TfrmEnvOptions::*handler)())
{
    connect(button, &QAbstractButton::toggled, this,
            [this, handler](bool) { guarded([&] { (this->*handler)(); }); });
}

void TfrmEnvOptions::Connect()
{
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this, [this] { guarded([&] { btnHelpClick(); }); });
    connect(pcEnvOptions, &QTabWidget::currentChanged, this,
            [this](int) { guarded([&] { pcEnvOptionsChange(); }); });

    // A radio button's click is its becoming checked.
    connect(rdbUseTCP, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            guarded([&] { rdbUseTCPClick(); });
    });
    connect(rdbUseSerial, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            guarded([&] { rdbUseSerialClick(); });
    });
    OnToggled(cbDisableBaud, &TfrmEnvOptions::cbDisableBaudClick);
    OnToggled(chkDSR, &TfrmEnvOptions::chkDSRClick);
    connect(btnDiscovery, &QPushButton::clicked, this,
            [this] { guarded([&] { btnDiscoveryClick(); }); });

    connect(btnAdvanced, &QPushButton::clicked, this,
            [this] { guarded([&] { btnAdvancedClick(); }); });
    for (TQBSpinEdit *limit : {cseMaxErrorsShown, cseMaxWarningsShown})
        limit->installEventFilter(this);

    OnToggled(chkEnableBreakpoints, &TfrmEnvOptions::chkEnableBreakpointsClick);
    OnToggled(chkEnableWatches, &TfrmEnvOptions::chkEnableWatchesClick);
    connect(cseMaxBreakpoints, &QLineEdit::textChanged, this,
            [this] { guarded([&] { cseMaxBreakpointsChange(); }); });
    OnToggled(chkEnableTrace, &TfrmEnvOptions::chkEnableTraceClick);
    OnToggled(chkTraceSaveToFile, &TfrmEnvOptions::chkTraceSaveToFileClick);
    connect(cseTraceBufSize, &QLineEdit::textChanged, this,
            [this] { guarded([&] { TraceInfoChange(); }); });
    for (std::size_t i = 0; i < m_trace_fields.size(); ++i) {
        // chkTraceInfoFuncClick and its five kin: the box's value at once, then the rules.
        connect(m_trace_fields[i], &QCheckBox::toggled, this, [this, i](bool on) {
            guarded([&] {
                IdePreferences().*kTraceFieldValues[i] = on;
                TraceInfoChange();
            });
        });
    }
    connect(btnTraceSaveToFile, &QPushButton::clicked, this,
            [this] { guarded([&] { btnTraceSaveToFileClick(); }); });

    for (QWidget *w : {static_cast<QWidget *>(btnOK), static_cast<QWidget *>(btnCancel),
                       static_cast<QWidget *>(btnHelp), static_cast<QWidget *>(DefinesMemo)})
        w->installEventFilter(this);
}

// ---- creation and showing --------------------------------------------------------------------------

void TfrmEnvOptions::FormCreate()
{
    TIdePreferences &p = IdePreferences();
    m_options = options_compiler().GetCompilerOptions();
    m_snapshot = target_operations().GetCommSettings();

    FillCommunicationsPage();

    // The compiler's values overrule what the settings object held for these nine flags.
    const CompilerOptions &o = m_options;
    p.warn_none = o.warning_level == 0;
    p.warn_serious = o.warning_level == 1;
    p.warn_all = o.warning_level == 2;
    p.rtc_indices = o.rtc_indices != 0;
    p.rtc_pointers = o.rtc_pointers != 0;
    p.optimize_size = o.optimize_size != 0;
    p.function_prototypes = o.type_check.prototypes != 0;
    p.pointer_checks = o.type_check.pointers != 0;
    p.type_demotion = o.type_check.demotion != 0;
    FillCompilerPage();

    FillDebuggerPage();
    if (gProject)
        DefinesMemo->setText(qpath(gProject->DefinesText()));
    // The watch memory size is never shown; the single-step box takes its place.
    lblWatchMem->hide();
    cseWatchMem->hide();
}

void TfrmEnvOptions::FillCommunicationsPage()
{
    const TIdePreferences &p = IdePreferences();
    cbDisableBaudClick();
    rdbUseTCP->setChecked(p.use_tcpip);
    edtNetworkAddress->setText(qpath(p.network_address));
    edtControllerName->setText(qpath(p.tcp_name));
    edtControlPort->setText(qpath(p.tcp_port));
    rdbUseSerial->setChecked(!p.use_tcpip);
    cbDisableBaud->setChecked(p.disable_baud_negotiation);
    cbUseUSB->setChecked(p.use_usb_serial);

    const std::optional<TStringList> ports = TStringList::from_comma_text(p.serial_port_list);
    const TStringList items = ports ? *ports : *TStringList::from_comma_text(kDefaultPortList);
    cboSerialPort->clear();
    // The list the project keeps ("COM"+number among them), then the machine's serial devices.
    for (const std::string &port : items.lines)
        cboSerialPort->addItem(qpath(port));
    m_present_ports.clear();
    for (const std::string &port : SerialPortsPresent()) {
        if (find_item(cboSerialPort, port) >= 0)
            continue;
        m_present_ports.push_back(port);
        cboSerialPort->addItem(qpath(port));
    }
    // A port the list lacks is still shown, so that OK keeps it.
    cboSerialPort->setCurrentIndex(find_item(cboSerialPort, p.serial_port));
    cboSerialPort->setEditText(qpath(p.serial_port));
    cboSerialBaud->setCurrentIndex(find_item(cboSerialBaud, p.bios_baud_rate));
    cboMaxBaud->setCurrentIndex(find_item(cboMaxBaud, p.max_baud_rate));
    const int stop = cboSerialStop->findText(qpath(p.stop_bits));
    cboSerialStop->setCurrentIndex(stop < 0 ? 0 : stop);
    chkTcLogging->setChecked(p.tc_logging);
}

void TfrmEnvOptions::FillCompilerPage()
{
    const TIdePreferences &p = IdePreferences();
    chkrtCheckArrayIndices->setChecked(p.rtc_indices);
    chkrtCheckPointers->setChecked(p.rtc_pointers);
    chkCheckPrototypes->setChecked(p.function_prototypes);
    chkCheckDemotions->setChecked(p.type_demotion);
    chkCheckPointers->setChecked(p.pointer_checks);
    rdbAllWarnings->setChecked(p.warn_all);
    rdbSeriousWarnings->setChecked(p.warn_serious);
    rdbNoWarnings->setChecked(p.warn_none);
    rdbOptimizeSize->setChecked(p.optimize_size);
    rdbOptimizeSpeed->setChecked(!p.optimize_size);
    rdbRunInFlash->setChecked(p.output_mode == 0);
    rdbRunInRam->setChecked(p.output_mode == 1);
    rdbFlashToRam->setChecked(p.output_mode == 2);
    rdbCompileToTarget->setChecked(p.compile_to_target);
    rdbCompileToFile->setChecked(p.compile_targetless_to_bin);
    rdbCompileToFileUseTarget->setChecked(p.compile_to_bin_with_target);
}

void TfrmEnvOptions::FillDebuggerPage()
{
    const TIdePreferences &p = IdePreferences();
    chkEnableBreakpoints->setChecked(p.enable_breakpoints);
    chkEnableWatches->setChecked(p.enable_watch_expressions);
    chkEnableAsmSingleStep->setChecked(p.asm_single_step);
    cseMaxWatch->SetValue(p.max_watches);
    cseWatchMem->SetValue(p.watch_memory);
    chkEnableTrace->setChecked(p.enable_tracing);
    cseTraceBufSize->SetValue(p.trace_buf_size);
    chkTraceBufWrap->setChecked(p.enable_trace_buf_wrap);
    const bool fields[6] = {p.trace_info_func, p.trace_info_action,   p.trace_info_time,
                            p.trace_info_file, p.trace_info_line_col, p.trace_info_reg};
    for (std::size_t i = 0; i < m_trace_fields.size(); ++i)
        m_trace_fields[i]->setChecked(fields[i]);
    rbTraceRST->setChecked(p.enable_trace_rst);
    rbTraceFunc->setChecked(!p.enable_trace_rst);
    chkTraceSaveToFile->setChecked(p.enable_trace_auto_save);
    cboTraceSaveToFile->setEditText(qpath(p.trace_auto_save_file));
    chkEnableBreakpointsClick();
    chkEnableWatchesClick();

    m_breakpoint_steps.emplace(IdePreferences().max_breakpoints);
    {
        const QSignalBlocker detached(cseMaxBreakpoints);
        cseMaxBreakpoints->setText(QString::number(m_breakpoint_steps->Value()));
    }
    cseMaxBreakpointsChange();
}

void TfrmEnvOptions::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    guarded([&] { FormShow(); });
}

void TfrmEnvOptions::FormShow()
{
    TIdePreferences &p = IdePreferences();
    tsTargetless->Startup();

    const int page = p.env_options_pg >= 0 && p.env_options_pg < pcEnvOptions->count()
                         ? p.env_options_pg
                         : int(kCommunications);
    {
        const QSignalBlocker quiet(pcEnvOptions);
        pcEnvOptions->setCurrentIndex(page);
    }
    pcEnvOptionsChange();

    chkDSR->setChecked(p.verify_dsr);
    chkDSRClick();

    TOptionsCompiler &compiler = options_compiler();
    cseMaxErrorsShown->SetValue(compiler.MaxErrorsShown());
    cseMaxWarningsShown->SetValue(compiler.MaxWarningsShown());
    const CompilerOptions now = compiler.GetCompilerOptions();
    cbSeparateID->setChecked(now.separate_id != 0);
    chkListFiles->setChecked(now.list_files != 0);
    chkInternalIO->setChecked(now.inline_io != 0);

    uint8_t usb = 0;
    uint32_t delay = 0;
    target_operations().TcGetUsbSerialDelay(usb, delay);
    m_usb_at_show = usb != 0;
    cbUseUSB->setChecked(m_usb_at_show);

    chkTraceSaveToFileClick();
    chkEnableTraceClick();
    TraceInfoChange();
}

void TfrmEnvOptions::pcEnvOptionsChange()
{
    if (pcEnvOptions->currentWidget() == tsTargetless)
        tsTargetless->ShowBoardSelection();
}

void TfrmEnvOptions::DefinesMemoExit()
{
    if (gProject && !gProject->CheckDefines(spath(DefinesMemo->text())))
        DefinesMemo->setFocus();
}

// ---- the Communications page ----------------------------------------------------------------------

void TfrmEnvOptions::EnableTcpGroup(bool on)
{
    for (QWidget *w : controls_of(gbxTCP))
        w->setEnabled(on);
    if (on)
        rdbUseTCP->setChecked(true);
    else
        rdbUseSerial->setChecked(true);
}

void TfrmEnvOptions::EnableSerialGroup(bool on)
{
    for (QGroupBox *box : {gbxSerial, gbxBaudRates})
        for (QWidget *w : controls_of(box))
            if (w != rdbUseSerial)
                w->setEnabled(on);
    if (on)
        rdbUseSerial->setChecked(true);
    else
        rdbUseTCP->setChecked(true);
}

void TfrmEnvOptions::rdbUseTCPClick()
{
    EnableTcpGroup(rdbUseTCP->isChecked());
    EnableSerialGroup(!rdbUseTCP->isChecked());
}

void TfrmEnvOptions::rdbUseSerialClick()
{
    EnableSerialGroup(rdbUseSerial->isChecked());
    EnableTcpGroup(!rdbUseSerial->isChecked());
}

void TfrmEnvOptions::cbDisableBaudClick()
{
    enable_all({lblMaxBaud, cboMaxBaud}, !cbDisableBaud->isChecked());
}

void TfrmEnvOptions::chkDSRClick()
{
    lblVerify->setText(QString::fromUtf8(chkDSR->isChecked() ? kVerifyOn : kVerifyOff));
}

void TfrmEnvOptions::btnDiscoveryClick()
{
    TfrmDiscovery discovery(this);
    if (options_shell().ExecModal(discovery) != QDialog::Accepted)
        return;
    edtNetworkAddress->setText(qpath(discovery.ResultAddress()));
    edtControllerName->setText(qpath(discovery.ResultName()));
    edtControlPort->setText(qpath(discovery.ResultPort()));
}

CommPageValues TfrmEnvOptions::CommValues() const
{
    CommPageValues v;
    v.use_tcp = rdbUseTCP->isChecked();
    v.network_address = spath(edtNetworkAddress->text());
    v.controller_name = spath(edtControllerName->text());
    v.control_port = spath(edtControlPort->text());
    // A device path names the line and the COM number stays as it was; a text that is neither
    // (passed only while TCP/IP is chosen) leaves the serial port as it was.
    const std::string port = spath(cboSerialPort->currentText());
    const std::optional<int32_t> number = com_port_number(port);
    if (const std::optional<std::string> device = serial_device_path(port)) {
        v.device = *device;
        v.port_number = std::to_string(m_snapshot.com_port);
    } else if (number) {
        v.port_number = std::to_string(*number);
    } else {
        v.device = comm_text(m_snapshot.serial_device);
        v.port_number = std::to_string(m_snapshot.com_port);
    }
    v.debug_baud = spath(cboSerialBaud->currentText());
    v.max_baud = spath(cboMaxBaud->currentText());
    v.stop_bits = spath(cboSerialStop->currentText());
    v.verify_dsr = chkDSR->isChecked();
    v.disable_baud = cbDisableBaud->isChecked();
    v.use_usb = cbUseUSB->isChecked();
    return v;
}

bool TfrmEnvOptions::HaveCommSettingsChanged(const std::string &port_number) const
{
    CommPageValues v = CommValues();
    v.port_number = port_number;
    return comm_settings_changed(v, m_snapshot, m_usb_at_show);
}

bool TfrmEnvOptions::HasPortChanged(const std::string &port_number) const
{
    return comm_port_changed(port_number, m_snapshot, CommValues().device);
}

// ---- the Debugger page --------------------------------------------------------------------------

void TfrmEnvOptions::chkEnableBreakpointsClick()
{
    enable_all({lblMaxBreakpoints, cseMaxBreakpoints}, chkEnableBreakpoints->isChecked());
}

void TfrmEnvOptions::chkEnableWatchesClick()
{
    enable_all({lblMaxWatch, cseMaxWatch, lblWatchMem, cseWatchMem},
               chkEnableWatches->isChecked());
}

void TfrmEnvOptions::cseMaxBreakpointsChange()
{
    if (!m_breakpoint_steps)
        return;
    const QSignalBlocker detached(cseMaxBreakpoints);
    const int32_t shown = cseMaxBreakpoints->GetValue();
    cseMaxBreakpoints->setText(QString::number(m_breakpoint_steps->Change(shown)));
}

template <class Call>
void TfrmEnvOptions::TraceStore(Call call)
{
    try {
        call();
    } catch (xErr &e) {
        if (m_trace_failure_shown)
            return;
        m_trace_failure_shown = true;
        e.ShowError();
    }
}

bool TfrmEnvOptions::TracingBusy()
{
    return options_shell().TraceWindowExists() || IdePreferences().tracing;
}

// The store changes nothing while tracing is off or runs on the target, so it is asked only
// when it would listen.
void TfrmEnvOptions::chkEnableTraceClick()
{
    TIdePreferences &p = IdePreferences();
    chkEnableTrace->setEnabled(options_shell().RunState() == 0);
    const bool on = chkEnableTrace->isChecked();
    const bool busy = TracingBusy();
    const bool save = chkTraceSaveToFile->isChecked();
    enable_all({gbxTraceBuffer, chkTraceBufWrap, lblTraceEntries, lblTraceEntriesCount,
                gbxTraceFields, gbxTraceLevel, rbTraceRST, rbTraceFunc, gbxTraceSaveToFile,
                chkTraceSaveToFile},
               on);
    enable_all({lblTraceBufSize, cseTraceBufSize}, on && !busy);
    for (QCheckBox *box : m_trace_fields)
        box->setEnabled(on && !busy);
    enable_all({cboTraceSaveToFile, btnTraceSaveToFile}, on && save);
    p.enable_tracing = on;
    TraceStore([&] {
        if (p.enable_tracing && !p.tracing)
            options_trace().SetTraceOptions();
    });
}

void TfrmEnvOptions::chkTraceSaveToFileClick()
{
    enable_all({cboTraceSaveToFile, btnTraceSaveToFile}, chkTraceSaveToFile->isChecked());
}

void TfrmEnvOptions::TraceInfoChange()
{
    TIdePreferences &p = IdePreferences();
    if (chkEnableTrace->isChecked() && !TracingBusy()) {
        int checked = 0;
        QCheckBox *last_checked = nullptr;
        QCheckBox *last_disabled = nullptr;
        for (QCheckBox *box : m_trace_fields) {
            if (!box->isChecked())
                continue;
            ++checked;
            last_checked = box;
            if (!box->isEnabledTo(gbxTraceFields))
                last_disabled = box;
        }
        // The last field left cannot be unchecked.
        if (checked == 1)
            last_checked->setEnabled(false);
        else if (last_disabled)
            last_disabled->setEnabled(true);
    }
    p.trace_buf_size = cseTraceBufSize->GetValue();
    std::optional<uint32_t> capacity;
    TraceStore([&] {
        if (p.enable_tracing && !p.tracing)
            options_trace().SetTraceOptions();
        capacity = options_trace().Capacity();
    });
    lblTraceEntriesCount->setText(capacity ? qpath(group_thousands(*capacity)) : QString());
}

void TfrmEnvOptions::btnTraceSaveToFileClick()
{
    TIdePreferences &p = IdePreferences();
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.directory = p.trace_save_dir;
    request.file_name = p.trace_save_file;
    request.filter = p.trace_save_filter;
    request.multi_select = false;
    request.must_exist = false;
    std::unique_ptr<TFileDialog> dialog = make_file_dialog(request);
    if (!dialog->Execute() || dialog->FileName().empty())
        return;
    const std::string chosen = dialog->FileName();
    cboTraceSaveToFile->setEditText(qpath(chosen));
    if (cboTraceSaveToFile->findText(qpath(chosen), Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        cboTraceSaveToFile->insertItem(0, qpath(chosen));
    const std::filesystem::path path(normalize_separators(chosen));
    p.trace_save_dir = path.parent_path().string();
    p.trace_save_file = path.filename().string();
}

void TfrmEnvOptions::btnHelpClick()
{
    options_shell().ShowHelpContext(this, env_options_help_context(pcEnvOptions->currentIndex()));
}

void TfrmEnvOptions::btnAdvancedClick()
{
    TfrmAdvCompilerOpt advanced(this);
    if (rdbCompileToTarget->isChecked()) {
        advanced.chkIncludeBIOS->setChecked(true);
        advanced.chkIncludeBIOS->setEnabled(false);
    } else if (rdbCompileToFile->isChecked()) {
        advanced.chkIncludeBIOS->setEnabled(true);
    }
    options_shell().ExecModal(advanced);
}

bool TfrmEnvOptions::eventFilter(QObject *watched, QEvent *event)
{
    bool swallow = false;
    guarded([&] {
        const bool help_key_owner = watched == btnOK || watched == btnCancel ||
                                    watched == btnHelp || watched == DefinesMemo;
        if (event->type() == QEvent::KeyRelease && help_key_owner) {
            const auto *key = static_cast<QKeyEvent *>(event);
            const Qt::KeyboardModifiers held =
                key->modifiers() & (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier);
            if (key->key() == Qt::Key_F1 && held == Qt::NoModifier)
                btnHelpClick();
        } else if (event->type() == QEvent::KeyPress &&
                   (watched == cseMaxErrorsShown || watched == cseMaxWarningsShown)) {
            // cseMaxShownKeyPress: a typed "-" is swallowed.
            swallow = static_cast<QKeyEvent *>(event)->text() == QLatin1String("-");
        } else if (event->type() == QEvent::FocusOut && watched == DefinesMemo && !m_closing) {
            const Qt::FocusReason why = static_cast<QFocusEvent *>(event)->reason();
            if (why != Qt::ActiveWindowFocusReason && why != Qt::PopupFocusReason)
                DefinesMemoExit();
        }
    });
    return swallow || QDialog::eventFilter(watched, event);
}

// ---- OK ------------------------------------------------------------------------------------------

QWidget *TfrmEnvOptions::ControlOf(OptionsField field) const
{
    switch (field) {
    case OptionsField::NetworkAddress:
        return edtNetworkAddress;
    case OptionsField::ControlPort:
        return edtControlPort;
    case OptionsField::ControllerName:
        return edtControllerName;
    case OptionsField::SerialPort:
        return cboSerialPort;
    case OptionsField::DebugBaud:
        return cboSerialBaud;
    case OptionsField::MaxBaud:
        return cboMaxBaud;
    case OptionsField::MaxErrors:
        return cseMaxErrorsShown;
    case OptionsField::MaxWarnings:
        return cseMaxWarningsShown;
    }
    return nullptr;
}

// An entry of the connection type that is not chosen cannot take the focus: the radio button
// that makes it editable takes it instead.
void TfrmEnvOptions::Refuse(const OptionsRefusal &refusal)
{
    QWidget *control = ControlOf(refusal.field);
    if (!control->isEnabled())
        control = gbxTCP->isAncestorOf(control) ? static_cast<QWidget *>(rdbUseTCP)
                                                : static_cast<QWidget *>(rdbUseSerial);
    const bool compiler_page =
        refusal.field == OptionsField::MaxErrors || refusal.field == OptionsField::MaxWarnings;
    pcEnvOptions->setCurrentWidget(compiler_page ? tsCompiler : tsCommunications);
    const bool product_box = refusal.caption == GetResString(16);
    ShowAppMessageBox(refusal.text, refusal.caption, product_box ? kMbOk : kMbOk | kMbIconError);
    control->setFocus();
}

// Every entry OK converts is checked here, before anything is applied: a refused entry leaves
// the whole dialog as it was, never half of it applied.
bool TfrmEnvOptions::FormCloseQuery()
{
    const CommPageValues comm = CommValues();
    if (const auto refused = check_tcp_entries(comm.use_tcp, comm.network_address,
                                               comm.control_port, comm.controller_name)) {
        Refuse(*refused);
        return false;
    }
    bool permitted = true;
    if (const auto refused = check_message_limits(spath(cseMaxErrorsShown->text()),
                                                  spath(cseMaxWarningsShown->text()))) {
        Refuse(*refused);
        permitted = false;
    }
    std::string port_text = spath(cboSerialPort->currentText());
    if (const auto refused = check_serial_port(comm.use_tcp, port_text)) {
        Refuse(*refused);
        permitted = false;
    }
    // The disabled box is not looked at while TCP/IP is chosen; what it holds that the serial
    // link could not take leaves the serial port as it was.
    if (comm.use_tcp && check_serial_port(false, port_text))
        port_text = serial_port_text(m_snapshot);
    if (!permitted)
        return false;
    if (const auto refused = check_baud_rates(comm.debug_baud, comm.max_baud)) {
        Refuse(*refused);
        return false;
    }
    BoardParameters probe = *m_board;
    if (const auto refused = tsTargetless->Model().BoardParametersResult(probe)) {
        pcEnvOptions->setCurrentWidget(tsTargetless);
        ShowAppMessageBox(refused->text, refused->caption, refused->flags);
        return false;
    }
    if (serial_device_path(port_text))
        cboSerialPort->setEditText(qpath(*serial_device_path(port_text)));
    else if (const std::optional<int32_t> number = com_port_number(port_text))
        cboSerialPort->setEditText(QStringLiteral("COM%1").arg(*number));
    return true;
}

void TfrmEnvOptions::done(int result)
{
    const auto close = [this](int r) {
        m_closing = true;
        FormClose(r);
    };
    if (option_dialog_closes(result, [this] { return FormCloseQuery(); }, close))
        QDialog::done(result);
}

// Each step runs in the guard of its own: a neighbour that fails is reported and the steps
// after it still run.
void TfrmEnvOptions::FormClose(int result)
{
    if (result == QDialog::Accepted) {
        guarded([&] { ApplyTraceLevel(); });
        guarded([&] { (void)tsTargetless->FillBoardParameters(); });
        guarded([&] {
            const TIdePreferences &p = IdePreferences();
            CompileModeChanged = rdbCompileToTarget->isChecked() != p.compile_to_target ||
                                 rdbCompileToFile->isChecked() != p.compile_targetless_to_bin ||
                                 rdbCompileToFileUseTarget->isChecked() !=
                                     p.compile_to_bin_with_target;
        });
        guarded([&] { ApplyCompilerPage(); });
        guarded([&] { ApplyCommunicationsPage(); });
        guarded([&] { ApplyCompilerOptions(); });
        guarded([&] { ApplyMessageLimits(); });
        guarded([&] { ApplyDebuggerPage(); });
        if (gProject) {
            guarded([&] { (void)gProject->WriteComm(); });
            guarded([&] { gProject->WriteCompilerOptions(); });
            guarded([&] { gProject->WriteDebugOptions(); });
            guarded([&] { gProject->SetDefines(spath(DefinesMemo->text())); });
        }
        guarded([&] { (void)tsTargetless->SaveTargetlessLists(); });
    }
    IdePreferences().env_options_pg = pcEnvOptions->currentIndex();
}

void TfrmEnvOptions::ApplyTraceLevel()
{
    TIdePreferences &p = IdePreferences();
    const bool rst = rbTraceRST->isChecked();
    const bool functions = rbTraceFunc->isChecked();
    if (rst == p.enable_trace_rst && functions == p.enable_trace_functions)
        return;
    p.enable_trace_rst = rst;
    p.enable_trace_functions = rst || functions;
    if (options_shell().RunState() != 0 && p.enable_tracing)
        options_trace().SendTraceFlags();
}

void TfrmEnvOptions::ApplyCompilerPage()
{
    TIdePreferences &p = IdePreferences();
    p.rtc_indices = chkrtCheckArrayIndices->isChecked();
    p.rtc_pointers = chkrtCheckPointers->isChecked();
    p.output_mode = rdbRunInFlash->isChecked() ? 0 : rdbRunInRam->isChecked() ? 1 : 2;
    p.warn_all = rdbAllWarnings->isChecked();
    p.warn_serious = rdbSeriousWarnings->isChecked();
    p.warn_none = rdbNoWarnings->isChecked();
    p.function_prototypes = chkCheckPrototypes->isChecked();
    p.pointer_checks = chkCheckPointers->isChecked();
    p.type_demotion = chkCheckDemotions->isChecked();
    p.optimize_size = rdbOptimizeSize->isChecked();
    p.compile_to_target = rdbCompileToTarget->isChecked();
    p.compile_targetless_to_bin = rdbCompileToFile->isChecked();
    p.compile_to_bin_with_target = rdbCompileToFileUseTarget->isChecked();
}

void TfrmEnvOptions::ApplyCommunicationsPage()
{
    TIdePreferences &p = IdePreferences();
    p.disable_baud_negotiation = cbDisableBaud->isChecked();
    p.use_usb_serial = cbUseUSB->isChecked();
    p.use_tcpip = rdbUseTCP->isChecked();
    p.verify_dsr = chkDSR->isChecked();
    p.network_address = spath(edtNetworkAddress->text());
    p.tcp_name = spath(edtControllerName->text());
    p.tcp_port = spath(edtControlPort->text());
    p.serial_port = spath(cboSerialPort->currentText());
    p.bios_baud_rate = spath(cboSerialBaud->currentText());
    p.max_baud_rate = spath(cboMaxBaud->currentText());
    p.stop_bits = spath(cboSerialStop->currentText());
    p.tc_logging = chkTcLogging->isChecked();

    // The project's list keeps the ports typed in, not the ones the machine offered.
    if (find_item(cboSerialPort, p.serial_port) < 0) {
        cboSerialPort->insertItem(0, qpath(p.serial_port));
        TStringList items;
        for (int i = 0; i < cboSerialPort->count(); ++i) {
            const std::string item = spath(cboSerialPort->itemText(i));
            if (std::find(m_present_ports.begin(), m_present_ports.end(), item) ==
                m_present_ports.end())
                items.lines.push_back(item);
        }
        p.serial_port_list = items.comma_text();
    }

    const std::string port_number = CommValues().port_number;
    CommSettingsChanged = HaveCommSettingsChanged(port_number);
    PortChanged = HasPortChanged(port_number);
    if (!CommSettingsChanged)
        return;
    TargetOperations &link = target_operations();
    m_snapshot = link.GetCommSettings();
    CommPageValues page = CommValues();
    page.port_number = port_number;
    const TCOptionsType settings = comm_settings_from_page(page, m_snapshot);
    link.SetCommSettings(settings);
    std::array<uint32_t, 3> rates = link.GetLoaderBaudRates();
    rates[2] = settings.baud_rate;
    link.SetLoaderBaudRates(rates);
    uint8_t usb = 0;
    uint32_t delay = 0;
    link.TcGetUsbSerialDelay(usb, delay);
    link.TcSetUsbSerialDelay(p.use_usb_serial ? 1 : 0, delay);
}

void TfrmEnvOptions::ApplyCompilerOptions()
{
    const TIdePreferences &p = IdePreferences();
    CompilerOptions o = m_options;
    o.warning_level = p.warn_all ? 2 : p.warn_serious ? 1 : 0;
    o.rtc_indices = p.rtc_indices ? 1 : 0;
    o.rtc_pointers = p.rtc_pointers ? 1 : 0;
    o.optimize_size = p.optimize_size ? 1 : 0;
    o.separate_id = cbSeparateID->isChecked() ? 1 : 0;
    o.list_files = chkListFiles->isChecked() ? 1 : 0;
    o.inline_io = chkInternalIO->isChecked() ? 1 : 0;
    o.type_check.prototypes = p.function_prototypes ? 1 : 0;
    o.type_check.pointers = p.pointer_checks ? 1 : 0;
    o.type_check.demotion = p.type_demotion ? 1 : 0;
    options_compiler().SetCompilerOptions(o);
}

void TfrmEnvOptions::ApplyMessageLimits()
{
    const int errors = static_cast<int>(whole_integer(spath(cseMaxErrorsShown->text())).value_or(0));
    const int warnings =
        static_cast<int>(whole_integer(spath(cseMaxWarningsShown->text())).value_or(0));
    options_compiler().SetMessageLimits(split_message_limits(errors, warnings));
}

void TfrmEnvOptions::ApplyDebuggerPage()
{
    TIdePreferences &p = IdePreferences();
    p.max_breakpoints = cseMaxBreakpoints->GetValue();
    p.enable_breakpoints = chkEnableBreakpoints->isChecked();
    p.asm_single_step = chkEnableAsmSingleStep->isChecked();
    p.enable_trace_buf_wrap = chkTraceBufWrap->isChecked();
    for (std::size_t i = 0; i < m_trace_fields.size(); ++i)
        p.*kTraceFieldValues[i] = m_trace_fields[i]->isChecked();
    p.enable_trace_auto_save = chkTraceSaveToFile->isChecked();
    p.trace_auto_save_file = spath(cboTraceSaveToFile->currentText());
    p.enable_watch_expressions = chkEnableWatches->isChecked();
    if (p.enable_watch_expressions) {
        p.max_watches = cseMaxWatch->GetValue();
        p.watch_memory = cseWatchMem->GetValue();
    } else {
        p.watch_memory = 0;
    }
}

// ---- the command ---------------------------------------------------------------------------------

void actProjectOptionsExecute(QWidget *owner)
{
    TfrmEnvOptions dialog(owner, &gBoardParameters, kSettingsBasePath);
    options_shell().ExecModal(dialog);
    TOptionsCompiler &compiler = options_compiler();
    if (dialog.CommSettingsChanged)
        compiler.SetCompileMode(1);
    if (dialog.PortChanged)
        guarded([] { options_shell().CloseConnection(); });
    if (dialog.CompileModeChanged)
        compiler.SetCompileMode(1);
    options_shell().RefreshConnectionPanel();
}
