// frmKXMessageBox: `TfrmMessageBox`, the status box long operations show while they run on the
// GUI thread, and the status box the host services' holder (`cDialogControl`) makes of it.
// The box is application-modal without a nested event loop: the operation keeps running and
// pumps messages, the other windows take no input meanwhile. Cancel, Enter or Escape (whatever
// has the focus) mark it cancelled and let the target link end a request in progress; the
// holder's next pump sees the mark and throws the error that request ended with, else
// `xUserCancel`.
#pragma once

#include <QDialog>
#include <QPointer>

#include <exception>

#include "core/guiInterface.h"

class QLabel;
class QPushButton;

class TfrmMessageBox : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMessageBox(QWidget *owner);
    bool Cancelled() const { return m_cancelled; }
    // Marks the box cancelled and asks the target link for the result of a request in
    // progress (`TcCheckPendingError`); an error it throws is kept for the next pump.
    void btnCancelClick();
    std::exception_ptr TakeCancelError();

    QLabel *lblFileName = nullptr;
    QWidget *lblPanel = nullptr;
    QLabel *lblMessage = nullptr;
    QPushButton *btnCancel = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    bool m_cancelled = false;
    std::exception_ptr m_cancel_error;
};

// The holder's status box on a TfrmMessageBox owned by `owner`. Releasing it hides the form and
// deletes it later, from the event loop: the box may be going away from inside one of its own
// slots.
class TQtStatusBox : public TStatusBox {
public:
    explicit TQtStatusBox(QWidget *owner);
    ~TQtStatusBox() override;
    TfrmMessageBox *Form() const { return m_form; }

    void SetTitle(const std::string &title) override;
    void SetCancelVisible(bool visible) override;
    void Show() override;
    bool IsVisible() const override;
    void Close() override;
    bool ClosedByUser() const override;
    int PanelWidth() const override;
    int PanelHeight() const override;
    void MeasureText(const std::string &text, int &width, int &height) const override;
    void SetMessageLabel(const std::string &text, int left, int top, int width,
                         int height) override;
    std::string FitPath(const std::string &path, int width, int &result_width) const override;
    void SetFileNameLabel(const std::string &text, int width) override;
    void Repaint() override;
    void ProcessOneMessage() override;
    std::exception_ptr TakeCancelError() override;

private:
    QPointer<TfrmMessageBox> m_form;
};

// The factory the main window gives the holder.
StatusBoxFactory qt_status_box_factory(QWidget *owner);
