#include "app/SwayWindowPlacement.h"

#include "model/ProgramLog.h"
#include "platform/linux/sway/SwayWindowSystem.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

TSwayWindowPlacement::TSwayWindowPlacement(QWidget* window, TSwayWindowSystem& sway, std::function<QPoint()> placeGet)
    : QObject(window)
    , m_window(window)
    , m_sway(sway)
    , m_placeGet(std::move(placeGet))
{
    m_window->installEventFilter(this);
    // The window may be on the screen already.
    PlaceTellLater();
}

void TSwayWindowPlacement::PlaceTellLater()
{
    // Once the event loop has run: sway knows the window only after it is mapped, and a slide's
    // steps come together.
    if (m_pending)
        return;
    m_pending = true;
    QTimer::singleShot(m_unmappedTries > 0 ? 50 : 0, this, [this] {
        m_pending = false;
        PlaceTell();
    });
}

bool TSwayWindowPlacement::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == m_window && (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize)) {
        if (type == QEvent::Show)
            m_unmappedTries = 0;
        // Told every time, also when the place is unchanged: sway may have put the window back
        // in the middle meanwhile. Telling sway the place it has already changes nothing, and
        // brings no new event.
        PlaceTellLater();
    }
    return QObject::eventFilter(watched, event);
}

void TSwayWindowPlacement::PlaceTell()
{
    if (!m_window->isVisible())
        return;
    const QPoint place = m_placeGet();
    const int64_t ownProcess = QCoreApplication::applicationPid();
    const std::string title = m_window->windowTitle().toStdString();
    TWindowHandle container = 0;
    for (TWindowHandle window : m_sway.TopLevelWindowsGet()) {
        if (m_sway.WindowProcessIdGet(window) == ownProcess && m_sway.WindowTextGet(window) == title) {
            container = window;
            break;
        }
    }
    if (container == 0) {
        // Not mapped yet; asked again for a second at most.
        if (++m_unmappedTries < 20)
            PlaceTellLater();
        return;
    }
    m_unmappedTries = 0;
    const bool moved = m_sway.CommandRun("[con_id=" + std::to_string(container) + "] move absolute position "
        + std::to_string(place.x()) + " " + std::to_string(place.y()));
    if (!moved && !m_failureLogged) {
        m_failureLogged = true;
        LogMessageWrite(
            "sway did not move the main window to its place at the screen's edge; it stays where sway put it");
    }
}
