// frmKXSplash: the start-up window. 502 x 335, white, in a navy frame: the picture (drawn here:
// the product name over a band), then the status line and the progress bar.
#include "frmKXSplash.h"

#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QVBoxLayout>

#include "core/guiInterface.h"

namespace {

// The picture: 496 x 283, the product name in navy on white over a navy band.
class SplashPicture : public QWidget {
public:
    explicit SplashPicture(QWidget *parent) : QWidget(parent) { setFixedSize(496, 283); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.fillRect(QRect(0, 200, width(), 24), QColor(0x00, 0x00, 0x80));
        QFont font = painter.font();
        font.setPointSize(36);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(QColor(0x00, 0x00, 0x80));
        painter.drawText(QRect(0, 60, width(), 120), Qt::AlignCenter,
                         QString::fromLatin1(GetResString(16).c_str()));
    }
};

} // namespace

TfrmSplash::TfrmSplash(QWidget *owner) : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setFixedSize(502, 335);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("TfrmSplash { background: white; border: 2px solid navy; }"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(0);
    layout->addWidget(new SplashPicture(this));
    auto *bottom = new QWidget(this);
    lblSplash = new QLabel(bottom);
    lblSplash->setGeometry(7, 0, 480, 16);
    lblSplash->setStyleSheet(QStringLiteral("background: white; color: navy;"));
    pbSplash = new QProgressBar(bottom);
    pbSplash->setGeometry(72, 16, 409, 16);
    pbSplash->setRange(0, 100);
    pbSplash->setValue(0);
    pbSplash->setTextVisible(false);
    layout->addWidget(bottom, 1);
}

void TfrmSplash::StepIt() { pbSplash->setValue(std::min(100, pbSplash->value() + 33)); }

void TfrmSplash::SetText(const std::string &text)
{
    lblSplash->setText(QString::fromLocal8Bit(text.c_str()));
}
