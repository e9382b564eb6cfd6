// frmKXDockable: `TfrmDockable`, the base of every dockable debug window (messages, watches,
// stdio, disassembly, stack, registers, trace, memory dump). The form is a widget that lives in
// one of two hosts of the main window: a sub-window of its workspace (an MDI child, freed when
// it closes) or a dock widget (floating, or docked into the main window's dock areas; hidden
// when it closes). The base keeps the window's placement for both, loads it from the settings
// store when the window is made and saves it when the window goes (`LoadDockState`,
// `SaveDockState`), restores it whenever the window is shown, and decides where a window
// dragged over another one docks.
// The main window keeps the list of live dockable windows; the windows add and remove
// themselves.
#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <string>

#include "settings/guiEnvironment.h"

class QDockWidget;
class QMdiSubWindow;
class QRubberBand;
class TfrmMainWindow;

// Where a window dropped on another one goes, as alignment codes.
enum class DockAlign : uint8_t { None = 0, Top = 1, Bottom = 2, Left = 3, Right = 4, Client = 5 };

// A rectangle as left, top, right, bottom (right and bottom exclusive).
struct DockRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const DockRect &) const = default;
};

struct DockZone {
    DockAlign align = DockAlign::None;
    DockRect rect; // in the site's client coordinates; empty for None
};

// The zone of a point (x, y) in a client area of width w and height h (integer division), the
// first test rectangle holding the point wins:
//   (0, 0, w/5, h)                    left    -> (0, 0, w/2, h)
//   (w/5, 0, 4(w/5), h/5)             top     -> (0, 0, w, h/2)
//   (4(w/5), 0, w, h)                 right   -> (w/2, 0, w, h)
//   (w/5, 4(h/5), 4(w/5), h)          bottom  -> (0, h/2, w, h)
//   (w/5, h/5, 4(w/5), 4(h/5))        centre  -> the test rectangle itself
// A point outside the client area (a negative coordinate included) has no zone.
DockZone dock_zone(int w, int h, int x, int y);

class TfrmDockable : public QWidget, public TDockableWindowHost {
    Q_OBJECT
public:
    enum class CloseAction { Hide, Free };

    // The window named `name` (its component name), with the bounds of its form as the
    // placement's defaults; in the workspace when `as_child`, else floating in a dock widget
    // that may dock when `dockable`. Joins the main window's list and loads its placement; a
    // placement saved "Visible" shows it: once the making is done (the derived window whole)
    // when the main window has been shown, else at the main window's first show.
    TfrmDockable(TfrmMainWindow *main, const QString &name, bool as_child, bool dockable,
                 const QRect &bounds);
    // Leaves the list, saves the placement ("Visible" when the window was up: shown and not
    // closed since) and takes its host along.
    ~TfrmDockable() override;

    TfrmMainWindow *MainWindow() const { return m_main; }
    QMdiSubWindow *SubWindow() const;
    QDockWidget *DockWidget() const;
    QWidget *Host() const { return m_host; }
    bool IsMdiChild() const { return SubWindow() != nullptr; }
    bool IsFloating() const;
    bool IsShown() const;
    void ShowWindow() override;
    void BringToFront();
    // As the user's close: the placement is saved, then the window is freed or hidden.
    void CloseWindow();
    void SetCaption(const QString &caption);

    // The placement: an MDI child saves its normal bounds and window state and marks itself a
    // child; a floating window saves its bounds and is no child; a docked one saves nothing.
    virtual void SavePosition();
    // An MDI child takes its child bounds and then its window state; a floating window takes
    // its floating bounds; a docked one keeps its place.
    virtual void RestorePosition();
    // Each time the window is shown: it counts as up until it is closed.
    void FormShow();
    // Asked before the window closes: false keeps it open (a window busy with the target).
    virtual bool FormCloseQuery() { return true; }
    // When it closes: no longer up; the placement is saved; a child is freed, any other hidden.
    virtual CloseAction FormClose();
    // `source` dragged over this window at (x, y) of its client area: accepted when it is a
    // dockable window; the zone found (if any) comes back in `zone` with its rectangle in
    // screen coordinates, and both windows save their placement.
    bool FormDockOver(TfrmDockable *source, int x, int y, DockZone &zone);
    // Drops `source` on this window at (x, y): split beside it by the zone, or tabbed with it
    // in the centre. Both must live in dock widgets and `source` must be allowed to dock.
    bool DockOnto(TfrmDockable *source, int x, int y);

    // TDockableWindowHost: the component name, the placement, whether the main window was
    // shown.
    std::string Name() const override { return objectName().toStdString(); }
    TDockPlacement &Placement() override { return m_placement; }
    const TDockPlacement &Placement() const { return m_placement; }
    bool MainWindowShown() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class TDockableSubWindow;
    friend class TDockableDock;

    void HostGone() { m_host_gone = true; }
    void NoteNormalBounds(const QRect &bounds) { m_normal_bounds = bounds; }
    TfrmDockable *SiteUnderCursor() const;

    QPointer<TfrmMainWindow> m_main;
    QWidget *m_host = nullptr;
    bool m_host_gone = false;
    TDockPlacement m_placement;
    QRect m_normal_bounds;
    bool m_restoring = false;
    bool m_constructing = false;
    // A drag in progress over another window.
    QPointer<TfrmDockable> m_drag_site;
    QRubberBand *m_drag_band = nullptr;
};
