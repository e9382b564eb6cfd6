// The Project Options dialog driven as the user drives it: what OK refuses and where the focus
// goes, what OK applies and in which order, what Cancel leaves, and the rules of the
// Communications, Compiler and Debugger pages.
#include "OptionsDoubles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <Qsci/qsciscintilla.h>

#include <algorithm>
#include <memory>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "driver/Temporaryglobals.h"
#include "settings/guiTCBoards.h"
#include "IniFile.h"
#include "controls/QBSpinEdit.h"
#include "debugger/TcTrace.h"
#include "link/TcTargetOperations.h"
#include "link/guiCompilerInterface.h"
#include "link/TC.h"
#include "options/frmKXEnvOptions.h"
#include "options/frmKXTargetless.h"
#include "settings/guiEnvironment.h"

namespace {

class EnvOptions : public OptionsTest {
protected:
    std::unique_ptr<TfrmEnvOptions> dialog;

    // The dialog made and shown as the main window's command shows it.
    TfrmEnvOptions &Open()
    {
        dialog = std::make_unique<TfrmEnvOptions>(nullptr, &gBoardParameters,
                                                  kSettingsBasePath);
        dialog->show();
        journal.clear();
        return *dialog;
    }
    void TearDown() override
    {
        dialog.reset();
        OptionsTest::TearDown();
    }
    // The control that has the dialog's focus, or one of its own parts.
    bool Focused(QWidget *control) const
    {
        QWidget *focus = dialog->focusWidget();
        return focus && (focus == control || control->isAncestorOf(focus));
    }
    bool Journaled(const std::string &call) const
    {
        return std::find(journal.begin(), journal.end(), call) != journal.end();
    }
};

// ---- what OK refuses -------------------------------------------------------------------------------

struct Refusal {
    const char *name;
    void (*enter)(TfrmEnvOptions &);
    std::vector<std::string> boxes;
    const char *focus;  // the control's object name
    int page;
};
void PrintTo(const Refusal &c, std::ostream *out) { *out << c.name; }

void tcp(TfrmEnvOptions &d, const char *address, const char *port)
{
    d.rdbUseTCP->click();
    d.edtNetworkAddress->setText(QString::fromUtf8(address));
    d.edtControlPort->setText(QString::fromUtf8(port));
}

const Refusal kRefusals[] = {
    {"EmptyAddress", [](TfrmEnvOptions &d) { tcp(d, "", "4244"); },
     {"Error: Network address not specified"}, "edtNetworkAddress", 0},
    {"EmptyControlPort", [](TfrmEnvOptions &d) { tcp(d, "10.0.0.1", ""); },
     {"Error: Control port not specified"}, "edtControlPort", 0},
    {"ControlPortLetters", [](TfrmEnvOptions &d) { tcp(d, "10.0.0.1", "abc"); },
     {"Error: The control port must be a number from 1 to 65535"}, "edtControlPort", 0},
    {"ControlPortBeyond16Bits", [](TfrmEnvOptions &d) { tcp(d, "10.0.0.1", "70000"); },
     {"Error: The control port must be a number from 1 to 65535"}, "edtControlPort", 0},
    {"AddressLongerThanItsField", [](TfrmEnvOptions &d) { tcp(d, "192.168.100.2001", "4244"); },
     {"Error: The network address is too long: at most 15 characters"}, "edtNetworkAddress", 0},
    {"PastedLineBreak", [](TfrmEnvOptions &d) { tcp(d, "10.0.0.1\n", "4244"); },
     {"Error: The network address may hold no line break or other control character"},
     "edtNetworkAddress", 0},
    // Typed over TCP/IP, then serial chosen: the focus goes where the entry can be reached.
    {"ControllerNameTooLong",
     [](TfrmEnvOptions &d) {
         d.rdbUseTCP->click();
         d.edtControllerName->setText(QString(256, 'n'));
         d.rdbUseSerial->click();
     },
     {"Error: The controller name is too long: at most 255 characters"}, "rdbUseTCP", 0},
    {"ErrorsZero", [](TfrmEnvOptions &d) { d.cseMaxErrorsShown->setText("0"); },
     {"Korvex: Enter Errors from 1 to 100"}, "cseMaxErrorsShown", 1},
    // The warnings are not looked at while the errors are refused.
    {"Errors101AndWarningsOne",
     [](TfrmEnvOptions &d) {
         d.cseMaxErrorsShown->setText("101");
         d.cseMaxWarningsShown->setText("1");
     },
     {"Korvex: Enter Errors from 1 to 100"}, "cseMaxErrorsShown", 1},
    {"ErrorsNoNumber", [](TfrmEnvOptions &d) { d.cseMaxErrorsShown->setText("+"); },
     {"Korvex: Enter Errors from 1 to 100"}, "cseMaxErrorsShown", 1},
    {"WarningsOne", [](TfrmEnvOptions &d) { d.cseMaxWarningsShown->setText("1"); },
     {"Korvex: Enter Warnings from 2 to 100"}, "cseMaxWarningsShown", 1},
    {"WarningsEmpty", [](TfrmEnvOptions &d) { d.cseMaxWarningsShown->setText(""); },
     {"Korvex: Enter Warnings from 2 to 100"}, "cseMaxWarningsShown", 1},
    {"PortLetter", [](TfrmEnvOptions &d) { d.cboSerialPort->setEditText("COMx"); },
     {"Error: Expecting \"COM\"+number or a device path"}, "cboSerialPort", 0},
    {"PortZero", [](TfrmEnvOptions &d) { d.cboSerialPort->setEditText("COM0"); },
     {"Error: Expecting \"COM\"+number or a device path"}, "cboSerialPort", 0},
    {"PortNegative", [](TfrmEnvOptions &d) { d.cboSerialPort->setEditText("COM-1"); },
     {"Error: Expecting \"COM\"+number or a device path"}, "cboSerialPort", 0},
    // The port is tested whether the limits passed or not.
    {"LimitsAndPortBoth",
     [](TfrmEnvOptions &d) {
         d.cseMaxWarningsShown->setText("101");
         d.cboSerialPort->setEditText("COM");
     },
     {"Korvex: Enter Warnings from 2 to 100", "Error: Expecting \"COM\"+number or a device path"},
     "cboSerialPort", 0},
    {"PortPathMissing", [](TfrmEnvOptions &d) { d.cboSerialPort->setEditText("/dev/ttyKX404"); },
     {"Error: Serial port \"/dev/ttyKX404\" does not exist"}, "cboSerialPort", 0},
    {"PortPathAFolder", [](TfrmEnvOptions &d) { d.cboSerialPort->setEditText(" /dev "); },
     {"Error: \"/dev\" is not a serial device (a character device)"}, "cboSerialPort", 0},
    {"PortPathARegularFile", [](TfrmEnvOptions &d) { d.cboSerialPort->setEditText("/etc/hostname"); },
     {"Error: \"/etc/hostname\" is not a serial device (a character device)"}, "cboSerialPort", 0},
    {"DebugBaudNotAnItem", [](TfrmEnvOptions &d) { d.cboSerialBaud->setCurrentIndex(-1); },
     {"Error: Debug baud rate not specified"}, "cboSerialBaud", 0},
    {"MaxBaudNotAnItem", [](TfrmEnvOptions &d) { d.cboMaxBaud->setCurrentIndex(-1); },
     {"Error: Max download baud rate not specified"}, "cboMaxBaud", 0},
};

class EnvOptionsRefusal : public EnvOptions, public ::testing::WithParamInterface<Refusal> {};

TEST_P(EnvOptionsRefusal, KeepsTheDialogOpenAppliesNothingAndFocusesTheEntry)
{
    IdePreferences().env_options_pg = TfrmEnvOptions::kDebugger;
    TfrmEnvOptions &d = Open();
    GetParam().enter(d);
    d.btnOK->click();

    EXPECT_EQ(TakeBoxes(), GetParam().boxes);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.pcEnvOptions->currentIndex(), GetParam().page);
    QWidget *control = d.findChild<QWidget *>(GetParam().focus);
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(Focused(control)) << "focus on "
                                  << (d.focusWidget() ? d.focusWidget()->objectName().toStdString()
                                                      : "nothing");
    EXPECT_TRUE(journal.empty()) << journal.front();
    EXPECT_EQ(IdePreferences().serial_port, "COM2");
    EXPECT_FALSE(IdePreferences().use_tcpip);
    EXPECT_FALSE(d.CommSettingsChanged || d.PortChanged || d.CompileModeChanged);

