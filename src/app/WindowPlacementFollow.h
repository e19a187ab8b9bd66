#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QWidget;
class TWindowPlacement;

// On a desktop that places the program's windows itself (see TWindowPlacement), the main
// window's place (docked at a screen edge, or sliding out) is handed to the desktop each time
// the window shows, moves or changes its size. `placeGet` gives where the program means the
// window to be.
class TWindowPlacementFollow : public QObject
{
    Q_OBJECT

public:
    TWindowPlacementFollow(QWidget* window, TWindowPlacement& placement, std::function<QPoint()> placeGet);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceTellLater();
    void PlaceTell();

    QWidget* m_window;
    TWindowPlacement& m_placement;
    std::function<QPoint()> m_placeGet;
    bool m_pending = false;
    int m_unmappedTries = 0;
    bool m_failureLogged = false;
};
