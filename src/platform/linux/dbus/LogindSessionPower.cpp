#include "platform/linux/dbus/LogindSessionPower.h"

#include "model/Exceptions.h"
#include "model/ProgramLog.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
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

QDBusMessage BusDaemonCall(const QString& method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"), method);
}

bool InFolders(const std::string& path, const QStringList& folders)
{
    for (const QString& folder : folders) {
        const std::string prefix = folder.toStdString() + "/";
        if (path.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

// Programs that run what they are handed (a script, a compiled file through the loader): one of
// them in a system folder says nothing about who wrote what it runs.
bool RunsOtherCode(const std::string& fileName)
{
    static const std::regex pattern("(python|pypy|perl|ruby|node|nodejs|gjs|gjs-console|lua|luajit|php|tclsh|wish|"
                                    "guile|gawk|mawk|awk|bash|sh|dash|zsh|ksh|mksh|fish|busybox|env|java|mono|dotnet|"
                                    "qml|qmlscene|Rscript|R)[0-9.]*|ld-linux.*|ld-musl.*|ld\\.so.*|ld-[0-9.]+\\.so.*");
    return std::regex_match(fileName, pattern);
}

// Why the process `pid` may not speak for the desktop's screen saver; empty when it may.
std::string ScreenSaverProcessDoubt(uint pid, const QStringList& systemFolders)
{
    const std::string process = "/proc/" + std::to_string(pid);
    std::error_code error;
    std::string program = std::filesystem::read_symlink(process + "/exe", error).string();
    if (error) {
        return "its program cannot be read (" + error.message() + ")";
    }
    const std::string deleted = " (deleted)"; // replaced by an update while it runs
    if (program.size() > deleted.size()
        && program.compare(program.size() - deleted.size(), deleted.size(), deleted) == 0) {
        program.resize(program.size() - deleted.size());
    }
    if (!InFolders(program, systemFolders)) {
        return "its program " + program + " is not in a system folder";
    }
    if (RunsOtherCode(std::filesystem::path(program).filename().string())) {
        return "its program " + program + " runs scripts or other programs";
    }
    // A desktop's program from a system folder may still have been handed code of the session's
    // own (LD_PRELOAD, a plug-in from the home folder): every executable file it maps counts.
    std::ifstream maps(process + "/maps");
    if (!maps) {
        return "what it runs cannot be read";
    }
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string address;
        std::string permissions;
        std::string offset;
        std::string device;
        std::string inode;
        std::string file;
        fields >> address >> permissions >> offset >> device >> inode;
        std::getline(fields >> std::ws, file);
        if (permissions.size() > 2 && permissions[2] == 'x' && !file.empty() && file[0] == '/'
            && !InFolders(file, systemFolders)) {
            return "it runs " + file + ", which is not in a system folder";
        }
    }
    return {};
}

} // namespace

QStringList TLogindSessionPower::SystemFoldersDefault()
{
    return { QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin"), QStringLiteral("/usr/libexec"),
        QStringLiteral("/usr/lib"), QStringLiteral("/usr/lib32"), QStringLiteral("/usr/lib64"),
        QStringLiteral("/usr/libx32"), QStringLiteral("/bin"), QStringLiteral("/sbin"), QStringLiteral("/lib"),
        QStringLiteral("/lib32"), QStringLiteral("/lib64"), QStringLiteral("/libx32") };
}

TLogindSessionPower::TLogindSessionPower(QObject* parent)
    : TLogindSessionPower(SystemFoldersDefault(), parent)
{
}

TLogindSessionPower::TLogindSessionPower(QStringList systemFolders, QObject* parent)
    : QObject(parent)
    , m_systemFolders(std::move(systemFolders))
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
    // KDE's locker sends on both of its paths.
    m_screenSavers.resize(2);
    m_screenSavers[0].Name = QStringLiteral("org.freedesktop.ScreenSaver");
    m_screenSavers[0].Paths = { QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("/ScreenSaver") };
    m_screenSavers[1].Name = QStringLiteral("org.gnome.ScreenSaver");
    m_screenSavers[1].Paths = { QStringLiteral("/org/gnome/ScreenSaver") };
    // The owners are followed from before they are first asked for, so no change falls between.
    auto* watcher = new QDBusServiceWatcher(this);
    watcher->setConnection(m_sessionBus);
    watcher->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    for (TScreenSaver& saver : m_screenSavers) {
        watcher->addWatchedService(saver.Name);
    }
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &TLogindSessionPower::OnScreenSaverOwnerChanged);
    for (TScreenSaver& saver : m_screenSavers) {
        // Every sender and path, and any arguments, so that a refused signal can be logged.
        m_screenSaverWatched = m_sessionBus.connect(QString(), QString(), saver.Name, QStringLiteral("ActiveChanged"),
                                   this, SLOT(OnScreenSaverActiveChanged(QDBusMessage)))
            || m_screenSaverWatched;
        QDBusMessage owner = BusDaemonCall(QStringLiteral("GetNameOwner"));
        owner << saver.Name;
        const QDBusReply<QString> reply = m_sessionBus.call(owner, QDBus::Block, kLookupTimeoutMs);
        if (reply.isValid() && saver.Owner.isEmpty()) {
            saver.Owner = reply.value();
            ScreenSaverOwnerCheck(saver);
        }
    }
}

