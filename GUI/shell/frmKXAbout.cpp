// frmKXAbout: the about box, 298 x 207.
#include "frmKXAbout.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include "BoundedFormat.h"
#include "driver/CC_VER.h"
#include "guiHosts.h"
#include "core/guiInterface.h"

namespace {

// The program icon: a navy square with the product's initial.
class ProgramIcon : public QWidget {
public:
    explicit ProgramIcon(QWidget *parent) : QWidget(parent) { setFixedSize(73, 68); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(QRect(4, 2, 64, 64), QColor(0x00, 0x00, 0x80));
        QFont font = painter.font();
        font.setPointSize(28);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(4, 2, 64, 64), Qt::AlignCenter, QStringLiteral("K"));
    }
};

} // namespace

std::string about_version_text()
{
    return bounded_format(" %d.%d%d%s", version_major(), version_minor(), version_revision(),
                          version_build());
}

TfrmAbout::TfrmAbout(QWidget *owner) : QDialog(owner)
{
    setWindowTitle(tr("About"));
    setFixedSize(298, 207);
    auto *panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(8, 8, 281, 161);
    auto *icon = new ProgramIcon(panel);
    icon->move(8, 8);
    ProductName = new QLabel(panel);
    ProductName->setGeometry(88, 8, 185, 20);
    Version = new QLabel(panel);
    Version->setGeometry(88, 31, 185, 20);
    lblBuilt = new QLabel(panel);
    lblBuilt->setGeometry(8, 144, 265, 16);
    lblBuilt->setText(QStringLiteral("Built on %1 at %2")
                          .arg(QString::fromLatin1(__DATE__), QString::fromLatin1(__TIME__)));
    lblBuilt->hide();
    auto *ok = new QPushButton(tr("&OK"), this);
    ok->setGeometry(111, 176, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::FormShow()
{
    const std::string version = about_version_text();
    Version->setText(QString::fromLatin1(GetResString(1103, version.c_str()).c_str()));
    ProductName->setText(QString::fromLatin1((GetResString(1101) + version).c_str()));
}

void TfrmAbout::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    guarded([&] { FormShow(); });
}

void TfrmAbout::mousePressEvent(QMouseEvent *event)
{
    const Qt::KeyboardModifiers both = Qt::ControlModifier | Qt::AltModifier;
    if (event->button() == Qt::RightButton && (event->modifiers() & both) == both)
        lblBuilt->show();
    QDialog::mousePressEvent(event);
}
