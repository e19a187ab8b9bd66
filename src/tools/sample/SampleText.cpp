#include "tools/sample/SampleText.h"

#include "model/TextHelpers.h"
#include "monitor/ProcessIdentification.h"
#include "monitor/ZaraveDezeZurirevuzor.h"

std::string ForegroundSampleText(TPlatformServices& services)
{
    // The scan's own sample, so the command shows exactly what a scan would see.
    TZaraveDezeZurirevuzor sample(*services.WindowSystem, *services.Processes, *services.Accessibility);
    sample.Execute(false, nullptr);
    return "window: " + Format("0x%llx", static_cast<unsigned long long>(sample.WindowHandle)) + "\ntitle: "
        + ControlCharsVisible(services.WindowSystem->WindowTextGet(sample.WindowHandle)) + "\nexe: " + sample.ExeName
        + "\napp_type: " + ApplicationTypeText(sample.AppType) + "\nbrowser_url: " + sample.BrowserUrl + "\n";
}

std::vector<std::string> RunningProgramLinesGet(TProcesses& processes)
{
    std::vector<std::string> lines;
    ProcessesExeNamesGet(processes, lines);
    return lines;
}
