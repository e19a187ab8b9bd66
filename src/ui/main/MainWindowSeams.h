#pragma once

#include <functional>

class TMonitoredList;

// The windows of the configuration that the main window and the start-up open. Each answers
// "cancelled" and shows nothing until its window exists.

// The settings wizard, in first-run mode or as the Settings command; true when it ended with OK.
bool SettingsWizardExecute(bool firstRun);
// The add wizard: fills `result` with the entries the user worked on; true when it ended with OK.
bool AddWizardExecute(TMonitoredList& result);
// The administrator password prompt; true when the right password was given.
bool AdminPasswordAskExecute();

// The configuration windows the program installs at start-up (they live in a module above this
// one). Until then, and in tests of the main window alone, each of the three answers "cancelled".
struct TConfigurationWindows
{
    std::function<bool(bool firstRun)> SettingsWizard;
    std::function<bool(TMonitoredList& result)> AddWizard;
    std::function<bool()> AdminPasswordAsk;
};
void ConfigurationWindowsSet(TConfigurationWindows windows);
