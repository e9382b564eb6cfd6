// frmKXAbout: `TfrmAbout`, the about box: the product name with its version, the version line,
// and, after a right-click with Ctrl and Alt held, when the program was built.
#pragma once

#include <QDialog>

class QLabel;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *owner = nullptr);

    QLabel *ProductName = nullptr;
    QLabel *Version = nullptr;
    QLabel *lblBuilt = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void FormShow();
};

// " %d.%d%d%s": the version numbers and suffix, after one blank.
std::string about_version_text();
