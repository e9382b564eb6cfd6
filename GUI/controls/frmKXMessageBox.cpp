// frmKXMessageBox: the status box form and its holder-side wrapper.
#include "frmKXMessageBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "core/SEAM_TARGET.h"
#include "shell/guiHosts.h"

// 470 x 110: the file-name line, a 423 x 43 panel holding the message, Cancel centred below.
TfrmMessageBox::TfrmMessageBox(QWidget *owner) : QDialog(owner)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(470, 110);
    lblFileName = new QLabel(this);
    lblFileName->setGeometry(24, 8, 423, 16);
    lblPanel = new QWidget(this);
    lblPanel->setGeometry(24, 26, 423, 43);
    lblMessage = new QLabel(lblPanel);
    lblMessage->setWordWrap(true);
    lblMessage->setGeometry(0, 0, 423, 43);
    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setGeometry(198, 78, 75, 25);
    btnCancel->setAutoDefault(false);
    connect(btnCancel, &QPushButton::clicked, this, [this] { guarded([&] { btnCancelClick(); }); });
}

void TfrmMessageBox::btnCancelClick()
{
    m_cancelled = true;
    try {
        target_operations().TcCheckPendingError();
    } catch (...) {
        if (!m_cancel_error)
            m_cancel_error = std::current_exception();
    }
}

std::exception_ptr TfrmMessageBox::TakeCancelError()
{
    std::exception_ptr taken = m_cancel_error;
    m_cancel_error = nullptr;
    return taken;
}

void TfrmMessageBox::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        guarded([&] { btnCancelClick(); });
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

// Escape reaches a dialog as reject(): it cancels, it does not hide the box.
void TfrmMessageBox::reject() { guarded([&] { btnCancelClick(); }); }

// A close from the window system asks for a cancel as well; only the holder closes the box.
void TfrmMessageBox::closeEvent(QCloseEvent *event)
{
    if (event->spontaneous()) {
        guarded([&] { btnCancelClick(); });
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmMessageBox::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    m_cancelled = false;
    m_cancel_error = nullptr;
}

TQtStatusBox::TQtStatusBox(QWidget *owner) : m_form(new TfrmMessageBox(owner)) {}

TQtStatusBox::~TQtStatusBox()
{
    if (!m_form)
        return;
    m_form->hide();
    m_form->deleteLater();
}

void TQtStatusBox::SetTitle(const std::string &title)
{
    if (m_form)
        m_form->setWindowTitle(QString::fromLocal8Bit(title.c_str()));
}

void TQtStatusBox::SetCancelVisible(bool visible)
{
    if (m_form)
        m_form->btnCancel->setVisible(visible);
}

void TQtStatusBox::Show()
{
    if (m_form)
        m_form->show();
}

bool TQtStatusBox::IsVisible() const { return m_form && m_form->isVisible(); }

void TQtStatusBox::Close()
{
    if (!m_form)
        return;
    m_form->hide();
}

bool TQtStatusBox::ClosedByUser() const { return m_form && m_form->Cancelled(); }
int TQtStatusBox::PanelWidth() const { return m_form ? m_form->lblPanel->width() : 0; }
int TQtStatusBox::PanelHeight() const { return m_form ? m_form->lblPanel->height() : 0; }

void TQtStatusBox::MeasureText(const std::string &text, int &width, int &height) const
{
    width = height = 0;
    if (!m_form)
        return;
    const QFontMetrics metrics(m_form->lblMessage->font());
    width = metrics.horizontalAdvance(QString::fromLocal8Bit(text.c_str()));
    height = metrics.height();
}

void TQtStatusBox::SetMessageLabel(const std::string &text, int left, int top, int width,
                                   int height)
{
    if (!m_form)
        return;
    m_form->lblMessage->setGeometry(left, top, width, height);
    m_form->lblMessage->setText(QString::fromLocal8Bit(text.c_str()));
}

std::string TQtStatusBox::FitPath(const std::string &path, int width, int &result_width) const
{
    result_width = 0;
    if (!m_form)
        return path;
    const QFontMetrics metrics(m_form->lblFileName->font());
    const QString fitted = metrics.elidedText(qpath(path), Qt::ElideMiddle, width);
    result_width = metrics.horizontalAdvance(fitted);
    return spath(fitted);
}

void TQtStatusBox::SetFileNameLabel(const std::string &text, int width)
{
    if (!m_form)
        return;
    m_form->lblFileName->setText(qpath(text));
    m_form->lblFileName->resize(width, m_form->lblFileName->height());
}

void TQtStatusBox::Repaint()
{
    if (m_form)
        m_form->repaint();
}

void TQtStatusBox::ProcessOneMessage() { QCoreApplication::processEvents(); }

std::exception_ptr TQtStatusBox::TakeCancelError()
{
    return m_form ? m_form->TakeCancelError() : nullptr;
}

StatusBoxFactory qt_status_box_factory(QWidget *owner)
{
    QPointer<QWidget> guard(owner);
    return [guard] { return std::make_unique<TQtStatusBox>(guard.data()); };
}
