#include "app/WindowPlacementFollow.h"

#include "model/ProgramLog.h"
#include "platform/WindowPlacement.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

TWindowPlacementFollow::TWindowPlacementFollow(
    QWidget* window, TWindowPlacement& placement, std::function<QPoint()> placeGet)
    : QObject(window)
    , m_window(window)
    , m_placement(placement)
    , m_placeGet(std::move(placeGet))
{
    m_window->installEventFilter(this);
    // The window may be on the screen already.
    PlaceTellLater();
}

void TWindowPlacementFollow::PlaceTellLater()
{
    // Once the event loop has run: the desktop knows the window only after it is mapped, and a
    // slide's steps come together.
    if (m_pending)
        return;
    m_pending = true;
    QTimer::singleShot(m_unmappedTries > 0 ? 50 : 0, this, [this] {
        m_pending = false;
        PlaceTell();
    });
}

bool TWindowPlacementFollow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == m_window && (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize)) {
        if (type == QEvent::Show)
            m_unmappedTries = 0;
        // Told every time, also when the place is unchanged: the desktop may have put the window
        // back in the middle meanwhile. Telling it the place it has already changes nothing, and
        // brings no new event.
        PlaceTellLater();
    }
    return QObject::eventFilter(watched, event);
}

void TWindowPlacementFollow::PlaceTell()
{
    if (!m_window->isVisible())
        return;
    const QPoint place = m_placeGet();
    const TWindowPlacement::TResult result = m_placement.WindowPlace(
        QCoreApplication::applicationPid(), m_window->windowTitle().toStdString(), place.x(), place.y());
    if (result == TWindowPlacement::TResult::NotMapped) {
        // Not mapped yet; asked again for a second at most.
        if (++m_unmappedTries < 20)
            PlaceTellLater();
        return;
    }
    m_unmappedTries = 0;
    if (result == TWindowPlacement::TResult::Refused && !m_failureLogged) {
        m_failureLogged = true;
        LogMessageWrite("The desktop did not move the main window to its place at the screen's edge; it stays where "
                        "the desktop put it");
    }
}
