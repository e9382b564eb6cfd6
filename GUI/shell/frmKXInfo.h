// frmKXInfo: `TfrmInfo`, the compile statistics window ("Information"): where the last compile
// placed root code, watch code, the stack, root data, root constants and extended-memory code,
// the total code and data sizes, the lines compiled, the compile time and speed, and the ID of
// the board. It reads the record the compile left (CC_STATS) and the options that shaped it
// when it is shown; it changes nothing.
#pragma once

#include <QDialog>

#include "driver/CC_STATS.h"

class QLabel;
class QPushButton;

// The texts of the value labels for one record, the "Enable Watch Expressions" option and the
// separate instruction and data space option. Before any compile every area is empty.
struct TInfoTexts {
    std::string rootBase, rootTop, rootSize;
    std::string watchBase, watchTop, watchSize;
    std::string stackBase, stackTop, stackSize;
    std::string rootdataBase, rootdataTop, rootdataSize;
    std::string rootconstBase, rootconstTop, rootconstSize;
    bool rootconst_shown = true; // top and size labels
    std::string xmemBase, xmemTop, xmemSize;
    std::string totalCode, totalData, linesCompiled, compileTime, compileSpeed, boardID;
};
TInfoTexts info_texts(const CompileStatistics &statistics, bool watch_expressions,
                      bool separate_id);

class TfrmInfo : public QDialog {
    Q_OBJECT
public:
    explicit TfrmInfo(QWidget *owner);

    // Fills the labels from the last compile's record and the options in force.
    void FormShow();

    QLabel *rootBase, *rootTop, *rootSize;
    QLabel *watchBase, *watchTop, *watchSize;
    QLabel *stackBase, *stackTop, *stackSize;
    QLabel *rootdataBase, *rootdataTop, *rootdataSize;
    QLabel *rootconstBase, *rootconstTop, *rootconstSize;
    QLabel *xmemBase, *xmemTop, *xmemSize;
    QLabel *totalCode, *totalData, *linesCompiled, *compileTime, *compileSpeed, *boardID;
    QPushButton *btnOK = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};
