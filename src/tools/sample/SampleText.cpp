#include "tools/sample/SampleText.h"

#include "model/TextHelpers.h"

#include <filesystem>

namespace {

const char* AppTypeText(TBrowserFamily family)
{
    switch (family) {
    case TBrowserFamily::None:
        return "Desktop Application";
    case TBrowserFamily::InternetExplorer:
        return "MS Internet Explorer";
    case TBrowserFamily::Firefox:
        return "Mozila FireFox";
    case TBrowserFamily::Chromium:
        return "Google Chrome";
    case TBrowserFamily::Opera:
        return "Opera";
    }
    return "Desktop Application";
}

// The browser family of a top-level window, by its WM_CLASS and its executable's file name.
TBrowserFamily BrowserFamilyOf(const std::string& className, const std::string& exeName)
{
    const std::string cls = AsciiLowerCase(className);
    const std::string exe = AsciiLowerCase(std::filesystem::path(exeName).filename().string());
    auto either = [&](std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (cls == name || exe == name)
                return true;
        }
        return false;
    };
    if (either({ "firefox", "firefox-esr", "firefox-bin", "navigator" }))
        return TBrowserFamily::Firefox;
    if (either({ "opera" }))
        return TBrowserFamily::Opera;
    if (either({ "chromium", "chromium-browser", "chrome", "google-chrome", "microsoft-edge", "msedge", "brave-browser",
            "brave", "vivaldi-stable", "vivaldi-bin" }))
        return TBrowserFamily::Chromium;
    return TBrowserFamily::None;
}

std::string WindowText(TWindowHandle window)
{
    return Format("0x%llx", static_cast<unsigned long long>(window));
}

} // namespace

std::string ForegroundSampleText(TPlatformServices& services)
{
    TWindowSystem& windows = *services.WindowSystem;
    const TWindowHandle window = windows.ForegroundWindowGet();
    const int64_t processId = windows.WindowProcessIdGet(window);
    std::string exeName;
    std::string errorText;
    if (!services.Processes->ProcessExeNameGet(processId, exeName, errorText))
        exeName = "Error: " + errorText;
    const TBrowserFamily family = BrowserFamilyOf(windows.WindowClassNameGet(window), exeName);
    std::string browserUrl;
    if (family != TBrowserFamily::None)
        browserUrl = services.Accessibility->BrowserAddressGet(window, processId, family);
    return "window: " + WindowText(window) + "\nexe: " + exeName + "\napp_type: " + AppTypeText(family)
        + "\nbrowser_url: " + browserUrl + "\n";
}

std::vector<std::string> RunningProgramLinesGet(TProcesses& processes)
{
    std::vector<std::string> lines;
    for (const std::string& path : processes.RunningProgramPathsGet())
        lines.push_back(path + "=" + std::filesystem::path(path).stem().string());
    return lines;
}
