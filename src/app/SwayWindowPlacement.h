#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QWidget;
class TSwayWindowSystem;

// sway places every floating window itself, in the middle of the screen, when it maps it and
// again whenever an X11 program asks to move or resize it; only sway's own command puts one
// elsewhere. So on sway the main window's place (docked at a screen edge, or sliding out) is
// handed to sway each time the window shows, moves or changes its size. `placeGet` gives where
// the program means the window to be.
class TSwayWindowPlacement : public QObject
{
    Q_OBJECT

public:
    TSwayWindowPlacement(QWidget* window, TSwayWindowSystem& sway, std::function<QPoint()> placeGet);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceTellLater();
    void PlaceTell();

    QWidget* m_window;
    TSwayWindowSystem& m_sway;
    std::function<QPoint()> m_placeGet;
    bool m_pending = false;
    int m_unmappedTries = 0;
    bool m_failureLogged = false;
};
