#include "platform/linux/kwin/KWinWindowSystem.h"

#include "model/Exceptions.h"
#include "model/ProgramLog.h"
#include "platform/linux/SessionBus.h"

#include <gio/gio.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>

namespace fs = std::filesystem;

namespace {

// KWin reads a script's file and runs it a moment after `start`; the first report follows at
// once. A busy desktop may take longer than a call.
constexpr int FirstReportTimeoutMs = 3000;
// After KWin comes back, its scripting service may answer a little after its name appears:
// tried every ReloadIntervalMs so many times.
constexpr unsigned ReloadAttempts = 20;
// A window list of some thousand windows stays far below this.
constexpr size_t ReportLimit = 4u * 1024 * 1024;

const char* const ReportIntrospection = "<node><interface name='org.tallyhour.KWinReports'>"
                                        "<method name='Report'><arg type='s' name='report' direction='in'/></method>"
                                        "</interface></node>";

// KWin 5 names windows "clients"; KWin 6 renamed the signals and lists (clientActivated became
// windowActivated, activeClient activeWindow): the script takes whichever the running KWin has.
const char* const ReportingScript = R"js((function () {
    var service = "@SERVICE@";
    var script = "@SCRIPT@";
    function send(report) {
        report.script = script;
        callDBus(service, "@PATH@", "@INTERFACE@", "Report", JSON.stringify(report));
    }
    function idOf(w) {
        return String(w.internalId);
    }
    function describe(w) {
        return { id: idOf(w), pid: Number(w.pid), title: String(w.caption), "class": String(w.resourceClass) };
    }
    function watch(w) {
        w.captionChanged.connect(function () {
            send({ report: "title", id: idOf(w), title: String(w.caption) });
        });
    }
    var windows = workspace.windowList ? workspace.windowList() : workspace.clientList();
    var active = workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
    var described = [];
    for (var i = 0; i < windows.length; ++i) {
        watch(windows[i]);
        described.push(describe(windows[i]));
    }
    (workspace.windowAdded || workspace.clientAdded).connect(function (w) {
        watch(w);
        send({ report: "added", window: describe(w) });
    });
    (workspace.windowRemoved || workspace.clientRemoved).connect(function (w) {
        send({ report: "removed", id: idOf(w) });
    });
    (workspace.windowActivated || workspace.clientActivated).connect(function (w) {
        send({ report: "activated", id: w ? idOf(w) : "" });
    });
    send({ report: "all", windows: described, active: active ? idOf(active) : "" });
})();
)js";

// A script run once: `target` is the window named by the program (or null), `body` acts on it,
// and the script says it ran so that the program unloads it.
const char* const OneShotScript = R"js((function () {
    var targetId = "@TARGET@";
    var target = null;
    var windows = workspace.windowList ? workspace.windowList() : workspace.clientList();
    for (var i = 0; i < windows.length; ++i) {
        if (targetId !== "" && String(windows[i].internalId) === targetId)
            target = windows[i];
    }
    var failure = "";
    try {
@BODY@
    } catch (error) {
        failure = String(error);
    }
    callDBus("@SERVICE@", "@PATH@", "@INTERFACE@", "Report",
        JSON.stringify({ report: "ran", script: "@SCRIPT@", found: target !== null, failure: failure }));
})();
)js";

void Replace(std::string& text, const std::string& placeholder, const std::string& value)
{
    for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
}

// KWin's window ids are UUIDs in braces; anything else is refused before it goes into a script.
bool IsWindowId(const std::string& id)
{
    return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) || c == '{' || c == '}' || c == '-';
    });
}

