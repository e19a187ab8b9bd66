#include "monitor/ZaraveDezeZurirevuzor.h"

#include "model/Assert.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "monitor/BrowserFamily.h"
#include "monitor/ProcessIdentification.h"

namespace {

constexpr const char* kUnitName = "ZaraveDezeZurirevuzorObjects";
constexpr const char* kExecuteMethodText = "; TZaraveDezeZurirevuzor.Execute: ";

void ExecuteErrorLog(const std::exception* error)
{
    if (error) {
        LogError(*error, kExecuteMethodText);
    } else {
        LogMessageWrite(ErrorEntryText("Exception", kExecuteMethodText, "Unknown error"));
    }
}

} // namespace

std::string ApplicationTypeText(TApplicationType type)
{
    switch (type) {
    case atDesktop:
        return "Desktop Application";
    case atInternetExplorer:
        return "MS Internet Explorer";
    case atFirefox:
        return "Mozila FireFox";
    case atChrome:
        return "Google Chrome";
    case atOpera:
        return "Opera";
    }
    TH_ASSERT(false, kUnitName);
    return {};
}

TApplicationType ApplicationTypeOfFamily(TBrowserFamily family)
{
    return static_cast<TApplicationType>(family);
}

TZaraveDezeZurirevuzor::TZaraveDezeZurirevuzor(
    TWindowSystem& windowSystem, TProcesses& processes, TAccessibility& accessibility)
    : m_windowSystem(windowSystem)
    , m_processes(processes)
    , m_accessibility(accessibility)
{
}

void TZaraveDezeZurirevuzor::Execute(bool closeMode, const TMonitoredList* list)
{
    AppType = atDesktop;
    BrowserUrl.clear();
    ExeName.clear();
    Sampled = false;
    WindowHandle = 0;
    CloseMatching = closeMode;
    CloseList = list;
    try {
        if (closeMode) {
            // One window that fails (it closed under our hands, its browser hung) must not
            // leave the listed windows after it open, so each window is guarded on its own.
            for (const TWindowHandle window : m_windowSystem.TopLevelWindowsGet()) {
                try {
                    if (!OnTopWindowEnum(window)) {
                        break;
                    }
                } catch (const std::exception& error) {
                    ExecuteErrorLog(&error);
                }
            }
        } else {
            OnTopWindowEnum(m_windowSystem.ForegroundWindowGet());
        }
    } catch (const std::exception& error) {
        ExecuteErrorLog(&error);
    } catch (...) {
        ExecuteErrorLog(nullptr);
    }
    CloseMatching = false;
    CloseList = nullptr;
}

bool TZaraveDezeZurirevuzor::OnTopWindowEnum(TWindowHandle window)
{
    bool goOn = true;
    if (!CloseMatching && Sampled) {
        return goOn;
    }
    if (!CloseMatching) {
        Sampled = true;
        goOn = false;
    }
    WindowHandle = window;
    AppType = atDesktop;
    const int64_t processId = window == 0 ? 0 : m_windowSystem.WindowProcessIdGet(window);
    ExeName = ProcessExeNameText(m_processes, processId);
    BrowserUrl.clear();
    BrowserSample(window, processId);
    if (CloseMatching && SampleMatch(*this, CloseList).Found) {
        m_windowSystem.WindowCloseRequest(window);
    }
    return goOn;
}

void TZaraveDezeZurirevuzor::BrowserSample(TWindowHandle window, int64_t processId)
{
    if (window == 0) {
        return;
    }
    const TBrowserFamily family = BrowserFamilyGet(m_windowSystem.WindowClassNameGet(window), ExeName);
    if (family == TBrowserFamily::None) {
        return;
    }
    AppType = ApplicationTypeOfFamily(family);
    if (!m_accessibility.CanReadBrowserAddress()) {
        return;
    }
    BrowserUrl = m_accessibility.BrowserAddressGet(window, processId, family);
    const bool answered = m_accessibility.LastReadAnswered();
    if (!BrowserUrl.empty() || (answered && !CloseMatching)) {
        // Only the foreground's reads are remembered: a close-all walk passes every window.
        if (!CloseMatching) {
            m_lastRead = { window, BrowserUrl.empty() ? std::string() : m_windowSystem.WindowTextGet(window),
                BrowserUrl, false };
        }
        return;
    }
    if (answered || m_lastRead.Url.empty() || m_lastRead.Window != window
        || m_windowSystem.WindowTextGet(window) != m_lastRead.Title) {
        return;
    }
    BrowserUrl = m_lastRead.Url;
    if (!m_lastRead.SilenceTold) {
        m_lastRead.SilenceTold = true;
        LogMessageWrite("The browser in front (" + ControlCharsVisible(ExeName)
            + ") did not answer in time; its time is charged to the page it showed last, "
            + ControlCharsVisible(BrowserUrl) + ", while its title stays the same");
    }
}

TForegroundFields TZaraveDezeZurirevuzor::Fields() const
{
    return { Sampled, ExeName, AppType, BrowserUrl, WindowHandle };
}

void TZaraveDezeZurirevuzor::FieldsSet(const TForegroundFields& fields)
{
    Sampled = fields.Sampled;
    ExeName = fields.ExeName;
    AppType = fields.AppType;
    BrowserUrl = fields.BrowserUrl;
    WindowHandle = fields.WindowHandle;
}

TSampleMatchResult SampleMatch(const TZaraveDezeZurirevuzor& sample, const TMonitoredList* list)
{
    return SampleMatch(TSampleMatchInput { sample.ExeName, sample.BrowserUrl }, list);
}
