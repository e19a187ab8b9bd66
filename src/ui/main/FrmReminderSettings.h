#pragma once

#include "ui/framework/FrmBase.h"

class QAction;
class QComboBox;
class QLineEdit;
class TImageButton;

// "Time-Up Settings": the daily limit and what happens when it is reached, both under the
// settings' once-a-day rule for changes that relax them.
class TfrmReminderSettings : public TfrmBase
{
    Q_OBJECT

public:
    // Shows `limitSeconds` ("hh:nn") and `action` (0..2).
    TfrmReminderSettings(int limitSeconds, int action, QWidget* parent = nullptr);

    // Opens the window modally with the values the settings show (a change waiting for 04:00
    // included); on OK hands the new limit and action to the settings and answers true. The
    // caller saves the settings and refreshes what shows them.
    static bool Execute();

    // The entry as seconds: round(time of day x 86400). Only valid after the entry passed the
    // time-entry check.
    int EnteredLimitSeconds() const;
    int SelectedAction() const;

    QLabel* lblExplanation = nullptr;
    QLabel* lblTimeUpAction = nullptr;
    QComboBox* cbxExpirationAction = nullptr;
    TImageButton* btnCombo = nullptr;
    QLabel* lblTimeLimit = nullptr;
    QLineEdit* medTimeLimit = nullptr;
    QLabel* lblHoursMinutes = nullptr;
    TImageButton* btnOk = nullptr;
    TImageButton* btnCancel = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

    // OK: only a valid entry closes the window.
    void accept() override;
    void done(int result) override;

private:
    int* m_limitTarget = nullptr;
    int* m_actionTarget = nullptr;
};

// The explanation the window shows.
extern const char* const kReminderSettingsExplanation;
