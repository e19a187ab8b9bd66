#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QWidget;
class TSwayWindowSystem;

// sway places every floating window itself (in the middle of the screen) and ignores where a
// program asks to put it; only its own command moves one. So on sway the main window's place
// (docked at a screen edge, or sliding out) is handed to sway each time the window shows or the
// program moves it. `placeGet` gives where the program means the window to be.
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
    bool m_told = false;
    QPoint m_toldPlace;
    bool m_failureLogged = false;
};
