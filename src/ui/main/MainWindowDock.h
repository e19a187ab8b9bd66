#pragma once

#include "ui/main/DockRules.h"

#include <QObject>
#include <QPoint>
#include <QRect>

#include <functional>

class QScreen;
class QTimer;
class TDockSettings;
class TfrmBase;

// Keeps the main window at the edge of the screen's work area: places it by the docking
// choices, snaps it to the other edge when it is dragged across the middle, follows changes of
// the work area (a panel added or moved, another resolution), and slides it out of sight when
// auto-hide is on and the user has left it, leaving a strip of two pixels to bring it back.
class TMainWindowDock : public QObject
{
    Q_OBJECT

public:
    // What the dock asks of the main window.
    struct THooks
    {
        std::function<bool()> PausedGet; // monitoring paused: the timers do nothing
        std::function<int()> LiteHeightGet; // the window's height in Lite view
        std::function<void()> ApplicationMinimize; // to the tray
        std::function<void()> ApplicationRestore; // shown and in front
    };

    TMainWindowDock(TfrmBase* window, TDockSettings& settings, THooks hooks, QObject* parent = nullptr);

    QTimer* tmrDeactivation = nullptr; // 1000 ms: arms tmrAutohide once the user has left
    QTimer* tmrAutohide = nullptr; // 3000 ms: starts sliding out
    QTimer* tmrAutohideSlide = nullptr; // 10 ms: one step of the slide

    // Takes the stored docking and places the window; starts tmrDeactivation.
    void Start();

    void Reposition();
    int Align() const
    {
        return m_align;
    }
    int AlignVertical() const
    {
        return m_alignVertical;
    }
    // Each takes a new value only when it differs, then places the window and stores the value.
    void AlignSet(int value);
    void AlignVerticalSet(int value);
    bool LiteView() const
    {
        return m_liteView;
    }
    // The view switch tells the dock which view is shown; it places the window itself.
    void LiteViewSet(bool value)
    {
        m_liteView = value;
    }

    // The drag hook: never lets the window follow the mouse, but moves it to the other edge
    // once the proposed place lies past the middle of the work area.
    bool CanMoveTo(int left, int top);

    // Whether the user is with the window: it is active, or the mouse is over it. Never while
    // paused; an error counts as no.
    bool ApplicationInFocus();

    // The auto-hide action's new checked state.
    void AutohideToggle(bool checked);

    // A left click on the tray icon (and the hot key): brings back a window slid out of sight,
    // hides a shown one, shows a hidden one.
    void TrayLeftButtonDown();

    // Where the dock put the window. Only the dock places it, and the window system's reports
    // of a frameless tool window's place can lag behind or be relative to the manager's frame,
    // so the slide and the attention test go by this.
    QRect Place() const;

    // The work area as the last placement found it.
    const TWorkArea& WorkAreaRemembered() const
    {
        return m_workArea;
    }
    // The work area now; tests replace it.
    std::function<TWorkArea()> WorkAreaSource;
    // The work area may have changed: when it did, the window is shown and placed again.
    void WorkAreaCheck();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Paused() const;
    void WindowMove(int left, int top);
    void ScreenFollow(QScreen* screen);
    void tmrDeactivationTimer();
    void tmrAutohideTimer();
    void tmrAutohideSlideTimer();

    TfrmBase* m_window;
    TDockSettings& m_settings;
    THooks m_hooks;
    int m_align = 0;
    int m_alignVertical = 0;
    bool m_liteView = false;
    TWorkArea m_workArea;
    QPoint m_place;
    QScreen* m_screen = nullptr;
};
