#pragma once

class TMonitoredList;

// The windows of the configuration that the main window and the start-up open. Each answers
// "cancelled" and shows nothing until its window exists.

// The settings wizard, in first-run mode or as the Settings command; true when it ended with OK.
bool SettingsWizardExecute(bool firstRun);
// The add wizard: fills `result` with the entries the user worked on; true when it ended with OK.
bool AddWizardExecute(TMonitoredList& result);
// The administrator password prompt; true when the right password was given.
bool AdminPasswordAskExecute();
