#include "ui/main/MainWindowDock.h"

#include "ui/framework/FrmBase.h"
#include "ui/framework/ImagePanel.h"
#include "ui/main/DockSettings.h"

#include "model/ProgramLog.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace {

QTimer* TimerMake(QObject* parent, const char* name, int interval)
{
    auto* timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    timer->setInterval(interval);
    return timer;
}

} // namespace

TMainWindowDock::TMainWindowDock(TfrmBase* window, TDockSettings& settings, THooks hooks, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_settings(settings)
    , m_hooks(std::move(hooks))
{
    tmrDeactivation = TimerMake(this, "tmrDeactivation", 1000);
    tmrAutohide = TimerMake(this, "tmrAutohide", 3000);
    tmrAutohideSlide = TimerMake(this, "tmrAutohideSlide", 10);
    connect(tmrDeactivation, &QTimer::timeout, this, &TMainWindowDock::tmrDeactivationTimer);
    connect(tmrAutohide, &QTimer::timeout, this, &TMainWindowDock::tmrAutohideTimer);
    connect(tmrAutohideSlide, &QTimer::timeout, this, &TMainWindowDock::tmrAutohideSlideTimer);

    WorkAreaSource = [this] {
        const QRect area = m_window->WorkArea();
        return TWorkArea { area.left(), area.top(), area.left() + area.width(), area.top() + area.height() };
    };

    m_window->pnlBody->setMouseTracking(true);
    m_window->pnlBody->installEventFilter(this);
    // The hidden strip is the window's whole edge: header and page controls lie over the body
    // there, and the window hears the mouse come in wherever it crosses the strip.
    m_window->installEventFilter(this);
    ScreenFollow(m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen());
}

void TMainWindowDock::ScreenFollow(QScreen* screen)
{
    if (m_screen == screen) {
        return;
    }
    if (m_screen) {
        disconnect(m_screen, nullptr, this, nullptr);
    }
    m_screen = screen;
    if (m_screen) {
        connect(m_screen, &QScreen::availableGeometryChanged, this, &TMainWindowDock::WorkAreaCheck);
    }
}

void TMainWindowDock::Start()
{
    AlignSet(m_settings.AlignGet());
    AlignVerticalSet(m_settings.AlignVerticalGet());
    Reposition();
    if (QWindow* handle = m_window->windowHandle()) {
        connect(handle, &QWindow::screenChanged, this, [this](QScreen* screen) {
            ScreenFollow(screen);
            WorkAreaCheck();
        });
    }
    tmrDeactivation->start();
}

bool TMainWindowDock::Paused() const
{
    return m_hooks.PausedGet && m_hooks.PausedGet();
}

void TMainWindowDock::Reposition()
{
    m_workArea = WorkAreaSource();
    const int liteHeight = m_hooks.LiteHeightGet ? m_hooks.LiteHeightGet() : m_window->height();
    const TDockPlacement placement
        = DockPlacementGet(m_align, m_alignVertical, m_liteView, m_window->width(), liteHeight, m_workArea);
    if (placement.Height != m_window->height()) {
        m_window->resize(m_window->width(), placement.Height);
    }
    WindowMove(placement.Left, placement.Top);
}

void TMainWindowDock::WindowMove(int left, int top)
{
    m_place = QPoint(left, top);
    m_window->move(left, top);
}

QRect TMainWindowDock::Place() const
{
    return QRect(m_place, m_window->size());
}

void TMainWindowDock::AlignSet(int value)
{
    if (value == m_align) {
        return;
    }
    m_align = value;
    Reposition();
    m_settings.AlignSet(value);
}

void TMainWindowDock::AlignVerticalSet(int value)
{
    if (value == m_alignVertical) {
        return;
    }
    m_alignVertical = value;
    Reposition();
    m_settings.AlignVerticalSet(value);
}

bool TMainWindowDock::CanMoveTo(int left, int top)
{
    const TDragSnap snap = DragSnapGet(left, top, m_align, m_alignVertical, m_liteView, WorkAreaSource());
    if (m_liteView) {
        AlignVerticalSet(snap.AlignVertical);
    }
    AlignSet(snap.Align);
    return false;
}

bool TMainWindowDock::ApplicationInFocus()
{
    try {
        if (Paused()) {
            return false;
        }
        // Not isActiveWindow(): that answers yes for every parentless tool window, and the main
        // window is one (it keeps it out of the task bar).
        if (QApplication::activeWindow() == m_window) {
            return true;
        }
        return m_window->isVisible() && Place().contains(QCursor::pos());
    } catch (const std::exception& error) {
        LogError(error, "; TfrmMain.ApplicationInFocus: ");
        return false;
    }
}

void TMainWindowDock::AutohideToggle(bool checked)
{
    m_settings.AutohideSet(checked);
}

void TMainWindowDock::TrayLeftButtonDown()
{
    if (m_window->AutohideState == kAutohideHidden) {
        if (m_hooks.ApplicationRestore) {
            m_hooks.ApplicationRestore();
        }
        tmrAutohideSlide->start();
    } else if (m_window->isVisible()) {
        if (m_window->isEnabled() && m_hooks.ApplicationMinimize) {
            m_hooks.ApplicationMinimize();
        }
    } else if (m_hooks.ApplicationRestore) {
        m_hooks.ApplicationRestore();
    }
}

void TMainWindowDock::WorkAreaCheck()
{
    if (WorkAreaSource() == m_workArea) {
        return;
    }
    // A slide under way was measured against the old edges; the window comes back in full.
    tmrAutohideSlide->stop();
    m_window->AutohideState = kAutohideShown;
    Reposition();
}

void TMainWindowDock::tmrDeactivationTimer()
{
    if (Paused() || ApplicationInFocus() || m_window->AutohideState != kAutohideShown || tmrAutohide->isActive()
        || !m_settings.AutohideGet()) {
        return;
    }
    tmrAutohide->start();
}

void TMainWindowDock::tmrAutohideTimer()
{
    // A window minimised to the tray has nothing to slide.
    if (Paused() || !m_window->isVisible() || m_window->isMinimized() || m_window->isMaximized() || ApplicationInFocus()
        || !m_settings.AutohideGet()) {
        return;
    }
    tmrAutohide->stop();
    if (m_window->AutohideState == kAutohideShown) {
        tmrAutohideSlide->start();
    }
}

void TMainWindowDock::tmrAutohideSlideTimer()
{
    if (Paused()) {
        return;
    }
    const TSlideStep step
        = AutohideSlideStep(m_window->AutohideState, m_align, m_place.x(), m_window->width(), m_workArea);
    m_window->AutohideState = step.State;
    if (step.Finished) {
        tmrAutohideSlide->stop();
        tmrAutohide->stop();
        if (step.State == kAutohideShown && m_settings.AutohideGet()) {
            tmrAutohide->start();
        }
    }
    WindowMove(step.Left, m_place.y());
}

bool TMainWindowDock::eventFilter(QObject* watched, QEvent* event)
{
    // The event type first: while the window is destroyed its body still sends events here, and
    // the half-destroyed window must not be touched.
    const bool mouseCame = (event->type() == QEvent::MouseMove && watched == m_window->pnlBody)
        || (event->type() == QEvent::Enter && watched == m_window);
    if (mouseCame && m_window->AutohideState == kAutohideHidden && m_settings.AutohideGet()) {
        tmrAutohideSlide->start();
    }
    return QObject::eventFilter(watched, event);
}
