#pragma once

#include "platform/SessionPower.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// Session and power on a systemd desktop, over D-Bus. From logind on the system bus: the Lock
// and Unlock signals and the LockedHint property of this process's session, PrepareForSleep of
// the manager, and PowerOff/Reboot. From the session bus: a screen saver's ActiveChanged
// (org.freedesktop.ScreenSaver, org.gnome.ScreenSaver), which covers desktops whose locker does
// not tell logind. The session counts as locked while either source says so. A bus or a service
// that is missing is logged once; its news then never come.
class TLogindSessionPower final : public QObject, public TSessionPower
{
    Q_OBJECT

public:
    explicit TLogindSessionPower(QObject* parent = nullptr);

    void ListenerSet(TSessionPowerListener listener) override;
    bool CanWatchSession() const override;
    bool CanWatchSleep() const override;
    // The time-up window has counted the warning down already, so logind is asked to power off
    // (or restart) at once; `timeoutSeconds` is not waited again. A refusal (no logind, not
    // authorised) raises EOSError with logind's own message.
    void ShutdownRequest(TShutdownKind kind, int timeoutSeconds) override;

    // The object path of the session watched; empty when none was found.
    const QString& SessionPath() const
    {
        return m_sessionPath;
    }

private Q_SLOTS:
    void OnSessionLock();
    void OnSessionUnlock();
    void OnSessionPropertiesChanged(const QString& interfaceName, const QVariantMap& changed, const QStringList&);
    void OnPrepareForSleep(bool sleeping);
    void OnScreenSaverActiveChanged(bool active);

private:
    QString SessionPathFind();
    void LockedStateReport();

    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    QString m_sessionPath;
    bool m_sleepWatched = false;
    bool m_screenSaverWatched = false;
    bool m_logindLocked = false;
    bool m_screenSaverActive = false;
    bool m_reportedLocked = false;
    TSessionPowerListener m_listener;
};
