#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>

#include <functional>

class QSystemTrayIcon;
class QTimer;

// The program's icon in the desktop's system tray (notification area), with the program's
// title as its tip. A left press is the main window's show-or-hide; a right press brings the
// window forward and opens the tray menu, when it has anything to show.
//
// Desktops without a tray exist (GNOME without its tray extension, a bare window manager). The
// icon then waits for one: it asks again every few seconds and appears as soon as a tray does
// (a panel started after the program).
class TTrayIcon : public QObject
{
    Q_OBJECT

public:
    // `hotkeyName` says what the user presses for the hot key (empty: there is none), for the
    // line that tells how a window without a tray is shown and hidden.
    TTrayIcon(const QIcon& icon, const QString& tip, const QString& hotkeyName = {}, QObject* parent = nullptr);
    ~TTrayIcon() override;

    // Whether a tray holds the icon now.
    bool InTray() const
    {
        return m_inTray;
    }
    QSystemTrayIcon* Icon() const
    {
        return m_icon;
    }
    // The menu a right press opens (pmnTray); it opens only when it has a visible item.
    void MenuSet(QMenu* menu)
    {
        m_menu = menu;
    }

    // Tells the user, once, in a tray message, that the program went to the tray, how to open it
    // and where its settings are; after the first start's settings wizard, applied or cancelled,
    // the window vanishes there without a word otherwise. Nothing is shown without a tray (the
    // window then stays on the screen).
    void WhereaboutsTell();
    // The last message shown at the icon and how many were shown, for the tests.
    QString LastMessage() const
    {
        return m_lastMessage;
    }
    int MessagesShown() const
    {
        return m_messagesShown;
    }

    // Whether the desktop has a tray; tests replace the question.
    static void TrayAvailableProbeSet(std::function<bool()> probe);
    static bool TrayAvailable();

    // How often a missing tray is looked for again.
    static constexpr int kTrayPollMs = 2000;
    QTimer* tmrTrayPoll = nullptr;

    // What a press on the icon does, callable without a tray (the hot key, tests).
    void LeftButtonDownRun();
    void RightButtonDownRun();

signals:
    void LeftButtonDown();
    // Before the menu opens.
    void RightButtonDown();
    // A tray appeared after the program had started without one.
    void TrayAppeared();

private:
    void TrayPoll();

    QSystemTrayIcon* m_icon = nullptr;
    QPointer<QMenu> m_menu;
    bool m_inTray = false;
    QString m_hotkeyName;
    QString m_lastMessage;
    bool m_whereaboutsTold = false;
    int m_messagesShown = 0;
};
