#pragma once

#include "platform/SessionPower.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <vector>

// Session and power on a systemd desktop, over D-Bus. From logind on the system bus: the Lock
// and Unlock signals and the LockedHint property of this process's session, PrepareForSleep of
// the manager, and PowerOff/Reboot. logind's word comes first: only the system's own services
// can change it. From the session bus: a screen saver's ActiveChanged (org.freedesktop.ScreenSaver,
// org.gnome.ScreenSaver), which covers desktops whose locker does not tell logind. Any program of
// the session may send such a signal, or take a name that no screen saver holds (a bare window
// manager has none), so one counts only when it comes from the current owner of the name, on the
// path that service uses, with the one boolean it defines, and only when that owner is a
// desktop's own program: its executable, and every executable file it runs, lie in a system
// folder, and it is not an interpreter or loader running something else. The first refused signal
// and the first refused owner of each name are logged. The session counts as locked while either
// source says so. A bus or a service that is missing is logged once; its news then never come.
class TLogindSessionPower final : public QObject, public TSessionPower
{
    Q_OBJECT

public:
    explicit TLogindSessionPower(QObject* parent = nullptr);
    // `systemFolders`: where a screen saver's program must lie to be heard (absolute, without a
    // trailing "/"); the program always uses SystemFoldersDefault().
    explicit TLogindSessionPower(QStringList systemFolders, QObject* parent = nullptr);
    // The folders only the system's administrator can write, where the desktops install their
    // screen savers and shells.
    static QStringList SystemFoldersDefault();

    void ListenerSet(TSessionPowerListener listener) override;
    bool CanWatchSession() const override;
    bool CanWatchSleep() const override;
    // The time-up window has counted the warning down already, so logind is asked to power off
    // (or restart) at once; `timeoutSeconds` is not waited again. A refusal (no system bus, no
    // logind, not authorised) raises EOSError that says so, with logind's own message.
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
    void OnScreenSaverActiveChanged(const QDBusMessage& message);
    void OnScreenSaverOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);
    void OnScreenSaverOwnerProcess(QDBusPendingCallWatcher* call);

private:
    // One screen-saver service: its well-known name (also its interface), the paths it sends
    // from, the unique name that owns it now, whether that owner is a desktop's own program (not
    // heard while its process is still asked for) and what it last said.
    struct TScreenSaver
    {
        QString Name;
        QStringList Paths;
        QString Owner;
        bool OwnerTrusted = false;
        bool OwnerRefusalLogged = false;
        bool Active = false;
    };
    void ScreenSaverRefusalLog(const QDBusMessage& message, const QString& reason);
    // Asks the bus which process owns the name now; the answer decides whether it is heard.
    void ScreenSaverOwnerCheck(TScreenSaver& saver);

    QString SessionPathFind();
    void LockedStateReport();

    QStringList m_systemFolders;
    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    QString m_sessionPath;
    bool m_sleepWatched = false;
    bool m_screenSaverWatched = false;
    bool m_logindLocked = false;
    std::vector<TScreenSaver> m_screenSavers;
    bool m_screenSaverRefusalLogged = false;
    bool m_reportedLocked = false;
    TSessionPowerListener m_listener;
};
