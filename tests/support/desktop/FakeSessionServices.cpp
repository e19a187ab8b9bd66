#include "support/desktop/FakeSessionServices.h"

#include "support/desktop/TestDesktop.h"

#include <gio/gio.h>

#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

GDBusConnection* BusConnect(const std::string& address, std::string& errorText)
{
    GError* error = nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(address.c_str(),
        static_cast<GDBusConnectionFlags>(
            G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (!bus) {
        errorText = "Cannot connect to " + address + ": " + (error ? error->message : "unknown error");
        g_clear_error(&error);
    }
    return bus;
}

constexpr const char* kLogindService = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindControl = "org.tallyhour.FakeLogind";
constexpr const char* kSaverService = "org.freedesktop.ScreenSaver";
constexpr const char* kSaverPath = "/org/freedesktop/ScreenSaver";
constexpr const char* kSaverControl = "org.tallyhour.FakeScreenSaver";

} // namespace

TFakeSessionServices::TFakeSessionServices(TTestDesktop& desktop, std::string scriptFile)
    : m_desktop(desktop)
    , m_scriptFile(std::move(scriptFile))
{
    const char* systemBus = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    m_hadSystemBus = systemBus != nullptr;
    if (systemBus) {
        m_savedSystemBus = systemBus;
    }
}

TFakeSessionServices::~TFakeSessionServices()
{
    if (m_systemBus) {
        g_object_unref(m_systemBus);
    }
    if (m_sessionBus) {
        g_object_unref(m_sessionBus);
    }
    if (m_hadSystemBus) {
        setenv("DBUS_SYSTEM_BUS_ADDRESS", m_savedSystemBus.c_str(), 1);
    } else {
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
}

bool TFakeSessionServices::Fail(const std::string& text)
{
    m_errorText = text;
    return false;
}

bool TFakeSessionServices::BusStart(const std::string& name, std::string& address)
{
    const std::string socketPath = m_desktop.Folder() + "/run/" + name;
    address = "unix:path=" + socketPath;
    // The session configuration lets every client own names, as the stand-ins must.
    if (m_desktop.ProgramStart(
            { "dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address }, "dbus-" + name)
        < 0) {
        return Fail(m_desktop.ErrorText());
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(socketPath)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return Fail("The " + name + " did not start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool TFakeSessionServices::Start()
{
    if (m_desktop.Folder().empty()) {
        return Fail("The desktop is not started");
    }
    std::string systemAddress;
    if (!BusStart("system_bus", systemAddress)) {
        return false;
    }
    setenv("DBUS_SYSTEM_BUS_ADDRESS", systemAddress.c_str(), 1);
    const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    std::string sessionAddress = session ? session : "";
    if (sessionAddress.empty()) {
        if (!BusStart("session_bus", sessionAddress)) {
            return false;
        }
        setenv("DBUS_SESSION_BUS_ADDRESS", sessionAddress.c_str(), 1);
    }
    // The system's Python, which the Debian D-Bus bindings belong to (not one a user put first
    // on PATH).
    if (m_desktop.ProgramStart({ "/usr/bin/python3", m_scriptFile }, "fake-session-services") < 0) {
        return Fail(m_desktop.ErrorText());
    }
    m_systemBus = BusConnect(systemAddress, m_errorText);
    m_sessionBus = m_systemBus ? BusConnect(sessionAddress, m_errorText) : nullptr;
    if (!m_sessionBus) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (
        !NameOwned(m_systemBus, "org.freedesktop.login1") || !NameOwned(m_sessionBus, "org.freedesktop.ScreenSaver")) {
        if (std::chrono::steady_clock::now() > deadline) {
            return Fail("The stand-ins for logind and the screen saver did not start (see " + m_desktop.Folder()
                + "/logs/fake-session-services.log)");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool TFakeSessionServices::NameOwned(GDBusConnection* bus, const char* name)
{
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    if (!reply) {
        return false;
    }
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned;
}

bool TFakeSessionServices::Control(GDBusConnection* bus, const char* service, const char* path,
    const char* interfaceName, const char* method, const char* argumentsFormat, ...)
{
    if (!bus) {
        return false;
    }
    GVariant* arguments = nullptr;
    if (argumentsFormat) {
        va_list list;
        va_start(list, argumentsFormat);
        arguments = g_variant_new_va(argumentsFormat, nullptr, &list);
        va_end(list);
    }
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, service, path, interfaceName, method, arguments, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (!reply) {
        m_errorText = std::string(method) + ": " + (error ? error->message : "no answer");
        g_clear_error(&error);
        return false;
    }
    g_variant_unref(reply);
    return true;
}

bool TFakeSessionServices::Lock()
{
    return Control(m_systemBus, kLogindService, kLogindPath, kLogindControl, "EmitLock", nullptr);
}

bool TFakeSessionServices::Unlock()
{
    return Control(m_systemBus, kLogindService, kLogindPath, kLogindControl, "EmitUnlock", nullptr);
}

bool TFakeSessionServices::LockedHintSet(bool locked)
{
    return Control(m_systemBus, kLogindService, kLogindPath, kLogindControl, "LockedHintSet", "(b)",
        static_cast<gboolean>(locked));
}

bool TFakeSessionServices::SleepBegin()
{
    return Control(m_systemBus, kLogindService, kLogindPath, kLogindControl, "EmitPrepareForSleep", "(b)", TRUE);
}

bool TFakeSessionServices::SleepEnd()
{
    return Control(m_systemBus, kLogindService, kLogindPath, kLogindControl, "EmitPrepareForSleep", "(b)", FALSE);
}

bool TFakeSessionServices::ScreenSaverActiveSet(bool active)
{
    return Control(
        m_sessionBus, kSaverService, kSaverPath, kSaverControl, "ActiveSet", "(b)", static_cast<gboolean>(active));
}

bool TFakeSessionServices::DesktopScreenSaverStart(const std::string& program, const char* name)
{
    DesktopScreenSaverStop();
    m_desktopSaverName = name;
    m_desktopSaverPath = "/" + m_desktopSaverName;
    for (char& c : m_desktopSaverPath) {
        c = c == '.' ? '/' : c;
    }
    m_desktopSaver = m_desktop.ProgramStart({ program, m_desktopSaverName, m_desktopSaverPath }, "screen-saver");
    if (m_desktopSaver < 0) {
        return Fail(m_desktop.ErrorText());
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!NameOwned(m_sessionBus, name)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return Fail("The desktop's screen saver did not take " + m_desktopSaverName + " (see " + m_desktop.Folder()
                + "/logs/screen-saver.log)");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void TFakeSessionServices::DesktopScreenSaverStop()
{
    if (m_desktopSaver > 0) {
        m_desktop.ProgramStop(m_desktopSaver);
        m_desktopSaver = -1;
    }
}

bool TFakeSessionServices::DesktopScreenSaverActiveSet(bool active)
{
    return Control(m_sessionBus, m_desktopSaverName.c_str(), m_desktopSaverPath.c_str(), kSaverControl, "ActiveSet",
        "(b)", static_cast<gboolean>(active));
}

bool TFakeSessionServices::ScreenSaverSignalForge(
    const char* interfaceName, const char* path, bool active, bool extraArgument)
{
    if (!m_sessionBus) {
        return false;
    }
    GVariant* arguments = extraArgument ? g_variant_new("(bs)", static_cast<gboolean>(active), "forged")
                                        : g_variant_new("(b)", static_cast<gboolean>(active));
    GError* error = nullptr;
    const bool sent
        = g_dbus_connection_emit_signal(m_sessionBus, nullptr, path, interfaceName, "ActiveChanged", arguments, &error)
        && g_dbus_connection_flush_sync(m_sessionBus, nullptr, &error);
    if (!sent) {
        m_errorText = std::string("ActiveChanged: ") + (error ? error->message : "not sent");
        g_clear_error(&error);
    }
    return sent;
}

bool TFakeSessionServices::SessionNameOwn(const char* name, bool own)
{
    if (!m_sessionBus) {
        return false;
    }
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(m_sessionBus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus", own ? "RequestName" : "ReleaseName",
        own ? g_variant_new("(su)", name, 4u /* DBUS_NAME_FLAG_DO_NOT_QUEUE */) : g_variant_new("(s)", name),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (!reply) {
        m_errorText = std::string(own ? "RequestName: " : "ReleaseName: ") + (error ? error->message : "no answer");
        g_clear_error(&error);
        return false;
    }
    guint32 result = 0;
    g_variant_get(reply, "(u)", &result);
    g_variant_unref(reply);
    return result == 1; // primary owner, or released
}

bool TFakeSessionServices::RefusalSet(const std::string& message)
{
    return Control(m_systemBus, kLogindService, kLogindPath, kLogindControl, "RefusalSet", "(s)", message.c_str());
}

bool TFakeSessionServices::ShutdownCountsGet(int& powerOffs, int& reboots)
{
    powerOffs = reboots = -1;
    if (!m_systemBus) {
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(m_systemBus, "org.freedesktop.login1", kLogindPath, kLogindControl,
        "ShutdownCountsGet", nullptr, G_VARIANT_TYPE("(uu)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (!reply) {
        return false;
    }
    guint32 powerOffCount = 0;
    guint32 rebootCount = 0;
    g_variant_get(reply, "(uu)", &powerOffCount, &rebootCount);
    g_variant_unref(reply);
    powerOffs = static_cast<int>(powerOffCount);
    reboots = static_cast<int>(rebootCount);
    return true;
}

int TFakeSessionServices::PowerOffCount()
{
    int powerOffs = 0;
    int reboots = 0;
    ShutdownCountsGet(powerOffs, reboots);
    return powerOffs;
}

int TFakeSessionServices::RebootCount()
{
    int powerOffs = 0;
    int reboots = 0;
    ShutdownCountsGet(powerOffs, reboots);
    return reboots;
}
