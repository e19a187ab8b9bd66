#include "platform/linux/wlroots/ToplevelProcessMatch.h"

#include "platform/linux/CHandles.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/proc/ProcFsProcesses.h"
#include "platform/linux/xdg/XdgInstalledApplications.h"

#include "model/ProgramLog.h"
#include "model/TextHelpers.h"

#include <atspi/atspi.h>
#include <gio/gdesktopappinfo.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <tuple>

namespace {

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The kernel keeps 15 characters of a command name.
constexpr size_t CommLength = 15;

bool NamesProgram(const TToplevelProcess& process, const std::string& lowerAppId, const std::string& entryProgram)
{
    if (!entryProgram.empty() && process.ExePath == entryProgram)
        return true;
    if (!process.ExePath.empty() && AsciiLowerCase(FileNameOf(process.ExePath)) == lowerAppId)
        return true;
    return !process.Comm.empty() && AsciiLowerCase(process.Comm) == lowerAppId.substr(0, CommLength);
}

// A desktop entry's id is a file name; an app_id comes from any program, so one that would reach
// outside the applications folders is no entry's.
bool EntryIdUsable(const std::string& appId)
{
    return !appId.empty() && appId.size() < 256 && appId.find('/') == std::string::npos && appId.front() != '.'
        && appId.find('\0') == std::string::npos;
}

struct TGFreeText
{
    void operator()(char* text) const
    {
        g_free(text);
    }
};

} // namespace

TToplevelProcessMatch::TToplevelProcessMatch(TToplevelProcessSource& source)
    : m_source(source)
{
}

int64_t TToplevelProcessMatch::ProcessFind(const std::string& appId, const std::string& title, bool inFront)
{
    std::lock_guard lock(m_mutex);
    if (inFront && !title.empty()) {
        const std::optional<TActiveFrame> frame = m_source.ActiveFrameGet();
        if (frame && frame->ProcessId > 0 && frame->Title == title)
            return frame->ProcessId;
    }
    if (!appId.empty()) {
        const std::string lowerAppId = AsciiLowerCase(appId);
        const std::string entryProgram = EntryIdUsable(appId) ? m_source.DesktopEntryProgramGet(appId) : "";
        const TToplevelProcess* chosen = nullptr;
        const std::vector<TToplevelProcess> processes = m_source.UserProcessesGet();
        for (const TToplevelProcess& process : processes) {
            if (process.ProcessId <= 0 || !NamesProgram(process, lowerAppId, entryProgram))
                continue;
            const auto rank
                = [](const TToplevelProcess& p) { return std::tuple(p.ThisSession, p.StartTicks, p.ProcessId); };
            if (!chosen || rank(process) > rank(*chosen))
                chosen = &process;
        }
        if (chosen)
            return chosen->ProcessId;
    }
    if (m_unmatchedLogged.insert(appId).second) {
        LogMessageWrite(
            (appId.empty() ? std::string("A window without an app_id") : "The windows of app_id \"" + appId + "\"")
            + " cannot be traced to a running program of this user (the compositor names no process, the "
              "accessibility bus shows no such active window, and no program or desktop entry has that name); "
              "their time is not counted");
    }
    return 0;
}

TLinuxToplevelProcessSource::TLinuxToplevelProcessSource(std::string procRoot)
    : m_procRoot(std::move(procRoot))
{
    const auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    m_runtimeFolder = variable("XDG_RUNTIME_DIR");
    m_waylandDisplay = variable("WAYLAND_DISPLAY");
    m_xDisplay = variable("DISPLAY");
}

