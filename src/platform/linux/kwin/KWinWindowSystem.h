#pragma once

#include "platform/linux/PushedWindowSystem.h"

#include <condition_variable>
#include <string>
#include <string_view>
#include <vector>

typedef struct _GDBusMethodInvocation GDBusMethodInvocation;
typedef struct _GVariant GVariant;

// The window system of KDE Plasma's Wayland session. KWin tells no other program which window
// is active, but it runs scripts it is handed over D-Bus (org.kde.kwin.Scripting). The script
// this class loads reports every window, the active one and each change (activation, a new
// title, a window added or removed) to this program's own connection on the session bus, so a
// sample reads what was pushed and costs no round trip. A close request is a one-shot script
// that calls the window's closeWindow(), as its title bar's button does.
//
// Reports are taken only from KWin's own connection. When KWin leaves the bus (a restart) the
// window in front is unknown until it is back; the script is then loaded again. The scripts
// are unloaded when the object goes.
class TKWinWindowSystem final : public TPushedWindowSystem<std::string>
{
public:
    static constexpr const char* ServiceName = "org.kde.KWin";
    static constexpr const char* ReportPath = "/org/tallyhour/KWinReports";
    static constexpr const char* ReportInterface = "org.tallyhour.KWinReports";

    // Connects to the session bus at `busAddress` (empty: the session's own), loads the script
    // and waits for its first report. Raises EOSError, saying why, when KWin is not there or
    // does not run the script.
    explicit TKWinWindowSystem(
        const std::string& busAddress = "", unsigned absenceNoticeDelayMs = AbsenceNoticeDelayMs);
    ~TKWinWindowSystem() override;
    TKWinWindowSystem(const TKWinWindowSystem&) = delete;
    TKWinWindowSystem& operator=(const TKWinWindowSystem&) = delete;

    bool WindowCloseRequest(TWindowHandle window) override;

    // Runs `body` once inside KWin (with `workspace` and the windows as KWin's scripts see
    // them), without waiting for it to end. `window` names a window for the body as `target`
    // (null when it is 0 or gone). False when KWin refused the script.
    bool ScriptRun(const std::string& body, TWindowHandle window = 0);
    // The plug-in name of the reporting script while KWin has it loaded; empty otherwise.
    std::string ScriptNameGet();
    // Every script of this object's that KWin holds: the reporting one first, then the one-shot
    // ones that have not yet said they ran.
    std::vector<std::string> ScriptNamesGet();

private:
    // Writes `source` to a private file and has KWin load and start it as the plug-in `name`.
    // False, with `errorText`, when KWin refused it.
    bool ScriptStart(const std::string& source, const std::string& name, std::string& errorText);
    std::string ScriptFile(const std::string& name) const;
    bool ScriptUnload(const std::string& name);
    static std::string ScriptNameNew();
    std::string ReportingScriptSource(const std::string& name) const;
    bool ReportingScriptLoad(std::string& errorText);

    // On the bus thread.
    void ReportTake(GDBusMethodInvocation* invocation, GVariant* parameters);
    void ReportApply(std::string_view text);
    void OwnerChanged(const std::string& newOwner);
    void ReloadTry() override;
    void MalformedReportLog(const std::string& what);
    static void OnMethodCall(GDBusConnection*, const char* sender, const char* path, const char* interface,
        const char* method, GVariant* parameters, GDBusMethodInvocation* invocation, void* self);
    static void OnNameOwnerChanged(GDBusConnection*, const char* sender, const char* path, const char* interface,
        const char* signal, GVariant* parameters, void* self);

    void Shutdown();

    unsigned m_objectId = 0;
    unsigned m_ownerWatchId = 0;
    std::string m_scriptFolder;

    std::condition_variable m_reported;
    // Everything below is guarded by m_mutex.
    std::string m_reportingScript; // the plug-in name whose reports count
    bool m_reportingScriptRunning = false; // its first report came
    std::vector<std::string> m_oneShotScripts; // started, not yet unloaded
    unsigned m_malformedReports = 0;
    unsigned m_foreignReports = 0;
};
