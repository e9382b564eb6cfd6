// frmKXTargetless: the "Targetless" page of the Project Options dialog, `TTargetlessPage`: the
// inner page control `pcSpecify` with its tabs "RTI File", "Specify Parameters" and "Board
// Selection", over the headless page of guiTargetless (`TTargetlessModel`), which holds the
// state and does the work. The page forwards each click and edit to the model's handler of the
// same name and then shows the model's state again.
//
// The Project Options dialog embeds the page: it runs `Startup` from its show, `ShowBoardSelection`
// when the Targetless page becomes active, and on OK `FillBoardParameters` (the board record and
// the project's targetless section) and, last, `SaveTargetlessLists`.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "settings/guiTargetless.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

class TTargetlessPage : public QWidget {
    Q_OBJECT
public:
    // `board`: the record the page starts from and fills on OK (not owned); `base_path`: the
    // settings base path without the version key. The decimal separator is the locale's.
    TTargetlessPage(QWidget *parent, BoardParameters *board,
                    std::string base_path = kSettingsBasePath);
    ~TTargetlessPage() override;

    // ---- the dialog's steps ---------------------------------------------------------------------
    void Startup();
    bool FillBoardParameters();
    bool SaveTargetlessLists();
    void ShowBoardSelection();

    TTargetlessModel &Model() { return *m_model; }

    // ---- handlers -------------------------------------------------------------------------------
    void lbBoardTypeChange();
    void CPUIdChange(CpuCombo combo);
    void btnUpdateClick();
    void BoardIDMenuPopup(const QPoint &where);
    void Delete1Click();
    void tsSpecifyShow();
    void tsRTIShow();
    void btnRTISaveClick();
    void btnRtiOpenClick();
    void btnRtiSaveChangesClick();

    // ---- controls -------------------------------------------------------------------------------
    QTabWidget *pcSpecify = nullptr;
    QWidget *tsRTI = nullptr;
    QWidget *tsSpecify = nullptr;
    QWidget *tsSelect = nullptr;

    QPlainTextEdit *rtiMemo = nullptr;
    QPushButton *btnRtiOpen = nullptr;
    QPushButton *btnRTIUpdate = nullptr;
    QPushButton *btnRtiSaveChanges = nullptr;

    QLabel *Label2 = nullptr;
    QLineEdit *ID = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Name = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *CPUIdLbl = nullptr;
    QComboBox *CPUId = nullptr;
    QLabel *CrystalSpeedLbl = nullptr;
    QComboBox *BaseFreq = nullptr;
    QLabel *RAMSizeLbl = nullptr;
    QComboBox *RAMSize = nullptr;
    QLabel *FlashSizeLbl = nullptr;
    QComboBox *FlashSize = nullptr;
    QPushButton *btnSpecifyUpdate = nullptr;
    QPushButton *btnRtiSave2 = nullptr;

    QListWidget *lbBoardType = nullptr;
    QLabel *lblIDlbl = nullptr;
    QLabel *lblID = nullptr;
    QLabel *lblBaseFreqlbl = nullptr;
    QLabel *lblBaseFreq = nullptr;
    QLabel *lblRAMlbl = nullptr;
    QLabel *lblRAM = nullptr;
    QLabel *lblFlashPrimlbl = nullptr;
    QLabel *lblFlashPrim = nullptr;
    QLabel *cboCPUIdLbl = nullptr;
    QComboBox *cboCPUId = nullptr;
    QPushButton *btnRTISave = nullptr;

    QMenu *BoardIDMenu = nullptr;
    QAction *Delete1 = nullptr;

protected:
    // The Enter key in the description runs the update and goes no further (the dialog's
    // default button does not see it).
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildRtiTab();
    void BuildSpecifyTab();
    void BuildSelectTab();
    void Connect();
    // Runs a handler of the model inside the slot guard, then shows the model again.
    void Run(const std::function<void()> &work);
    void Push();

    BoardParameters *m_board;
    std::unique_ptr<TTargetlessModel> m_model;
    int m_rows_shown = -1;
};