std::optional<TActiveFrame> TLinuxToplevelProcessSource::ActiveFrameGet()
{
    if (m_accessibility < 0)
        m_accessibility = TAtspiAccessibility::BusConnect() ? 1 : 0;
    if (m_accessibility != 1)
        return std::nullopt;
    TGObjectRef<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (!desktop)
        return std::nullopt;
    GError* error = nullptr;
    const gint applications = atspi_accessible_get_child_count(desktop.get(), &error);
    g_clear_error(&error);
    for (gint i = 0; i < applications; ++i) {
        TGObjectRef<AtspiAccessible> application(atspi_accessible_get_child_at_index(desktop.get(), i, &error));
        if (error || !application) {
            g_clear_error(&error);
            continue;
        }
        const gint frames = atspi_accessible_get_child_count(application.get(), &error);
        if (error) {
            // A program that does not answer is skipped, not waited on again for each frame.
            g_clear_error(&error);
            continue;
        }
        for (gint j = 0; j < frames; ++j) {
            TGObjectRef<AtspiAccessible> frame(atspi_accessible_get_child_at_index(application.get(), j, &error));
            if (error || !frame) {
                g_clear_error(&error);
                continue;
            }
            TGObjectRef<AtspiStateSet> states(atspi_accessible_get_state_set(frame.get()));
            if (!states || !atspi_state_set_contains(states.get(), ATSPI_STATE_ACTIVE))
                continue;
            TActiveFrame found;
            found.ProcessId = atspi_accessible_get_process_id(application.get(), &error);
            g_clear_error(&error);
            std::unique_ptr<char, TGFreeText> name(atspi_accessible_get_name(frame.get(), &error));
            g_clear_error(&error);
            found.Title = name ? name.get() : "";
            return found;
        }
    }
    return std::nullopt;
}

std::vector<TToplevelProcess> TLinuxToplevelProcessSource::UserProcessesGet()
{
    std::vector<TToplevelProcess> processes;
    TProcFsProcesses proc(m_procRoot);
    std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(m_procRoot.c_str()), closedir);
    if (!folder)
        return processes;
    const auto user = static_cast<int64_t>(getuid());
    while (const dirent* entry = readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        TToplevelProcess process;
        process.ProcessId = std::stoll(name);
        if (proc.ProcessOwnerGet(process.ProcessId) != user)
            continue;
        std::string errorText;
        proc.ProcessExeNameGet(process.ProcessId, process.ExePath, errorText);
        const std::string folderPath = m_procRoot + "/" + name;
        std::ifstream comm(folderPath + "/comm");
        std::getline(comm, process.Comm);
        // The start time is the 22nd field of stat; the command name (the 2nd) is in parentheses
        // and may hold blanks and parentheses itself, so the count starts after its last ')'.
        std::ifstream statFile(folderPath + "/stat");
        std::string stat;
        std::getline(statFile, stat);
        const size_t close = stat.rfind(')');
        if (close != std::string::npos) {
            std::istringstream fields(stat.substr(close + 1));
            std::string field;
            for (int index = 3; fields >> field; ++index) {
                if (index == 22) {
                    process.StartTicks = std::strtoull(field.c_str(), nullptr, 10);
                    break;
                }
            }
        }
        // The environment the process started with; a program started in the session inherits the
        // session's variables. Missing variables on either side never make two sessions one.
        std::ifstream environmentFile(folderPath + "/environ", std::ios::binary);
        std::string runtimeFolder;
        std::string waylandDisplay;
        std::string xDisplay;
        for (std::string variable; std::getline(environmentFile, variable, '\0');) {
            if (variable.starts_with("XDG_RUNTIME_DIR="))
                runtimeFolder = variable.substr(16);
            else if (variable.starts_with("WAYLAND_DISPLAY="))
                waylandDisplay = variable.substr(16);
            else if (variable.starts_with("DISPLAY="))
                xDisplay = variable.substr(8);
        }
        process.ThisSession = !m_runtimeFolder.empty() && runtimeFolder == m_runtimeFolder
            && ((!m_waylandDisplay.empty() && waylandDisplay == m_waylandDisplay)
                || (!m_xDisplay.empty() && xDisplay == m_xDisplay));
        processes.push_back(std::move(process));
    }
    return processes;
}

std::string TLinuxToplevelProcessSource::DesktopEntryProgramGet(const std::string& appId)
{
    if (!EntryIdUsable(appId))
        return {};
    TXdgInstalledApplications applications;
    for (const std::string& dataFolder : XdgFoldersGet().DataFolders) {
        const std::string file = dataFolder + "applications/" + appId + ".desktop";
        if (access(file.c_str(), R_OK) != 0)
            continue;
        // The first folder holding the id decides, as for the desktop's menus.
        std::unique_ptr<GDesktopAppInfo, void (*)(GDesktopAppInfo*)> info(
            g_desktop_app_info_new_from_filename(file.c_str()), [](GDesktopAppInfo* i) {
                if (i)
                    g_object_unref(i);
            });
        if (!info)
            return {};
        const char* commandLine = g_app_info_get_commandline(G_APP_INFO(info.get()));
        return commandLine ? applications.CommandProgramGet(commandLine) : std::string();
    }
    return {};
}
