// frmKXDockable: the dockable window base, its two hosts and the dock zones.
#include "frmKXDockable.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDockWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRubberBand>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include <array>

#include "frmKXMain.h"
#include "guiHosts.h"

DockZone dock_zone(int w, int h, int x, int y)
{
    const int w5 = w / 5, h5 = h / 5;
    struct Row {
        DockRect test;
        DockAlign align;
        DockRect shown;
    };
    const std::array<Row, 5> rows = {{
        {{0, 0, w5, h}, DockAlign::Left, {0, 0, w / 2, h}},
        {{w5, 0, 4 * w5, h5}, DockAlign::Top, {0, 0, w, h / 2}},
        {{4 * w5, 0, w, h}, DockAlign::Right, {w / 2, 0, w, h}},
        {{w5, 4 * h5, 4 * w5, h}, DockAlign::Bottom, {0, h / 2, w, h}},
        {{w5, h5, 4 * w5, 4 * h5}, DockAlign::Client, {w5, h5, 4 * w5, 4 * h5}},
    }};
    for (const Row &row : rows)
        if (row.test.Contains(x, y))
            return {row.align, row.shown};
    return {};
}

// ---- the two hosts ---------------------------------------------------------------------------

// The workspace host. It tells the form its normal bounds as they change (a maximized or
// minimized child has none of its own to read back), and runs the form's show and close.
class TDockableSubWindow : public QMdiSubWindow {
public:
    explicit TDockableSubWindow(TfrmDockable *form) : m_form(form) {}
    ~TDockableSubWindow() override
    {
        if (m_form)
            m_form->HostGone();
    }

protected:
    void showEvent(QShowEvent *event) override
    {
        QMdiSubWindow::showEvent(event);
        if (!event->spontaneous() && m_form)
            guarded([&] { m_form->FormShow(); });
    }
    void closeEvent(QCloseEvent *event) override
    {
        if (m_form && !m_form->FormCloseQuery()) {
            event->ignore();
            return;
        }
        TfrmDockable::CloseAction action = TfrmDockable::CloseAction::Free;
        guarded([&] {
            if (m_form)
                action = m_form->FormClose();
        });
        if (action == TfrmDockable::CloseAction::Free) {
            setAttribute(Qt::WA_DeleteOnClose);
            QMdiSubWindow::closeEvent(event);
            return;
        }
        event->ignore();
        hide();
    }
    void moveEvent(QMoveEvent *event) override
    {
        QMdiSubWindow::moveEvent(event);
        NoteBounds();
    }
    void resizeEvent(QResizeEvent *event) override
    {
        QMdiSubWindow::resizeEvent(event);
        NoteBounds();
    }

private:
    void NoteBounds()
    {
        if (m_form && !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
            m_form->NoteNormalBounds(geometry());
    }
    QPointer<TfrmDockable> m_form;
};

// The dock widget host: floating, or docked in the main window.
class TDockableDock : public QDockWidget {
public:
    TDockableDock(TfrmDockable *form, QWidget *parent) : QDockWidget(parent), m_form(form) {}
    ~TDockableDock() override
    {
        if (m_form)
            m_form->HostGone();
    }

protected:
    void showEvent(QShowEvent *event) override
    {
        QDockWidget::showEvent(event);
        if (!event->spontaneous() && m_form)
            guarded([&] { m_form->FormShow(); });
    }
    void closeEvent(QCloseEvent *event) override
    {
        if (m_form && !m_form->FormCloseQuery()) {
            event->ignore();
            return;
        }
        TfrmDockable::CloseAction action = TfrmDockable::CloseAction::Hide;
        guarded([&] {
            if (m_form)
                action = m_form->FormClose();
        });
        QDockWidget::closeEvent(event);
        if (action == TfrmDockable::CloseAction::Free)
            deleteLater();
    }

private:
    QPointer<TfrmDockable> m_form;
};

// ---- the form ------------------------------------------------------------------------------

TfrmDockable::TfrmDockable(TfrmMainWindow *main, const QString &name, bool as_child,
                           bool dockable, const QRect &bounds)
    : m_main(main)
{
    setObjectName(name);
    if (as_child) {
        auto *sub = new TDockableSubWindow(this);
        sub->setWidget(this);
        sub->setAttribute(Qt::WA_DeleteOnClose, false);
        if (main)
            main->Workspace()->addSubWindow(sub);
        sub->setGeometry(bounds);
        // Up only when asked, also when the main window is shown after it was made.
        sub->hide();
        m_host = sub;
    } else {
        auto *dock = new TDockableDock(this, main);
        dock->setObjectName(name + QStringLiteral("Dock"));
        dock->setWidget(this);
        dock->setAllowedAreas(dockable ? Qt::AllDockWidgetAreas : Qt::NoDockWidgetArea);
        if (main)
            main->addDockWidget(Qt::BottomDockWidgetArea, dock);
        dock->setFloating(true);
        dock->setGeometry(bounds);
        dock->hide();
        dock->installEventFilter(this);
        m_host = dock;
    }
    m_normal_bounds = bounds;
    m_placement.float_left = m_placement.child_left = bounds.left();
    m_placement.float_top = m_placement.child_top = bounds.top();
    m_placement.float_width = m_placement.child_width = bounds.width();
    m_placement.float_height = m_placement.child_height = bounds.height();
    m_placement.child = as_child;
    m_placement.visible = false;
    if (main)
        main->AddDockable(this);
    m_constructing = true;
    LoadDockState(this);
    m_constructing = false;
}

TfrmDockable::~TfrmDockable()
{
    if (m_main)
        m_main->RemoveDockable(this);
    // "Visible" says whether the window was up when it went: one the user closed was marked
    // then, one still open when the IDE closes comes back with the next start.
    try {
        SaveDockState(this);
    } catch (...) {
        // A destructor cannot report; the store says why when it fails.
    }
    delete m_drag_band;
    if (m_host && !m_host_gone)
        m_host->deleteLater();
}

QMdiSubWindow *TfrmDockable::SubWindow() const { return qobject_cast<QMdiSubWindow *>(m_host); }
QDockWidget *TfrmDockable::DockWidget() const { return qobject_cast<QDockWidget *>(m_host); }

bool TfrmDockable::IsFloating() const
{
    const QDockWidget *dock = DockWidget();
    return dock && dock->isFloating();
}

bool TfrmDockable::MainWindowShown() const { return m_main && m_main->Tag() != 0; }

bool TfrmDockable::IsShown() const { return m_host && m_host->isVisible(); }

void TfrmDockable::ShowWindow()
{
    // Asked by its stored placement while the base is being made: the window it belongs to is
    // not whole yet (its controls and bounds follow), so it shows once that is done.
    if (m_constructing) {
        QMetaObject::invokeMethod(this, [this] { ShowWindow(); }, Qt::QueuedConnection);
        return;
    }
    if (m_host)
        m_host->show();
}

void TfrmDockable::BringToFront()
{
    if (!m_host)
        return;
    m_host->show();
    if (QMdiSubWindow *sub = SubWindow(); sub && m_main) {
        if (sub->isMinimized())
            sub->showNormal();
        m_main->Workspace()->setActiveSubWindow(sub);
    }
    m_host->raise();
    update();
}

void TfrmDockable::CloseWindow()
{
    if (m_host)
        m_host->close();
}

void TfrmDockable::SetCaption(const QString &caption)
{
    setWindowTitle(caption);
    if (m_host)
        m_host->setWindowTitle(caption);
}

void TfrmDockable::SavePosition()
{
    if (QMdiSubWindow *sub = SubWindow()) {
        m_placement.child = true;
        m_placement.window_state = sub->isMaximized() ? 2 : sub->isMinimized() ? 1 : 0;
        m_placement.child_left = m_normal_bounds.left();
        m_placement.child_top = m_normal_bounds.top();
        m_placement.child_height = m_normal_bounds.height();
        m_placement.child_width = m_normal_bounds.width();
        return;
    }
    if (IsFloating()) {
        const QRect bounds = m_host->geometry();
        m_placement.child = false;
        m_placement.float_top = bounds.top();
        m_placement.float_left = bounds.left();
        m_placement.float_height = bounds.height();
        m_placement.float_width = bounds.width();
    }
}

void TfrmDockable::RestorePosition()
{
    if (QMdiSubWindow *sub = SubWindow()) {
        sub->showNormal();
        sub->setGeometry(m_placement.child_left, m_placement.child_top,
                         m_placement.child_width, m_placement.child_height);
        if (m_placement.window_state == 1)
            sub->showMinimized();
        else if (m_placement.window_state != 0)
            sub->showMaximized();
        return;
    }
    if (IsFloating())
        m_host->setGeometry(m_placement.float_left, m_placement.float_top,
                            m_placement.float_width, m_placement.float_height);
}

// Restoring a window state shows the child again: that show restores nothing more.
void TfrmDockable::FormShow()
{
    m_placement.visible = true;
    if (m_restoring)
        return;
    const QScopedValueRollback<bool> restoring(m_restoring, true);
    RestorePosition();
}

TfrmDockable::CloseAction TfrmDockable::FormClose()
{
    m_placement.visible = false;
    SavePosition();
    return m_placement.child ? CloseAction::Free : CloseAction::Hide;
}

bool TfrmDockable::FormDockOver(TfrmDockable *source, int x, int y, DockZone &zone)
{
    zone = {};
    if (!source)
        return false;
    zone = dock_zone(width(), height(), x, y);
    if (zone.align == DockAlign::None)
        return true;
    const QPoint top_left = mapToGlobal(QPoint(zone.rect.left, zone.rect.top));
    const QPoint bottom_right = mapToGlobal(QPoint(zone.rect.right, zone.rect.bottom));
    zone.rect = {top_left.x(), top_left.y(), bottom_right.x(), bottom_right.y()};
    source->SavePosition();
    SavePosition();
    return true;
}

bool TfrmDockable::DockOnto(TfrmDockable *source, int x, int y)
{
    DockZone zone;
    if (source == this || !FormDockOver(source, x, y, zone) || zone.align == DockAlign::None)
        return false;
    QDockWidget *site = DockWidget();
    QDockWidget *dragged = source->DockWidget();
    if (!site || !dragged || !m_main || dragged->allowedAreas() == Qt::NoDockWidgetArea)
        return false;
    if (site->isFloating()) {
        m_main->addDockWidget(Qt::BottomDockWidgetArea, site);
        site->setFloating(false);
    }
    const Qt::DockWidgetArea area = m_main->dockWidgetArea(site);
    m_main->addDockWidget(area, dragged);
    dragged->setFloating(false);
    dragged->show();
    switch (zone.align) {
    case DockAlign::Client:
        m_main->tabifyDockWidget(site, dragged);
        break;
    case DockAlign::Right:
        m_main->splitDockWidget(site, dragged, Qt::Horizontal);
        break;
    case DockAlign::Bottom:
        m_main->splitDockWidget(site, dragged, Qt::Vertical);
        break;
    case DockAlign::Left:
        // The split puts its second widget after the first: split, then swap the two.
        m_main->splitDockWidget(site, dragged, Qt::Horizontal);
        m_main->splitDockWidget(dragged, site, Qt::Horizontal);
        break;
    case DockAlign::Top:
        m_main->splitDockWidget(site, dragged, Qt::Vertical);
        m_main->splitDockWidget(dragged, site, Qt::Vertical);
        break;
    case DockAlign::None:
        return false;
    }
    source->SavePosition();
    SavePosition();
    return true;
}

TfrmDockable *TfrmDockable::SiteUnderCursor() const
{
    if (!m_main)
        return nullptr;
    const QPoint at = QCursor::pos();
    for (TfrmDockable *other : m_main->Dockables()) {
        if (other == this || !other->DockWidget() || !other->IsShown())
            continue;
        if (other->rect().contains(other->mapFromGlobal(at)))
            return other;
    }
    return nullptr;
}

// A floating window moved with the mouse held shows the zone of the window under the cursor;
// letting go there docks it.
bool TfrmDockable::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_host || !IsFloating())
        return QWidget::eventFilter(watched, event);
    guarded([&] {
        switch (event->type()) {
        case QEvent::Move: {
            m_drag_site = nullptr;
            if (m_drag_band)
                m_drag_band->hide();
            if (!(QApplication::mouseButtons() & Qt::LeftButton))
                return;
            TfrmDockable *site = SiteUnderCursor();
            if (!site)
                return;
            const QPoint at = site->mapFromGlobal(QCursor::pos());
            DockZone zone;
            if (!site->FormDockOver(this, at.x(), at.y(), zone) ||
                zone.align == DockAlign::None)
                return;
            m_drag_site = site;
            if (!m_drag_band)
                m_drag_band = new QRubberBand(QRubberBand::Rectangle);
            m_drag_band->setGeometry(QRect(QPoint(zone.rect.left, zone.rect.top),
                                           QPoint(zone.rect.right - 1, zone.rect.bottom - 1)));
            m_drag_band->show();
            break;
        }
        case QEvent::MouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonRelease: {
            if (m_drag_band)
                m_drag_band->hide();
            TfrmDockable *site = m_drag_site;
            m_drag_site = nullptr;
            if (!site)
                return;
            const QPoint at = site->mapFromGlobal(QCursor::pos());
            site->DockOnto(this, at.x(), at.y());
            break;
        }
        default:
            break;
        }
    });
    return QWidget::eventFilter(watched, event);
}
