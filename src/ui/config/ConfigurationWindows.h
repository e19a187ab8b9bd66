#pragma once

#include "ui/config/FrmAppSiteAddWizard.h"

// Hands the settings wizard, the add wizard and the password prompt to the main window and the
// start-up, working on the one settings store and finding programs through `sources`.
void ConfigurationWindowsInstall(TAppSiteSources sources);
