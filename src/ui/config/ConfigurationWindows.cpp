#include "ui/config/ConfigurationWindows.h"

#include "ui/config/AdminPassword.h"
#include "ui/config/FrmSettings.h"
#include "ui/main/MainWindowSeams.h"

#include "storage/Options.h"

void ConfigurationWindowsInstall(TAppSiteSources sources)
{
    TConfigurationWindows windows;
    windows.SettingsWizard
        = [sources](bool firstRun) { return TfrmSettings::Execute(OptionsInstance(), sources, firstRun); };
    windows.AddWizard = [sources](TMonitoredList& result) {
        TOptions& options = OptionsInstance();
        TfrmAppSiteAddWizard::Execute(options, options.MonitoredItems(), result, sources);
        return true;
    };
    // The main window has already passed the settings gate's first two tests when it asks.
    windows.AdminPasswordAsk = [] { return AskAdminPassword(nullptr); };
    ConfigurationWindowsSet(std::move(windows));
}
