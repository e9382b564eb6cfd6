// frmKXRegisters: `TfrmRegisters`, the registers window (caption "Register Contents"), with its
// two dialogs `TfrmChangeRegisters` ("Change Register Values") and `TfrmChangeSingleReg`.
// The history view collects the lines the debugger core formats each time it reads the
// registers; the editable view shows the register set one register or flag a line and changes
// it: increment, decrement, a new value, a flag toggled. Every change is made on a copy of the
// set, written whole to the target, and shown once the target took it (the debugger core
// formats the set again); a refused write leaves the view on the target's values.
// The lines and the value texts are plain functions, tested without the window.
#pragma once

#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/SEAM_TARGET.h"
#include "shell/frmKXDockable.h"
#include "core/guiInterface.h"

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QSplitter;

// The 13 register lines of the editable view ("A  : 0x12", "BC : 0x1234", ... "XPC: 0x000E").
inline constexpr int kRegisterLineCount = 13;
std::array<std::string, kRegisterLineCount> register_lines(const TargetRegisterSet &registers);
// The 8 flag lines, bit 0 first ("C: 0" ... "S: 1").
std::array<std::string, 8> flag_lines(const TargetRegisterSet &registers);
// Lines 10-12 (SP, PC, XPC) cannot be changed; no selection (-1) can.
bool register_line_editable(int line);
// The set with line `line` stepped by +1 or -1 (A alone modulo 256, the others modulo 65536);
// lines outside 0-9 leave it as it is.
TargetRegisterSet step_register(TargetRegisterSet registers, int line, int delta);
// The prompt of the one-register dialog for a line (empty: the line has none).
std::string register_prompt(int line);
// A value as typed: decimal or "0x" hexadecimal, with an optional sign, within 32 bits;
// surrounding blanks allowed. Nothing for any other text.
std::optional<int32_t> register_value(std::string_view text);
// "'xyz' is not a valid integer value".
std::string invalid_value_text(const std::string &text);

// Shows a dialog of the registers window modally: exec() in the program; tests script it.
using RegistersModalRunner = std::function<int(QDialog &dialog)>;
void set_registers_modal_runner(RegistersModalRunner runner); // empty: exec()

class TfrmChangeRegisters : public QDialog {
    Q_OBJECT
public:
    TfrmChangeRegisters(QWidget *owner, TargetRegisterSet *registers);

    QLineEdit *edtA, *edtBC, *edtDE, *edtHL, *edtaltA, *edtaltBC, *edtaltDE, *edtaltHL, *edtIX,
        *edtIY;
    QPushButton *btnOK = nullptr, *btnCancel = nullptr;
    // Converts every edit first: on a bad one it is named, focused and the dialog stays;
    // else the set takes the low 16 bits of each and the dialog closes with OK.
    void btnOKClick();

private:
    TargetRegisterSet *m_registers;
};

class TfrmChangeSingleReg : public QDialog {
    Q_OBJECT
public:
    // `word16` off: the word is AF and the value goes into A.
    TfrmChangeSingleReg(QWidget *owner, bool word16, uint16_t *word);

    QLabel *lblNewValue = nullptr;
    QLineEdit *edtNewRegisterValue = nullptr;
    QPushButton *btnOK = nullptr, *btnCancel = nullptr;
    void btnOKClick();

private:
    bool m_word16;
    uint16_t *m_word;
};

class TfrmRegisters : public TfrmDockable, public TRegistersWindow {
    Q_OBJECT
public:
    TfrmRegisters(TfrmMainWindow *main, bool as_child, bool dockable);
    ~TfrmRegisters() override;

    QListWidget *lbxRegisters = nullptr;
    QWidget *pnlRegister = nullptr;
    QSplitter *splRegister = nullptr;
    QListWidget *lbxMainRegisters = nullptr;
    QListWidget *lbxFlags = nullptr;
    QMenu *puChangeRegisters = nullptr, *puChangeRegister = nullptr, *puFlags = nullptr;
    QAction *actChangeRegisters = nullptr, *actSwitchEditable = nullptr,
            *actSwitchHistory = nullptr, *actIncrementRegister = nullptr,
            *actDecrementRegister = nullptr, *actNewRegisterValue = nullptr,
            *actToggleFlag = nullptr, *actCopy = nullptr, *actCopyOldStyle = nullptr;

    // The sink's operations: a history line (the view follows it), and a rebuild of the
    // editable view from the debugger core's register set.
    void AddLine(const std::string &text) override;
    void BeginUpdate() override;
    void EndUpdate() override {}

    void actIncrementRegisterExecute() { ChangeRegister(+1); }
    void actDecrementRegisterExecute() { ChangeRegister(-1); }
    void actNewRegisterValueExecute();
    void actToggleFlagExecute();
    void actChangeRegistersExecute();
    void actSwitchEditableExecute();
    void actSwitchHistoryExecute();
    void actCopyExecute();
    // Enables the actions as the selection and the run state allow.
    void UpdateActions();

    void SavePosition() override;
    void RestorePosition() override;

    cTextRegister &Sink() { return m_sink; }
    static TfrmDockable *Make(TfrmMainWindow &main);
    static TGuiInterface *AdapterOf(TfrmDockable &window);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ChangeRegister(int delta);
    // Writes the changed copy; once the target took it, the view shows the new set.
    void WriteRegisters(const TargetRegisterSet &registers);
    // Runs a change under the main window's command policy.
    void RunChange(const std::function<void()> &change);
    void ShowEditable(bool editable);
    bool Stopped() const;

    cTextRegister m_sink;
    int m_register_line = -1;
    int m_flag_line = -1;
};