void TLogindSessionPower::ScreenSaverOwnerCheck(TScreenSaver& saver)
{
    saver.OwnerTrusted = false;
    if (saver.Owner.isEmpty()) {
        return;
    }
    // Asked without waiting: the answer comes back to the event loop, and until it does the
    // owner is not heard.
    QDBusMessage call = BusDaemonCall(QStringLiteral("GetConnectionUnixProcessID"));
    call << saver.Owner;
    auto* watcher = new QDBusPendingCallWatcher(m_sessionBus.asyncCall(call, kLookupTimeoutMs), this);
    watcher->setProperty("name", saver.Name);
    watcher->setProperty("owner", saver.Owner);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &TLogindSessionPower::OnScreenSaverOwnerProcess);
}

void TLogindSessionPower::OnScreenSaverOwnerProcess(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    const QString name = call->property("name").toString();
    const QString owner = call->property("owner").toString();
    for (TScreenSaver& saver : m_screenSavers) {
        if (saver.Name != name || saver.Owner != owner) {
            continue; // the name changed hands again meanwhile
        }
        const QDBusPendingReply<uint> reply = *call;
        const std::string doubt = reply.isError()
            ? "its process cannot be asked for (" + reply.error().message().toStdString() + ")"
            : ScreenSaverProcessDoubt(reply.value(), m_systemFolders);
        if (doubt.empty()) {
            saver.OwnerTrusted = true;
            LogMessageWrite("The screen saver's name " + name.toStdString() + " is held by " + owner.toStdString()
                + " (process " + std::to_string(reply.value()) + "), a desktop's own program: it is heard");
        } else if (!saver.OwnerRefusalLogged) {
            saver.OwnerRefusalLogged = true;
            LogMessageWrite("The screen saver's name " + name.toStdString() + " is held by " + owner.toStdString()
                + (reply.isError() ? std::string() : " (process " + std::to_string(reply.value()) + ")")
                + ", which is not one of the desktop's own programs: " + doubt
                + "; what it says is not heard, and later refused owners of the name are not logged");
        }
    }
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
        throw EOSError("the system bus, through which it is asked, is not available ("
            + m_systemBus.lastError().message().toStdString() + ")");
    }
    QDBusMessage call = ManagerCall(kind == skRestart ? QStringLiteral("Reboot") : QStringLiteral("PowerOff"));
    // Not interactive: nobody is asked for a password; a refusal comes back as an error.
    call << false;
    const QDBusMessage answer = m_systemBus.call(call);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        throw EOSError("the system's login manager (logind) refused it (" + answer.errorMessage().toStdString() + ")");
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

void TLogindSessionPower::OnScreenSaverActiveChanged(const QDBusMessage& message)
{
    TScreenSaver* saver = nullptr;
    for (TScreenSaver& candidate : m_screenSavers) {
        if (candidate.Name == message.interface()) {
            saver = &candidate;
        }
    }
    if (!saver) {
        return;
    }
    if (saver->Owner.isEmpty() || message.service() != saver->Owner) {
        ScreenSaverRefusalLog(message,
            saver->Owner.isEmpty() ? QStringLiteral("nobody owns ") + saver->Name
                                   : QStringLiteral("only ") + saver->Owner + QStringLiteral(", the owner of ")
                    + saver->Name + QStringLiteral(", is heard"));
        return;
    }
    if (!saver->Paths.contains(message.path())) {
        ScreenSaverRefusalLog(
            message, saver->Name + QStringLiteral(" sends on ") + saver->Paths.join(QStringLiteral(", ")));
        return;
    }
    if (message.signature() != QStringLiteral("b")) {
        ScreenSaverRefusalLog(message,
            QStringLiteral("it carries \"") + message.signature() + QStringLiteral("\" instead of the one boolean"));
        return;
    }
    if (!saver->OwnerTrusted) {
        // Not kept for later either: a process may hand its connection on and become a system
        // program before it is looked at. Its refusal was logged with the owner.
        return;
    }
    saver->Active = message.arguments().value(0).toBool();
    LockedStateReport();
}

void TLogindSessionPower::OnScreenSaverOwnerChanged(
    const QString& name, const QString& /*oldOwner*/, const QString& newOwner)
{
    for (TScreenSaver& saver : m_screenSavers) {
        if (saver.Name == name) {
            // A screen saver that went away (or was replaced) no longer keeps the session locked;
            // the new owner tells its own state.
            saver.Owner = newOwner;
            saver.Active = false;
            ScreenSaverOwnerCheck(saver);
        }
    }
    LockedStateReport();
}

void TLogindSessionPower::ScreenSaverRefusalLog(const QDBusMessage& message, const QString& reason)
{
    if (m_screenSaverRefusalLogged) {
        return;
    }
    m_screenSaverRefusalLogged = true;
    LogMessageWrite(("A screen saver's ActiveChanged from " + message.service() + " on " + message.path()
        + " was refused (" + reason + "); further refusals are not logged")
                        .toStdString());
}

void TLogindSessionPower::LockedStateReport()
{
    bool locked = m_logindLocked;
    for (const TScreenSaver& saver : m_screenSavers) {
        locked = locked || (saver.Active && saver.OwnerTrusted);
    }
    if (locked == m_reportedLocked) {
        return;
    }
    m_reportedLocked = locked;
    if (m_listener.SessionLockedChanged) {
        m_listener.SessionLockedChanged(locked);
    }
}