std::string CallErrorTake(GError*& error)
{
    const std::string text = error ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

std::string ReportField(const nlohmann::json& node, const char* name)
{
    const auto it = node.find(name);
    return it != node.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool WindowRead(const nlohmann::json& node, TPushedWindow<std::string>& window)
{
    if (!node.is_object())
        return false;
    window.Id = ReportField(node, "id");
    const auto pid = node.find("pid");
    if (!IsWindowId(window.Id) || pid == node.end() || !pid->is_number())
        return false;
    // KWin gives 0 (or -1) for a window whose process it does not know.
    const double processId = pid->get<double>();
    window.ProcessId = processId > 0 && processId < 1e9 ? static_cast<int64_t>(processId) : 0;
    window.Title = ReportField(node, "title");
    window.ClassName = ReportField(node, "class");
    return true;
}

GDBusInterfaceInfo* ReportInterfaceInfo()
{
    static GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(ReportIntrospection, nullptr);
    return node ? node->interfaces[0] : nullptr;
}

} // namespace

TKWinWindowSystem::TKWinWindowSystem(const std::string& busAddress, unsigned absenceNoticeDelayMs)
    : TPushedWindowSystem("KWin", absenceNoticeDelayMs)
{
    GError* error = nullptr;
    BusConnect(busAddress);
    m_owner = SessionBusOwnerGet(m_bus, ServiceName, CallTimeoutMs);
    if (m_owner.empty()) {
        Shutdown();
        throw EOSError(std::string("KWin is not on the session bus (no owner of ") + ServiceName + ")");
    }

    // The scripts' files live in the user's private runtime folder, which KWin (the same user)
    // reads and nobody else can change between our writing and KWin's reading.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder
        = std::string(runtime && *runtime ? runtime : fs::temp_directory_path().c_str()) + "/tallyhour-kwin-XXXXXX";
    if (!mkdtemp(folder.data())) {
        const std::string reason = std::strerror(errno);
        Shutdown();
        throw EOSError("Cannot make a private folder for KWin's script: " + reason);
    }
    m_scriptFolder = folder;

    m_busThread.Register([this, &error] {
        static const GDBusInterfaceVTable vtable = { &TKWinWindowSystem::OnMethodCall, nullptr, nullptr, {} };
        m_objectId = g_dbus_connection_register_object(
            m_bus, ReportPath, ReportInterfaceInfo(), &vtable, this, nullptr, &error);
        m_ownerWatchId = g_dbus_connection_signal_subscribe(m_bus, "org.freedesktop.DBus", "org.freedesktop.DBus",
            "NameOwnerChanged", "/org/freedesktop/DBus", ServiceName, G_DBUS_SIGNAL_FLAGS_NONE,
            &TKWinWindowSystem::OnNameOwnerChanged, this, nullptr);
    });
    if (m_objectId == 0) {
        const std::string reason = CallErrorTake(error);
        Shutdown();
        throw EOSError("Cannot offer KWin's script a place to report to: " + reason);
    }
    m_busThread.Start();

    // Started with the session, the program may ask before KWin's scripting is there.
    std::string errorText;
    const auto loadDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(FirstReportTimeoutMs);
    while (!ReportingScriptLoad(errorText)) {
        if (std::chrono::steady_clock::now() > loadDeadline) {
            Shutdown();
            throw EOSError(errorText);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::unique_lock lock(m_mutex);
    if (!m_reported.wait_for(
            lock, std::chrono::milliseconds(FirstReportTimeoutMs), [this] { return m_reportingScriptRunning; })) {
        lock.unlock();
        Shutdown();
        throw EOSError("KWin loaded the window script but it did not report within "
            + std::to_string(FirstReportTimeoutMs / 1000) + " seconds");
    }
}

TKWinWindowSystem::~TKWinWindowSystem()
{
    Shutdown();
}

void TKWinWindowSystem::Shutdown()
{
    if (m_bus) {
        std::vector<std::string> names;
        {
            std::lock_guard lock(m_mutex);
            if (!m_owner.empty()) {
                if (!m_reportingScript.empty())
                    names.push_back(m_reportingScript);
                names.insert(names.end(), m_oneShotScripts.begin(), m_oneShotScripts.end());
            }
            m_reportingScript.clear();
            m_reportingScriptRunning = false;
            m_oneShotScripts.clear();
        }
        // KWin keeps a script (and its signal handlers) until it is unloaded.
        for (const std::string& name : names)
            ScriptUnload(name);
        if (m_objectId)
            g_dbus_connection_unregister_object(m_bus, m_objectId);
        if (m_ownerWatchId)
            g_dbus_connection_signal_unsubscribe(m_bus, m_ownerWatchId);
        m_objectId = 0;
        m_ownerWatchId = 0;
    }
    // Calls still queued are dropped with the bus thread's context, never dispatched to this object.
    BusClose();
    if (!m_scriptFolder.empty()) {
        std::error_code ignored;
        fs::remove_all(m_scriptFolder, ignored);
        m_scriptFolder.clear();
    }
}

std::string TKWinWindowSystem::ScriptNameNew()
{
    // KWin knows its scripts by name: unique in the session, whatever else of ours runs there.
    static std::atomic<unsigned> count { 0 };
    return "tallyhour-" + std::to_string(getpid()) + "-" + std::to_string(++count);
}

std::vector<std::string> TKWinWindowSystem::ScriptNamesGet()
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> names = m_oneShotScripts;
    if (!m_reportingScript.empty())
        names.insert(names.begin(), m_reportingScript);
    return names;
}

std::string TKWinWindowSystem::ScriptFile(const std::string& name) const
{
    return m_scriptFolder + "/" + name + ".js";
}

bool TKWinWindowSystem::ScriptStart(const std::string& source, const std::string& name, std::string& errorText)
{
    const std::string file = ScriptFile(name);
    {
        std::ofstream stream(file, std::ios::binary | std::ios::trunc);
        stream << source;
        if (!stream.flush()) {
            errorText = "Cannot write KWin's script to " + file;
            return false;
        }
    }
    std::error_code ignored;
    GError* error = nullptr;
    GVariant* loaded = g_dbus_connection_call_sync(m_bus, ServiceName, "/Scripting", "org.kde.kwin.Scripting",
        "loadScript", g_variant_new("(ss)", file.c_str(), name.c_str()), G_VARIANT_TYPE("(i)"), G_DBUS_CALL_FLAGS_NONE,
        CallTimeoutMs, nullptr, &error);
    if (!loaded) {
        errorText = "KWin did not load the window script (" + CallErrorTake(error) + ")";
        fs::remove(file, ignored);
        return false;
    }
    int32_t id = -1;
    g_variant_get(loaded, "(i)", &id);
    g_variant_unref(loaded);
    if (id < 0) {
        // KWin refuses a script it cannot read or a name it already runs.
        errorText = "KWin refused the window script " + file;
        fs::remove(file, ignored);
        return false;
    }
    GVariant* started = g_dbus_connection_call_sync(m_bus, ServiceName, "/Scripting", "org.kde.kwin.Scripting", "start",
        nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, CallTimeoutMs, nullptr, &error);
    if (!started) {
        errorText = "KWin did not start the window script (" + CallErrorTake(error) + ")";
        ScriptUnload(name);
        fs::remove(file, ignored);
        return false;
    }
    g_variant_unref(started);
    return true;
}

bool TKWinWindowSystem::ScriptUnload(const std::string& name)
{
    GError* error = nullptr;
    GVariant* unloaded = g_dbus_connection_call_sync(m_bus, ServiceName, "/Scripting", "org.kde.kwin.Scripting",
        "unloadScript", g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
        CallTimeoutMs, nullptr, &error);
    g_clear_error(&error);
    gboolean done = FALSE;
    if (unloaded) {
        g_variant_get(unloaded, "(b)", &done);
        g_variant_unref(unloaded);
    }
    return done != FALSE;
}

std::string TKWinWindowSystem::ReportingScriptSource(const std::string& name) const
{
    std::string source = ReportingScript;
    Replace(source, "@SERVICE@", m_busName);
    Replace(source, "@SCRIPT@", name);
    Replace(source, "@PATH@", ReportPath);
    Replace(source, "@INTERFACE@", ReportInterface);
    return source;
}

bool TKWinWindowSystem::ReportingScriptLoad(std::string& errorText)
{
    // Named before it runs, so that its first report is not taken for a stray one.
    const std::string name = ScriptNameNew();
    {
        std::lock_guard lock(m_mutex);
        m_reportingScript = name;
        m_reportingScriptRunning = false;
    }
    if (ScriptStart(ReportingScriptSource(name), name, errorText))
        return true;
    std::lock_guard lock(m_mutex);
    if (m_reportingScript == name)
        m_reportingScript.clear();
    return false;
}

std::string TKWinWindowSystem::ScriptNameGet()
{
    std::lock_guard lock(m_mutex);
    return m_reportingScriptRunning ? m_reportingScript : std::string();
}

bool TKWinWindowSystem::ScriptRun(const std::string& body, TWindowHandle window)
{
    std::string targetId;
    {
        std::lock_guard lock(m_mutex);
        if (m_owner.empty())
            return false;
        if (window != 0) {
            const TWindow* found = WindowFind(window);
            if (!found)
                return false;
            targetId = found->Id;
        }
    }
    const std::string name = ScriptNameNew();
    std::string source = OneShotScript;
    Replace(source, "@BODY@", body);
    Replace(source, "@TARGET@", targetId);
    Replace(source, "@SERVICE@", m_busName);
    Replace(source, "@SCRIPT@", name);
    Replace(source, "@PATH@", ReportPath);
    Replace(source, "@INTERFACE@", ReportInterface);
    {
        // Listed before it starts: its report that it ran may come before KWin's answer.
        std::lock_guard lock(m_mutex);
        m_oneShotScripts.push_back(name);
    }
    std::string errorText;
    if (ScriptStart(source, name, errorText))
        return true;
    LogMessageWrite(errorText);
    std::lock_guard lock(m_mutex);
    std::erase(m_oneShotScripts, name);
    return false;
}

void TKWinWindowSystem::OnMethodCall(GDBusConnection*, const char*, const char*, const char*, const char* method,
    GVariant* parameters, GDBusMethodInvocation* invocation, void* self)
{
    if (std::strcmp(method, "Report") == 0)
        static_cast<TKWinWindowSystem*>(self)->ReportTake(invocation, parameters);
    else
        g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod", method);
}

void TKWinWindowSystem::ReportTake(GDBusMethodInvocation* invocation, GVariant* parameters)
{
    const std::string sender = g_dbus_method_invocation_get_sender(invocation);
    bool fromKWin = false;
    {
        std::lock_guard lock(m_mutex);
        fromKWin = !m_owner.empty() && sender == m_owner;
        // Any program of the session could call here and claim some window is in front: only
        // KWin's own word counts.
        if (!fromKWin && m_foreignReports++ == 0)
            LogMessageWrite("A report on the window in front came from " + sender
                + ", which is not KWin; it is ignored, as are any later ones");
    }
    if (!fromKWin) {
        g_dbus_method_invocation_return_dbus_error(
            invocation, "org.freedesktop.DBus.Error.AccessDenied", "Only KWin reports here");
        return;
    }
    const char* text = nullptr;
    g_variant_get(parameters, "(&s)", &text);
    ReportApply(text ? text : "");
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

void TKWinWindowSystem::MalformedReportLog(const std::string& what)
{
    // Called with m_mutex held. One line says enough; a script gone wrong would repeat it at
    // every window change.
    if (m_malformedReports++ == 0)
        LogMessageWrite("KWin's window script sent a report that cannot be read (" + what
            + "); it is ignored, as are any later ones of the kind");
}

void TKWinWindowSystem::ReportApply(std::string_view text)
{
    std::lock_guard lock(m_mutex);
    if (text.size() > ReportLimit) {
        MalformedReportLog(std::to_string(text.size()) + " bytes long");
        return;
    }
    const nlohmann::json report = nlohmann::json::parse(text, nullptr, false);
    if (report.is_discarded() || !report.is_object()) {
        MalformedReportLog("not a JSON object: " + std::string(text.substr(0, 80)));
        return;
    }
    const std::string kind = ReportField(report, "report");
    const std::string script = ReportField(report, "script");
    if (kind == "ran") {
        // A one-shot script has done its work: KWin would keep it (and its file) until told.
        const auto it = std::find(m_oneShotScripts.begin(), m_oneShotScripts.end(), script);
        if (it == m_oneShotScripts.end())
            return;
        const std::string failure = ReportField(report, "failure");
        if (!failure.empty())
            LogMessageWrite("A script run in KWin failed: " + failure);
        std::error_code ignored;
        fs::remove(ScriptFile(script), ignored);
        m_oneShotScripts.erase(it);
        g_dbus_connection_call(m_bus, ServiceName, "/Scripting", "org.kde.kwin.Scripting", "unloadScript",
            g_variant_new("(s)", script.c_str()), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, CallTimeoutMs, nullptr,
            nullptr, nullptr);
        return;
    }
    // Reports of an earlier reporting script (before KWin restarted) describe windows gone.
    if (script.empty() || script != m_reportingScript)
        return;
    if (kind == "all") {
        const auto windows = report.find("windows");
        if (windows == report.end() || !windows->is_array()) {
            MalformedReportLog("a window list without windows");
            return;
        }
        std::vector<TWindow> read;
        for (const auto& node : *windows) {
            TWindow window;
            if (WindowRead(node, window))
                read.push_back(std::move(window));
            else
                MalformedReportLog("a window without an id or a process: " + node.dump().substr(0, 80));
        }
        WindowsReplace(std::move(read));
        m_activeId = ReportField(report, "active");
        const bool first = !m_reportingScriptRunning;
        m_reportingScriptRunning = true;
        // The script is KWin's now; its file has served.
        std::error_code ignored;
        fs::remove(ScriptFile(script), ignored);
        if (first)
            m_reported.notify_all();
        return;
    }
    if (kind == "added") {
        TWindow window;
        const auto node = report.find("window");
        if (node == report.end() || !WindowRead(*node, window)) {
            MalformedReportLog("a window added without an id or a process");
            return;
        }
        WindowPut(std::move(window));
        return;
    }
    const std::string id = ReportField(report, "id");
    if (kind == "removed") {
        WindowRemove(id);
    } else if (kind == "activated") {
        m_activeId = id;
    } else if (kind == "title") {
        for (TWindow& window : m_windows) {
            if (window.Id == id)
                window.Title = ReportField(report, "title");
        }
    } else {
        MalformedReportLog("a report of the unknown kind \"" + kind.substr(0, 40) + "\"");
    }
}

void TKWinWindowSystem::OnNameOwnerChanged(
    GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters, void* self)
{
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    g_variant_get(parameters, "(&s&s&s)", &name, &oldOwner, &newOwner);
    static_cast<TKWinWindowSystem*>(self)->OwnerChanged(newOwner ? newOwner : "");
}

void TKWinWindowSystem::OwnerChanged(const std::string& newOwner)
{
    std::lock_guard lock(m_mutex);
    if (!OwnerTake(newOwner, "loading the window script into it again"))
        return;
    // The old KWin's scripts are gone with it.
    m_reportingScriptRunning = false;
    m_reportingScript.clear();
    std::error_code ignored;
    for (const std::string& script : m_oneShotScripts)
        fs::remove(ScriptFile(script), ignored);
    m_oneShotScripts.clear();
}

void TKWinWindowSystem::ReloadTry()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_owner.empty() || !m_reportingScript.empty()) {
            m_reloadTimer = 0;
            return;
        }
        ++m_reloadAttempts;
    }
    std::string errorText;
    const bool loaded = ReportingScriptLoad(errorText);
    std::lock_guard lock(m_mutex);
    if (loaded) {
        m_reloadTimer = 0;
        LogMessageWrite("KWin runs the window script again; the window in front is known again");
        return;
    }
    if (m_reloadAttempts >= ReloadAttempts) {
        ReloadGivenUp(errorText,
            "KWin restarted and did not take its window script back (" + errorText
                + "), so the time spent on the applications and sites of your list is not counted. Restart Tallyhour "
                  "to try again.");
    }
}

bool TKWinWindowSystem::WindowCloseRequest(TWindowHandle window)
{
    return window != 0 && ScriptRun("        if (target) target.closeWindow();", window);
}
