#include "platform/linux/dbus/LogindSessionPower.h"

#include "model/Exceptions.h"
#include "model/ProgramLog.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>

#include <unistd.h>

namespace {

const QString kLogindService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// The look-ups run while the program starts; a bus that does not answer must not hold it long.
constexpr int kLookupTimeoutMs = 5000;

QDBusMessage ManagerCall(const QString& method)
{
    return QDBusMessage::createMethodCall(kLogindService, kManagerPath, kManagerInterface, method);
}

} // namespace

TLogindSessionPower::TLogindSessionPower(QObject* parent)
    : QObject(parent)
    , m_systemBus(QDBusConnection::systemBus())
    , m_sessionBus(QDBusConnection::sessionBus())
{
    if (!m_systemBus.isConnected()) {
        LogMessageWrite("The system bus is not available (" + m_systemBus.lastError().message().toStdString()
            + "); locking and sleep are not watched through logind.");
    } else {
        m_sessionPath = SessionPathFind();
        if (!m_sessionPath.isEmpty()) {
            m_systemBus.connect(
                kLogindService, m_sessionPath, kSessionInterface, QStringLiteral("Lock"), this, SLOT(OnSessionLock()));
            m_systemBus.connect(kLogindService, m_sessionPath, kSessionInterface, QStringLiteral("Unlock"), this,
                SLOT(OnSessionUnlock()));
            m_systemBus.connect(kLogindService, m_sessionPath, kPropertiesInterface,
                QStringLiteral("PropertiesChanged"), this,
                SLOT(OnSessionPropertiesChanged(QString, QVariantMap, QStringList)));
        }
        m_sleepWatched = m_systemBus.connect(kLogindService, kManagerPath, kManagerInterface,
            QStringLiteral("PrepareForSleep"), this, SLOT(OnPrepareForSleep(bool)));
    }
    if (!m_sessionBus.isConnected()) {
        LogMessageWrite("The session bus is not available (" + m_sessionBus.lastError().message().toStdString()
            + "); screen savers are not watched.");
        return;
    }
    // Any sender and path: the screen savers live under several names and object paths.
    const bool freedesktop = m_sessionBus.connect(QString(), QString(), QStringLiteral("org.freedesktop.ScreenSaver"),
        QStringLiteral("ActiveChanged"), this, SLOT(OnScreenSaverActiveChanged(bool)));
    const bool gnome = m_sessionBus.connect(QString(), QString(), QStringLiteral("org.gnome.ScreenSaver"),
        QStringLiteral("ActiveChanged"), this, SLOT(OnScreenSaverActiveChanged(bool)));
    m_screenSaverWatched = freedesktop || gnome;
}

QString TLogindSessionPower::SessionPathFind()
{
    // The session this process runs in; the environment's session id and logind's "auto" for a
    // process that logind does not count in one (started from a service, say).
    QDBusMessage byPid = ManagerCall(QStringLiteral("GetSessionByPID"));
    byPid << static_cast<uint>(getpid());
    QDBusReply<QDBusObjectPath> reply = m_systemBus.call(byPid, QDBus::Block, kLookupTimeoutMs);
    if (reply.isValid()) {
        return reply.value().path();
    }
    QString firstError = reply.error().message();
    QStringList ids;
    const QString environmentId = qEnvironmentVariable("XDG_SESSION_ID");
    if (!environmentId.isEmpty()) {
        ids << environmentId;
    }
    ids << QStringLiteral("auto");
    for (const QString& id : ids) {
        QDBusMessage byId = ManagerCall(QStringLiteral("GetSession"));
        byId << id;
        reply = m_systemBus.call(byId, QDBus::Block, kLookupTimeoutMs);
        if (reply.isValid()) {
            return reply.value().path();
        }
    }
    LogMessageWrite("No logind session found for this program (" + firstError.toStdString()
        + "); locking is watched through screen savers only.");
    return {};
}

void TLogindSessionPower::ListenerSet(TSessionPowerListener listener)
{
    m_listener = std::move(listener);
}

bool TLogindSessionPower::CanWatchSession() const
{
    return !m_sessionPath.isEmpty() || m_screenSaverWatched;
}

bool TLogindSessionPower::CanWatchSleep() const
{
    return m_sleepWatched;
}

void TLogindSessionPower::ShutdownRequest(TShutdownKind kind, int /*timeoutSeconds*/)
{
    if (!m_systemBus.isConnected()) {
        throw EOSError("The computer cannot be shut down: the system bus is not available ("
            + m_systemBus.lastError().message().toStdString() + ")");
    }
    QDBusMessage call = ManagerCall(kind == skRestart ? QStringLiteral("Reboot") : QStringLiteral("PowerOff"));
    // Not interactive: nobody is asked for a password; a refusal comes back as an error.
    call << false;
    const QDBusMessage answer = m_systemBus.call(call);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        throw EOSError("The computer cannot be shut down: " + answer.errorMessage().toStdString());
    }
}

void TLogindSessionPower::OnSessionLock()
{
    m_logindLocked = true;
    LockedStateReport();
}

void TLogindSessionPower::OnSessionUnlock()
{
    m_logindLocked = false;
    LockedStateReport();
}

void TLogindSessionPower::OnSessionPropertiesChanged(
    const QString& interfaceName, const QVariantMap& changed, const QStringList&)
{
    if (interfaceName != kSessionInterface) {
        return;
    }
    const auto hint = changed.constFind(QStringLiteral("LockedHint"));
    if (hint != changed.constEnd()) {
        m_logindLocked = hint->toBool();
        LockedStateReport();
    }
}

void TLogindSessionPower::OnPrepareForSleep(bool sleeping)
{
    if (m_listener.SleepingChanged) {
        m_listener.SleepingChanged(sleeping);
    }
}

void TLogindSessionPower::OnScreenSaverActiveChanged(bool active)
{
    m_screenSaverActive = active;
    LockedStateReport();
}

void TLogindSessionPower::LockedStateReport()
{
    const bool locked = m_logindLocked || m_screenSaverActive;
    if (locked == m_reportedLocked) {
        return;
    }
    m_reportedLocked = locked;
    if (m_listener.SessionLockedChanged) {
        m_listener.SessionLockedChanged(locked);
    }
}
