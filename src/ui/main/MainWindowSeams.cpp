#include "ui/main/MainWindowSeams.h"

namespace {

TConfigurationWindows& ConfigurationWindows()
{
    static TConfigurationWindows windows;
    return windows;
}

} // namespace

void ConfigurationWindowsSet(TConfigurationWindows windows)
{
    ConfigurationWindows() = std::move(windows);
}

bool SettingsWizardExecute(bool firstRun)
{
    return ConfigurationWindows().SettingsWizard && ConfigurationWindows().SettingsWizard(firstRun);
}

bool AddWizardExecute(TMonitoredList& result)
{
    return ConfigurationWindows().AddWizard && ConfigurationWindows().AddWizard(result);
}

bool AdminPasswordAskExecute()
{
    return ConfigurationWindows().AdminPasswordAsk && ConfigurationWindows().AdminPasswordAsk();
}
