#pragma once

#include "model/MonitoredObjects.h"
#include "platform/Accessibility.h"
#include "platform/Processes.h"
#include "platform/WindowSystem.h"

#include <cstdint>
#include <string>

// The kind of program a sample comes from. The values are stored in the activity database by
// their texts (ApplicationTypeText), so they must not be renumbered.
enum TApplicationType : uint8_t
{
    atDesktop = 0,
    atInternetExplorer = 1,
    atFirefox = 2,
    atChrome = 3,
    atOpera = 4,
};

// The stored text of a kind: "Desktop Application", "MS Internet Explorer", "Mozila FireFox",
// "Google Chrome", "Opera". The spellings are this program's stored values: rows already
// written hold them, so they never change. A value outside 0..4 is a programming error
// (assertion).
std::string ApplicationTypeText(TApplicationType type);
TApplicationType ApplicationTypeOfFamily(TBrowserFamily family);

// What one sample found, as a value that can travel from the worker thread to the window's.
struct TForegroundFields
{
    bool Sampled = false;
    std::string ExeName;
    TApplicationType AppType = atDesktop;
    std::string BrowserUrl;
    TWindowHandle WindowHandle = 0;
};

// One sample of the foreground activity: the window, the executable that owns it, and for a
// browser its family and the address it shows. The owner reuses one object for every scan;
// each Execute overwrites it.
class TZaraveDezeZurirevuzor
{
public:
    TZaraveDezeZurirevuzor(TWindowSystem& windowSystem, TProcesses& processes, TAccessibility& accessibility);
    TZaraveDezeZurirevuzor(const TZaraveDezeZurirevuzor&) = delete;
    TZaraveDezeZurirevuzor& operator=(const TZaraveDezeZurirevuzor&) = delete;

    bool Sampled = false;
    std::string ExeName;
    TApplicationType AppType = atDesktop;
    std::string BrowserUrl;
    bool CloseMatching = false;
    const TMonitoredList* CloseList = nullptr; // not owned; set only while a close-all run lasts
    TWindowHandle WindowHandle = 0;

    // Foreground mode (closeMode false): samples the window in front, or no window. Close-all
    // mode: samples every top-level window, hidden ones included, and asks each one that
    // matches `list` to close; afterwards the fields describe the last window of the walk.
    // Never raises: errors are logged and the sample keeps what it had reached.
    void Execute(bool closeMode, const TMonitoredList* list);
    // Samples one top-level window; returns whether a walk over windows goes on.
    bool OnTopWindowEnum(TWindowHandle window);

    TForegroundFields Fields() const;
    void FieldsSet(const TForegroundFields& fields);

private:
    void BrowserSample(TWindowHandle window, int64_t processId);

    // The address last read from a browser window, with the title it had then: a browser that
    // does not answer in time (busy, hung) keeps it while its title stays, so its time is not
    // lost; a window never read stays unknown.
    struct TAddressRead
    {
        TWindowHandle Window = 0;
        std::string Title;
        std::string Url;
        bool SilenceTold = false;
    };
    TAddressRead m_lastRead;

    TWindowSystem& m_windowSystem;
    TProcesses& m_processes;
    TAccessibility& m_accessibility;
};

// The time-limit list's matching rule applied to the sample's ExeName and BrowserUrl.
TSampleMatchResult SampleMatch(const TZaraveDezeZurirevuzor& sample, const TMonitoredList* list);