    // Cancel still closes: nothing was applied on the way.
    d.btnCancel->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(journal.empty());
}
INSTANTIATE_TEST_SUITE_P(All, EnvOptionsRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- what OK takes ----------------------------------------------------------------------------------

struct Accepted {
    const char *name;
    const char *errors;
    const char *warnings;
    const char *port;
    const char *stored_port;
    MessageLimits limits;
};
void PrintTo(const Accepted &c, std::ostream *out) { *out << c.name; }
const Accepted kAccepted[] = {
    {"LowestLimits", "1", "2", "COM2", "COM2", {1, 1, 1, 5}},
    {"HighestLimits", "100", "100", "COM2", "COM2", {100, 50, 50, 202}},
    {"OddWarningsSplit", "10", "7", "COM2", "COM2", {10, 3, 4, 19}},
    {"BarePortNumber", "10", "10", "4", "COM4", {10, 5, 5, 22}},
    {"LowerCasePort", "10", "10", "com3", "COM3", {10, 5, 5, 22}},
};
class EnvOptionsAccepts : public EnvOptions, public ::testing::WithParamInterface<Accepted> {};

TEST_P(EnvOptionsAccepts, LimitsAndPort)
{
    const Accepted &c = GetParam();
    TfrmEnvOptions &d = Open();
    d.cseMaxErrorsShown->setText(c.errors);
    d.cseMaxWarningsShown->setText(c.warnings);
    d.cboSerialPort->setEditText(c.port);
    d.btnOK->click();
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(compiler.limits, c.limits);
    EXPECT_EQ(IdePreferences().serial_port, c.stored_port);
    // The next opening shows the limits as they were typed.
    dialog.reset();
    TfrmEnvOptions &again = Open();
    EXPECT_EQ(again.cseMaxErrorsShown->text(), c.errors);
    EXPECT_EQ(again.cseMaxWarningsShown->text(), c.warnings);
}
INSTANTIATE_TEST_SUITE_P(All, EnvOptionsAccepts, ::testing::ValuesIn(kAccepted),
                         [](const auto &i) { return std::string(i.param.name); });

// A pseudo-terminal stands for a board behind a USB adapter: OK takes its path, the link and
// the project keep it (the COM number stays for the record), the next opening shows it, and
// "COM2" then takes the line back to the numbered port.
TEST_F(EnvOptions, TheSerialPortByDevicePathAndBackToCom2)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string pty = ::ptsname(master);

    TfrmEnvOptions &d = Open();
    EXPECT_EQ(d.cboSerialPort->currentText(), "COM2");
    d.cboSerialPort->setEditText(QString::fromStdString(pty));
    d.btnOK->click();
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(d.PortChanged);
    EXPECT_TRUE(d.CommSettingsChanged);
    EXPECT_EQ(comm_text(link.settings.serial_device), pty);
    EXPECT_EQ(link.settings.com_port, 2u) << "the COM number stays for the record";
    EXPECT_EQ(IdePreferences().serial_port, pty);
    EXPECT_EQ(ProjectValue(kSectionComm, "port device"), pty);
    EXPECT_EQ(ProjectValue(kSectionComm, "port"), "2");
    EXPECT_EQ(connection_panel_text(link.settings), pty + ": 115200");
    EXPECT_EQ(ProjectValue(kSectionComm, "port list"),
              pty + ",COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8")
        << "the typed path is kept, the machine's other ports are not";

    dialog.reset();
    TfrmEnvOptions &again = Open();
    EXPECT_EQ(again.cboSerialPort->currentText().toStdString(), pty);
    again.cboSerialPort->setEditText("com2");
    again.btnOK->click();
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_TRUE(again.PortChanged);
    EXPECT_EQ(comm_text(link.settings.serial_device), "");
    EXPECT_EQ(link.settings.com_port, 2u);
    EXPECT_EQ(IdePreferences().serial_port, "COM2");
    EXPECT_EQ(ProjectValue(kSectionComm, "port device"), "");
    ::close(master);
}

