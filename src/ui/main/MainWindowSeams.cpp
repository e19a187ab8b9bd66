#include "ui/main/MainWindowSeams.h"

bool SettingsWizardExecute(bool)
{
    return false;
}

bool AddWizardExecute(TMonitoredList&)
{
    return false;
}

bool AdminPasswordAskExecute()
{
    return false;
}
