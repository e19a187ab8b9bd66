#pragma once

#include "model/MonitoredObjects.h"
#include "model/ProgramClock.h"
#include "ui/framework/FrmBase.h"

#include <functional>

class QAction;
class QLineEdit;
class TImageButton;

// "Block Mode": the length of a focus period, and a link to add sites and applications to the
// list first. Entries added through the link collect in a result list that the caller merges
// into the time-limit list whether or not the period starts.
class TfrmFocusSettings : public TfrmBase
{
    Q_OBJECT

public:
    // Opens the add wizard for the link with the result list; the caller decides whether the
    // user may change the list first. Empty: the link does nothing.
    using TAddWizardOpen = std::function<void(TMonitoredList& result)>;

    TfrmFocusSettings(TMonitoredList& result, TAddWizardOpen addWizardOpen, QWidget* parent = nullptr);

    // Opens the window modally. True with the entered length (a day fraction) on OK; false on
    // Cancel. Either way `result` holds what the user added through the link.
    static bool Execute(TMonitoredList& result, TAddWizardOpen addWizardOpen, TDateTime& duration);

    // The entry as a day fraction; only valid after it passed the time-entry check.
    TDateTime EnteredDuration() const;

    QLabel* lblBlockAll = nullptr;
    QLabel* lblOnYour = nullptr;
    QLabel* lblAppWizardLink = nullptr;
    QLabel* lblFor = nullptr;
    QLineEdit* medTimeLimit = nullptr;
    QLabel* lblHoursMinutes = nullptr;
    QLabel* lblNote = nullptr;
    TImageButton* btnOk = nullptr;
    TImageButton* btnCancel = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

    void accept() override;
    void done(int result) override;
    // What a click on "your list" does.
    void lblAppWizardLinkClick();

private:
    TMonitoredList& m_result;
    TAddWizardOpen m_addWizardOpen;
    TDateTime* m_durationTarget = nullptr;
};
