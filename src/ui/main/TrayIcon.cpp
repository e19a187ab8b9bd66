#include "ui/main/TrayIcon.h"

#include "model/ProgramLog.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

std::function<bool()>& TrayAvailableProbe()
{
    static std::function<bool()> probe;
    return probe;
}

bool MenuHasVisibleItem(const QMenu* menu)
{
    for (const QAction* action : menu->actions()) {
        if (action->isVisible() && !action->isSeparator()) {
            return true;
        }
    }
    return false;
}

} // namespace

void TTrayIcon::TrayAvailableProbeSet(std::function<bool()> probe)
{
    TrayAvailableProbe() = std::move(probe);
}

bool TTrayIcon::TrayAvailable()
{
    return TrayAvailableProbe() ? TrayAvailableProbe()() : QSystemTrayIcon::isSystemTrayAvailable();
}

TTrayIcon::TTrayIcon(const QIcon& icon, const QString& tip, const QString& hotkeyName, QObject* parent)
    : QObject(parent)
    , m_hotkeyName(hotkeyName)
{
    m_icon = new QSystemTrayIcon(icon, this);
    m_icon->setObjectName(QStringLiteral("TrayIcon"));
    m_icon->setToolTip(tip);
    // Qt reports a press, not a release, as the click; a double click's second press comes as
    // DoubleClick and does nothing, so a double click is one show-or-hide.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            LeftButtonDownRun();
        } else if (reason == QSystemTrayIcon::Context) {
            RightButtonDownRun();
        }
    });

    tmrTrayPoll = new QTimer(this);
    tmrTrayPoll->setObjectName(QStringLiteral("tmrTrayPoll"));
    tmrTrayPoll->setInterval(kTrayPollMs);
    connect(tmrTrayPoll, &QTimer::timeout, this, &TTrayIcon::TrayPoll);

    if (TrayAvailable()) {
        m_icon->show();
        m_inTray = true;
    } else {
        LogMessageWrite(hotkeyName.isEmpty()
                ? "This desktop has no system tray and the program has no hot key: the main window stays on the screen."
                : "This desktop has no system tray: the main window stays on the screen, and the hot key ("
                    + hotkeyName.toStdString() + ") shows and hides it.");
        tmrTrayPoll->start();
    }
}

TTrayIcon::~TTrayIcon()
{
    m_icon->hide();
}

void TTrayIcon::TrayPoll()
{
    if (!TrayAvailable()) {
        return;
    }
    tmrTrayPoll->stop();
    // The icon was never handed to a tray; showing it now registers it with the new one.
    m_icon->hide();
    m_icon->show();
    m_inTray = true;
    LogMessageWrite("A system tray appeared: the program's icon is in it now.");
    emit TrayAppeared();
}

void TTrayIcon::WhereaboutsTell()
{
    if (!m_inTray || m_whereaboutsTold) {
        return;
    }
    m_whereaboutsTold = true;
    QString text = QStringLiteral("It keeps running in the system tray. Click its icon there to open it");
    // The name says the whole key press ("Alt pressed twice", "Ctrl+Alt+H or Alt pressed twice").
    if (!m_hotkeyName.isEmpty()) {
        text += QStringLiteral(", or press the hot key (%1)").arg(m_hotkeyName);
    }
    text += QStringLiteral(". Its settings are under Tools in that window.");
    m_lastMessage = text;
    ++m_messagesShown;
    m_icon->showMessage(QStringLiteral("Tallyhour is running"), text, QSystemTrayIcon::Information, 15000);
}

void TTrayIcon::LeftButtonDownRun()
{
    emit LeftButtonDown();
}

void TTrayIcon::RightButtonDownRun()
{
    emit RightButtonDown();
    // An empty menu would open as a bare frame; the program's tray menu has no visible item.
    if (m_menu && MenuHasVisibleItem(m_menu)) {
        m_menu->popup(QCursor::pos());
    }
}