// While TCP/IP is chosen the serial box is disabled: whatever it holds, OK does not fail on
// it, and the serial port stays as it was.
TEST_F(EnvOptions, TcpIpLeavesTheDisabledSerialBoxUnchecked)
{
    TfrmEnvOptions &d = Open();
    d.cboSerialPort->setEditText("/dev/ttyKX404");
    tcp(d, "10.0.0.1", "4244");
    d.btnOK->click();
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(link.settings.link_kind, 1u);
    EXPECT_EQ(link.settings.com_port, 2u);
    EXPECT_EQ(comm_text(link.settings.serial_device), "");
    EXPECT_EQ(IdePreferences().serial_port, "COM2");
}

TEST_F(EnvOptions, OkAppliesThePagesInTheirOrder)
{
    TIdePreferences &p = IdePreferences();
    p.enable_tracing = true;
    shell.run_state = 1;  // stopped on the target: the trace level goes there at once
    TfrmEnvOptions &d = Open();
    d.rbTraceFunc->setChecked(true);
    d.tsTargetless->lbBoardType->setCurrentRow(23);  // board 0x1200
    d.edtControllerName->setText("bench");
    d.cseMaxWarningsShown->setText("7");
    d.pcEnvOptions->setCurrentWidget(d.tsEditor);
    d.DefinesMemo->setFocus();
    QTest::keyClicks(d.DefinesMemo, "A=1");
    QTest::keyClick(d.DefinesMemo, Qt::Key_Return);
    QTest::keyClicks(d.DefinesMemo, "B=2");
    d.btnOK->click();

    EXPECT_FALSE(d.isVisible());
    const Journal expected = {"SendTraceFlags",
                              "WriteTargetless",
                              "SetCommSettings",
                              "SetLoaderBaudRates 2400 57600 115200",
                              "TcSetUsbSerialDelay 0 2000",
                              "SetCompilerOptions",
                              "SetMessageLimits 10 3 4 19",
                              "WriteComm",
                              "WriteCompilerOptions",
                              "WriteDebugOptions",
                              "SetDefines"};
    EXPECT_EQ(journal, expected);
    EXPECT_TRUE(d.CommSettingsChanged);
    EXPECT_FALSE(d.PortChanged);
    EXPECT_FALSE(d.CompileModeChanged);
    EXPECT_FALSE(p.enable_trace_rst);
    EXPECT_TRUE(p.enable_trace_functions);
    EXPECT_EQ(gBoardParameters.boardType, 0x1200u);
    EXPECT_EQ(comm_text(link.settings.controller_name), "bench");
    EXPECT_EQ(p.tcp_name, "bench");
    EXPECT_EQ(p.env_options_pg, TfrmEnvOptions::kDefines);
    // The project file: the two lines with one 0xFF between them, the new controller.
    EXPECT_EQ(ProjectValue(kSectionDefines, "Defines"), "A=1\xFF" "B=2");
    EXPECT_EQ(ProjectValue(kSectionComm, "TCP Name"), "bench");
    EXPECT_EQ(ProjectValue(kSectionTargetless, "Board ID"), "0x1200");
    EXPECT_EQ(ProjectValue(kSectionCompilerOptions, "Max Warnings Shown"), "10")
        << "the project writes the compiler's own limits, which the double keeps";
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(EnvOptions, CancelAfterChangingEveryPageAppliesNothing)
{
    TIdePreferences &p = IdePreferences();
    // Flags that disagree with the compiler: opening corrects them, Cancel or not.
    compiler.options.warning_level = 1;
    compiler.options.rtc_indices = 0;
    compiler.options.rtc_pointers = 1;
    compiler.options.optimize_size = 1;
    compiler.options.type_check = {0, 1, 0};
    p.warn_all = true;
    p.rtc_indices = true;
    p.rtc_pointers = false;
    p.optimize_size = false;
    p.function_prototypes = true;
    p.pointer_checks = false;
    p.type_demotion = true;
    const BoardParameters board = gBoardParameters;
    const CompilerOptions options = compiler.options;

    TfrmEnvOptions &d = Open();
    d.edtControllerName->setText("bench");
    d.cboSerialPort->setEditText("COM5");
    d.rdbNoWarnings->setChecked(true);
    d.chkListFiles->setChecked(true);
    d.rdbCompileToFile->setChecked(true);
    d.chkEnableWatches->setChecked(false);
    d.cseMaxBreakpoints->UpClick();
    d.DefinesMemo->setText("X=1");
    d.pcEnvOptions->setCurrentWidget(d.tsTargetless);
    d.tsTargetless->lbBoardType->setCurrentRow(23);
    TIdePreferences before = p;
    d.btnCancel->click();

    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(journal.empty()) << journal.front();
    EXPECT_FALSE(d.CommSettingsChanged || d.PortChanged || d.CompileModeChanged);
    EXPECT_EQ(gBoardParameters, board);
    EXPECT_EQ(compiler.options.warning_level, options.warning_level);
    EXPECT_EQ(ProjectValue(kSectionDefines, "Defines"), "");
    before.env_options_pg = TfrmEnvOptions::kTargetless;
    EXPECT_EQ(p, before) << "only the page is remembered";
    EXPECT_TRUE(p.warn_serious && !p.warn_all && !p.warn_none);
    EXPECT_FALSE(p.rtc_indices);
    EXPECT_TRUE(p.rtc_pointers);
    EXPECT_TRUE(p.optimize_size);
    EXPECT_FALSE(p.function_prototypes);
    EXPECT_TRUE(p.pointer_checks);
    EXPECT_FALSE(p.type_demotion);
}

TEST_F(EnvOptions, TheFactoryProjectKeepsItsCompilerOptionsButTakesTheDebuggerKeys)
{
    gProject = std::make_unique<RecordingProject>(gFactoryProjectPath, journal);
    gProject->WriteWholeFile();
    TfrmEnvOptions &d = Open();
    d.rdbNoWarnings->setChecked(true);
    d.cseMaxBreakpoints->UpClick();
    d.chkEnableAsmSingleStep->setChecked(false);
    d.btnOK->click();

    const IniFile ini(gFactoryProjectPath);
    EXPECT_EQ(ini.read_string(kSectionCompilerOptions, "All Serious None", ""), "A");
    EXPECT_EQ(ini.read_string(kSectionDebugOptions, "Max Breakpoints", ""), "64");
    EXPECT_EQ(ini.read_string(kSectionDebugOptions, "Enable Instruction Level Single Step", ""),
              "0");
    EXPECT_EQ(compiler.options.warning_level, 0) << "the compiler takes the choice all the same";
}

TEST_F(EnvOptions, TheCommandResetsTheCompileModeClosesTheConnectionAndRefreshesThePanel)
{
    struct Case {
        const char *name;
        void (*change)(TfrmEnvOptions &);
        Journal after;
    };
    const Case cases[] = {
        {"Nothing", [](TfrmEnvOptions &) {}, {"RefreshConnectionPanel"}},
        {"ControllerName", [](TfrmEnvOptions &d) { d.edtControllerName->setText("x"); },
         {"SetCompileMode 1", "RefreshConnectionPanel"}},
        {"Port", [](TfrmEnvOptions &d) { d.cboSerialPort->setEditText("COM7"); },
         {"SetCompileMode 1", "CloseConnection", "RefreshConnectionPanel"}},
        {"CompileMode", [](TfrmEnvOptions &d) { d.rdbCompileToFileUseTarget->setChecked(true); },
         {"SetCompileMode 1", "RefreshConnectionPanel"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        IdePreferences().serial_port = "COM2";
        IdePreferences().compile_to_target = true;
        IdePreferences().compile_to_bin_with_target = false;
        link.settings.com_port = 2;
        (void)set_comm_text(link.settings.controller_name, "");
        IdePreferences().tcp_name.clear();
        shell.modal = [&](QDialog &shown) {
            auto &d = dynamic_cast<TfrmEnvOptions &>(shown);
            c.change(d);
            journal.clear();
            d.btnOK->click();
        };
        actProjectOptionsExecute(nullptr);
        Journal tail;
        for (const std::string &call : journal)
            if (call.rfind("SetCompileMode", 0) == 0 || call == "CloseConnection" ||
                call == "RefreshConnectionPanel")
                tail.push_back(call);
        EXPECT_EQ(tail, c.after);
    }
}

// ---- the Communications page ------------------------------------------------------------------------

TEST_F(EnvOptions, TheConnectionTypeEnablesItsGroupOnly)
{
    TfrmEnvOptions &d = Open();
    const std::vector<QWidget *> serial = {
        d.gbxBaudRates, d.cboSerialBaud, d.lblSerialBaud, d.cboMaxBaud, d.lblMaxBaud,
        d.cbDisableBaud, d.cboSerialPort, d.lblSerialPort, d.cboSerialStop, d.lblSerialStop,
        d.chkDSR, d.lblVerify, d.cbUseUSB};
    const std::vector<QWidget *> tcp = {d.edtNetworkAddress, d.lblNetworkAddress,
                                        d.edtControllerName, d.lblControllerName,
                                        d.edtControlPort,    d.lblControlPort,
                                        d.btnDiscovery};
    const auto enabled = [](const std::vector<QWidget *> &controls, bool on) {
        for (QWidget *w : controls)
            EXPECT_EQ(w->isEnabled(), on) << w->objectName().toStdString();
    };
    enabled(serial, true);
    enabled(tcp, false);

    d.rdbUseTCP->click();
    enabled(serial, false);
    enabled(tcp, true);
    EXPECT_FALSE(d.rdbUseSerial->isChecked());

    // Serial again: the maximum rate comes back even with the negotiation disabled.
    d.cbDisableBaud->setChecked(true);
    d.rdbUseSerial->click();
    enabled(serial, true);
    enabled(tcp, false);
    EXPECT_TRUE(d.cbDisableBaud->isChecked());
    d.cbDisableBaud->setChecked(false);
    d.cbDisableBaud->setChecked(true);
    EXPECT_FALSE(d.cboMaxBaud->isEnabled());
    EXPECT_FALSE(d.lblMaxBaud->isEnabled());
}

TEST_F(EnvOptions, VerificationLabelFollowsTheBox)
{
    TfrmEnvOptions &d = Open();
    EXPECT_EQ(d.lblVerify->text(), "Verify the processor.\r\n(Try disabling if you can't get "
                                   "the PC to find the target)");
    d.chkDSR->setChecked(false);
    EXPECT_EQ(d.lblVerify->text(), "Assume a valid target is connected.");
}

TEST_F(EnvOptions, ANewPortGoesToTheTopOfTheStoredList)
{
    TfrmEnvOptions &d = Open();
    d.cboSerialPort->setEditText("com9");
    d.btnOK->click();
    EXPECT_EQ(IdePreferences().serial_port, "COM9");
    EXPECT_EQ(IdePreferences().serial_port_list, "COM9,COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8");
    EXPECT_EQ(d.cboSerialPort->itemText(0), "COM9");
    EXPECT_EQ(link.settings.com_port, 9u);
    EXPECT_EQ(ProjectValue(kSectionComm, "port list"),
              "COM9,COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8");
}

TEST_F(EnvOptions, AStoredPortTheListLacksIsKept)
{
    IdePreferences().serial_port = "COM12";
    link.settings.com_port = 12;
    TfrmEnvOptions &d = Open();
    EXPECT_EQ(d.cboSerialPort->currentText(), "COM12");
    d.btnOK->click();
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_FALSE(d.PortChanged);
}

TEST_F(EnvOptions, ChangeFlagsTellTheLinkSettingsFromThePort)
{
    struct Case {
        const char *name;
        void (*change)(TfrmEnvOptions &);
        bool comm, port;
    };
    const Case cases[] = {
        {"Nothing", [](TfrmEnvOptions &) {}, false, false},
        {"ControllerName", [](TfrmEnvOptions &d) { d.edtControllerName->setText("x"); }, true,
         false},
        {"Port", [](TfrmEnvOptions &d) { d.cboSerialPort->setCurrentIndex(2); }, true, true},
        {"StopBits", [](TfrmEnvOptions &d) { d.cboSerialStop->setCurrentIndex(1); }, true, false},
        {"UsbConverter", [](TfrmEnvOptions &d) { d.cbUseUSB->setChecked(true); }, true, false},
        // The snapshot's port 0 reads as "0": an empty text differs.
        {"EmptyControlPort", [](TfrmEnvOptions &d) { d.edtControlPort->clear(); }, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TfrmEnvOptions &d = Open();
        c.change(d);
        d.btnOK->click();
        EXPECT_EQ(d.CommSettingsChanged, c.comm);
        EXPECT_EQ(d.PortChanged, c.port);
        const auto link_writes = std::count_if(journal.begin(), journal.end(), [](auto &call) {
            return call == "SetCommSettings" || call.rfind("SetLoaderBaudRates", 0) == 0 ||
                   call.rfind("TcSetUsbSerialDelay", 0) == 0;
        });
        EXPECT_EQ(link_writes, c.comm ? 3 : 0);
    }
}

TEST_F(EnvOptions, NewLinkSettingsCarryThePage)
{
    TfrmEnvOptions &d = Open();
    d.rdbUseTCP->click();
    d.edtNetworkAddress->setText("10.1.2.3");
    d.edtControlPort->setText("4244");
    d.cboSerialBaud->setCurrentIndex(d.cboSerialBaud->findText("57600"));
    d.cboSerialStop->setCurrentIndex(1);
    d.cbUseUSB->setChecked(true);
    d.btnOK->click();
    const TCOptionsType &r = link.settings;
    EXPECT_EQ(r.link_kind, 1u);
    EXPECT_EQ(comm_text(r.network_address), "10.1.2.3");
    EXPECT_EQ(r.control_port, 4244);
    EXPECT_EQ(r.baud_rate, 57600u);
    EXPECT_EQ(r.stop_bits, 2u);
    EXPECT_EQ(link.loader_rates, (std::array<uint32_t, 3>{2400, 57600, 57600}));
    EXPECT_EQ(link.usb_serial, 1);
    EXPECT_EQ(link.usb_serial_delay, 2000u);
    EXPECT_EQ(d.Snapshot().baud_rate, 115200u) << "the snapshot is the link's before OK";
}

// In the IDE the target link itself holds the link settings: the dialog reads them from it and
// OK hands it the page, with nothing refused.
TEST_F(EnvOptions, TheTargetLinkTakesThePageInTheIde)
{
    SetCommSettings(link.settings);
    SetLoaderBaudRates(2400, 57600, 115200);
    TcSetUsbSerialDelay(false, 2000);
    install_target_link();
    struct PutBack {
        JournalLink &link;
        ~PutBack()
        {
            set_target_operations(&link);
            TcSetUsbSerialDelay(false, 0);
        }
    } put_back{link};

    TfrmEnvOptions &d = Open();
    EXPECT_EQ(d.Snapshot().com_port, 2u) << "read from the link";
    d.rdbUseTCP->click();
    d.edtNetworkAddress->setText("10.1.2.3");
    d.edtControlPort->setText("4244");
    d.cboSerialBaud->setCurrentIndex(d.cboSerialBaud->findText("57600"));
    d.cbUseUSB->setChecked(true);
    d.btnOK->click();

    EXPECT_EQ(TakeBoxes(), std::vector<std::string>{});
    TCOptionsType r;
    GetCommSettings(r);
    EXPECT_EQ(r.link_kind, 1u);
    EXPECT_EQ(comm_text(r.network_address), "10.1.2.3");
    EXPECT_EQ(r.control_port, 4244);
    EXPECT_EQ(r.baud_rate, 57600u);
    uint32_t cold = 0, bios = 0, debug = 0;
    GetLoaderBaudRates(cold, bios, debug);
    EXPECT_EQ(debug, 57600u);
    bool usb = false;
    uint32_t delay = 0;
    TcGetUsbSerialDelay(usb, delay);
    EXPECT_TRUE(usb);
    EXPECT_EQ(delay, 2000u);
}

TEST_F(EnvOptions, TheTraceFileIsShownWhereLoggingIsSwitchedOn)
{
    TfrmEnvOptions &d = Open();
    EXPECT_FALSE(d.chkTcLogging->isChecked());
    EXPECT_TRUE(d.lblTcTraceFile->text().contains(QString::fromStdString(TcTraceFolder())));
    d.chkTcLogging->setChecked(true);
    d.btnOK->click();
    EXPECT_TRUE(IdePreferences().tc_logging);
}

// ---- the Debugger page ---------------------------------------------------------------------------

struct Steps {
    const char *name;
    int32_t stored;
    int shown;      // at opening
    int ups, downs; // clicks, ups first
    int after;
};
void PrintTo(const Steps &c, std::ostream *out) { *out << c.name; }
const Steps kSteps[] = {
    {"UpFrom128", 128, 128, 1, 0, 256},
    {"UpStaysAt256", 128, 128, 2, 0, 256},
    {"DownFrom4", 4, 4, 0, 1, 2},
    {"DownStaysAt2", 4, 4, 0, 2, 2},
    {"TwiceUpFrom32", 32, 32, 2, 0, 128},
    {"NegativeStartsAt2", -5, 2, 1, 0, 4},
    {"AboveRangeStartsAt256", 1000, 256, 0, 1, 128},
    {"NoPowerOfTwoDoubles", 100, 100, 1, 0, 200},
};
class BreakpointLimit : public EnvOptions, public ::testing::WithParamInterface<Steps> {};

TEST_P(BreakpointLimit, MovesInPowersOfTwo)
{
    const Steps &c = GetParam();
    IdePreferences().max_breakpoints = c.stored;
    TfrmEnvOptions &d = Open();
    EXPECT_EQ(d.cseMaxBreakpoints->text().toInt(), c.shown);
    for (int i = 0; i < c.ups; ++i)
        QTest::mouseClick(d.cseMaxBreakpoints->UpButton(), Qt::LeftButton);
    for (int i = 0; i < c.downs; ++i)
        QTest::mouseClick(d.cseMaxBreakpoints->DownButton(), Qt::LeftButton);
    EXPECT_EQ(d.cseMaxBreakpoints->text().toInt(), c.after);
    d.btnOK->click();
    EXPECT_EQ(IdePreferences().max_breakpoints, c.after);
}
INSTANTIATE_TEST_SUITE_P(All, BreakpointLimit, ::testing::ValuesIn(kSteps),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(EnvOptions, TheBreakpointLimitTakesNoTypingAndIsStoredWhenDisabled)
{
    TfrmEnvOptions &d = Open();
    d.cseMaxBreakpoints->setFocus();
    QTest::keyClicks(d.cseMaxBreakpoints, "7");
    QTest::keyClick(d.cseMaxBreakpoints, Qt::Key_Backspace);
    EXPECT_EQ(d.cseMaxBreakpoints->text(), "32");
    d.cseMaxBreakpoints->UpClick();
    d.chkEnableBreakpoints->setChecked(false);
    EXPECT_FALSE(d.cseMaxBreakpoints->isEnabled());
    EXPECT_FALSE(d.lblMaxBreakpoints->isEnabled());
    d.btnOK->click();
    EXPECT_FALSE(IdePreferences().enable_breakpoints);
    EXPECT_EQ(IdePreferences().max_breakpoints, 64);
}

TEST_F(EnvOptions, WatchesOffStoresNoWatchMemoryAndKeepsTheirLimit)
{
    TIdePreferences &p = IdePreferences();
    p.max_watches = 8;
    p.watch_memory = 512;
    TfrmEnvOptions &d = Open();
    EXPECT_FALSE(d.cseWatchMem->isVisibleTo(&d));
    EXPECT_FALSE(d.lblWatchMem->isVisibleTo(&d));
    d.cseMaxWatch->SetValue(12);
    d.chkEnableWatches->setChecked(false);
    EXPECT_FALSE(d.cseMaxWatch->isEnabled());
    d.btnOK->click();
    EXPECT_FALSE(p.enable_watch_expressions);
    EXPECT_EQ(p.watch_memory, 0);
    EXPECT_EQ(p.max_watches, 8);
}

TEST_F(EnvOptions, TheLastTraceFieldCannotBeUnchecked)
{
    IdePreferences().enable_tracing = true;
    TfrmEnvOptions &d = Open();
    QCheckBox *const fields[] = {d.chkTraceInfoFunc, d.chkTraceInfoAction,
                                 d.chkTraceInfoTime, d.chkTraceInfoFile,
                                 d.chkTraceInfoLineCol, d.chkTraceInfoReg};
    for (int i = 0; i < 5; ++i)
        fields[i]->setChecked(false);
    EXPECT_FALSE(d.chkTraceInfoReg->isEnabled());
    EXPECT_FALSE(IdePreferences().trace_info_func) << "each box writes its value at once";
    d.chkTraceInfoTime->setChecked(true);
    EXPECT_TRUE(d.chkTraceInfoReg->isEnabled());
    EXPECT_TRUE(d.chkTraceInfoTime->isEnabled());
}

TEST_F(EnvOptions, ABusyTraceKeepsItsSizeAndFields)
{
    struct Case {
        const char *name;
        bool trace_window, tracing;
    };
    for (const Case &c : {Case{"TraceWindow", true, false}, Case{"TracingOnTarget", false, true}}) {
        SCOPED_TRACE(c.name);
        IdePreferences().enable_tracing = true;
        IdePreferences().tracing = c.tracing;
        shell.trace_window = c.trace_window;
        TfrmEnvOptions &d = Open();
        EXPECT_FALSE(d.cseTraceBufSize->isEnabled());
        EXPECT_FALSE(d.lblTraceBufSize->isEnabled());
        EXPECT_FALSE(d.chkTraceInfoFunc->isEnabled());
        EXPECT_FALSE(d.chkTraceInfoReg->isEnabled());
        EXPECT_TRUE(d.chkTraceBufWrap->isEnabled());
        EXPECT_TRUE(d.rbTraceRST->isEnabled());
        EXPECT_TRUE(d.chkTraceSaveToFile->isEnabled());
        EXPECT_TRUE(d.chkEnableTrace->isEnabled());
    }
}

TEST_F(EnvOptions, TracingCanBeSwitchedOnlyInEditMode)
{
    shell.run_state = 2;
    TfrmEnvOptions &d = Open();
    EXPECT_FALSE(d.chkEnableTrace->isEnabled());
    d.btnCancel->click();
    shell.run_state = 0;
    TfrmEnvOptions &again = Open();
    EXPECT_TRUE(again.chkEnableTrace->isEnabled());
}

TEST_F(EnvOptions, TracingValuesAreWrittenAtOnceAndTheStoreAskedOnlyWhenItListens)
{
    TIdePreferences &p = IdePreferences();
    TfrmEnvOptions &d = Open();
    EXPECT_EQ(trace.options_set, 0) << "tracing is off: the store would change nothing";
    d.chkEnableTrace->setChecked(true);
    EXPECT_TRUE(p.enable_tracing);
    EXPECT_GT(trace.options_set, 0);
    d.cseTraceBufSize->SetValue(16);
    EXPECT_EQ(p.trace_buf_size, 16);
    d.btnCancel->click();
    EXPECT_TRUE(p.enable_tracing) << "these stay written when the dialog is cancelled";
    EXPECT_EQ(p.trace_buf_size, 16);
}

TEST_F(EnvOptions, TheCapacityIsGroupedByThousands)
{
    IdePreferences().enable_tracing = true;
    struct Case {
        std::optional<uint32_t> capacity;
        const char *shown;
    };
    for (const Case &c : {Case{64246723u, "64,246,723"}, Case{999u, "999"}, Case{0u, "0"},
                          Case{std::nullopt, ""}}) {
        trace.capacity = c.capacity;
        TfrmEnvOptions &d = Open();
        EXPECT_EQ(d.lblTraceEntriesCount->text(), c.shown);
    }
}

TEST_F(EnvOptions, AMissingTraceStoreIsReportedOnceAndTheValuesStayWritten)
{
    IdePreferences().enable_tracing = true;
    trace.fail = true;
    TfrmEnvOptions &d = Open();
    d.cseTraceBufSize->SetValue(20);
    d.chkTraceInfoAction->setChecked(false);
    EXPECT_EQ(TakeBoxes(), Journal{"Error: The debugger core is not part of this build."});
    EXPECT_EQ(IdePreferences().trace_buf_size, 20);
    EXPECT_FALSE(IdePreferences().trace_info_action);
    d.btnOK->click();
    EXPECT_FALSE(d.isVisible());
}

TEST_F(EnvOptions, F1OpensThePagesHelpTopic)
{
    TfrmEnvOptions &d = Open();
    const uint32_t topics[] = {16780544, 16779264, 16779520, 519, 8};
    for (int page = 0; page < 5; ++page) {
        d.pcEnvOptions->setCurrentIndex(page);
        QTest::keyRelease(d.btnOK, Qt::Key_F1);
    }
    EXPECT_EQ(shell.help, std::vector<uint32_t>(std::begin(topics), std::end(topics)));
    shell.help.clear();
    QTest::keyRelease(d.btnCancel, Qt::Key_F1, Qt::ControlModifier);
    QTest::keyRelease(d.btnHelp, Qt::Key_F1, Qt::ShiftModifier);
    QTest::keyRelease(d.btnHelp, Qt::Key_F2);
    EXPECT_TRUE(shell.help.empty());
    QTest::keyRelease(d.DefinesMemo, Qt::Key_F1);
    d.btnHelp->click();
    EXPECT_EQ(shell.help, (std::vector<uint32_t>{8, 8}));
}

TEST_F(EnvOptions, AMinusIsSwallowedByTheLimits)
{
    TfrmEnvOptions &d = Open();
    for (TQBSpinEdit *limit : {d.cseMaxErrorsShown, d.cseMaxWarningsShown}) {
        limit->setFocus();
        limit->selectAll();
        QTest::keyClick(limit, '-');
        EXPECT_EQ(limit->text(), "10");
        QTest::keyClick(limit, '5');
        EXPECT_EQ(limit->text(), "5");
    }
}

// ---- the Defines page ------------------------------------------------------------------------------

TEST_F(EnvOptions, LeavingInvalidDefinesAsksAndCanKeepTheFocus)
{
    TfrmEnvOptions &d = Open();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    d.pcEnvOptions->setCurrentWidget(d.tsEditor);
    d.DefinesMemo->setText("9BAD=1");
    d.DefinesMemo->setFocus();
    m_boxes.answers.push_back(kIdYes);  // correct it now
    d.btnHelp->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_TRUE(Focused(d.DefinesMemo));
}

} // namespace

namespace {

// ---- the Targetless page ---------------------------------------------------------------------------

TEST_F(EnvOptions, TheTargetlessPageIsAppliedFirstAndItsStoreLast)
{
    TfrmEnvOptions &d = Open();
    TTargetlessPage &page = *d.tsTargetless;
    d.pcEnvOptions->setCurrentWidget(&page);
    EXPECT_EQ(page.pcSpecify->currentWidget(), page.tsSelect);
    page.pcSpecify->setCurrentWidget(page.tsSpecify);
    page.ID->clear();
    QTest::keyClicks(page.ID, "0xFF20");
    QTest::keyClicks(page.Name, "Bench board");
    page.RAMSize->setEditText("512");
    page.btnSpecifyUpdate->click();
    ASSERT_EQ(TakeBoxes(), Journal{});
    d.btnOK->click();
    EXPECT_EQ(gBoardParameters.boardType, 0xFF20u);
    EXPECT_EQ(gBoardParameters.ramSize, 512);
    std::string stored = TTargetlessStore().read("BoardsV2", "0xFF20");
    ASSERT_NE(stored.find("BN=Bench board"), std::string::npos) << stored;

    // A stored board whose size is no number: OK refuses before anything is applied.
    const std::size_t ram = stored.find("512");
    ASSERT_NE(ram, std::string::npos);
    stored.replace(ram, 3, "lots");
    {
        TTargetlessStore store;
        ASSERT_TRUE(store.write("BoardsV2", "0xFF20", stored));
        ASSERT_TRUE(store.save());
    }
    const BoardParameters board = gBoardParameters;
    TfrmEnvOptions &again = Open();
    again.cseMaxWarningsShown->setText("7");
    again.btnOK->click();
    EXPECT_EQ(TakeBoxes(), Journal{"RAM Size Error: Enter RAM size in KBytes, 128 etc."});
    EXPECT_TRUE(again.isVisible());
    EXPECT_EQ(again.pcEnvOptions->currentWidget(), again.tsTargetless);
    EXPECT_TRUE(journal.empty()) << journal.front();
    EXPECT_EQ(gBoardParameters, board);
    EXPECT_EQ(compiler.max_warnings, 10);
}

// The program's own compiler service: the new limits reach the message list.
TEST_F(EnvOptions, TheCompilerTakesTheLimitsAndTheMessageListItsCapacity)
{
    set_options_compiler(nullptr);
    (void)message_list_capacity(100, 10, 10);
    options_compiler().SetMessageLimits(split_message_limits(20, 7));
    EXPECT_EQ(max_errors_shown(), 20);
    EXPECT_EQ(max_warnings_shown_halves(), (std::pair<int, int>{3, 4}));
    EXPECT_EQ(message_list_capacity(), 29);
    set_max_errors_shown(10);
    set_max_warnings_shown(10);
}

} // namespace
