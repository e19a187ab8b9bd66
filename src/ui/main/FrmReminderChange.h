#pragma once

#include "ui/framework/FrmBase.h"

#include "model/ProgramClock.h"

#include <functional>

class QAction;
class QComboBox;
class QLabel;
class TImageButton;
class TOptions;

// Asks the user to renew reminders that have not changed for a while, and how often to ask.
// OK, Enter and Esc all keep the chosen period; the window is marked as shown before it opens.
class TfrmReminderChange : public TfrmBase
{
    Q_OBJECT

public:
    TfrmReminderChange(TOptions& options, TDateTime now, QWidget* parent = nullptr);

    // Opens the prompt modally.
    static void Execute(TOptions& options);
    // Replaces the modal run with `hook` (tests answer the window through it); none restores it.
    static void ExecHookSet(std::function<void(TfrmReminderChange*)> hook);

    QLabel* lblWarningText = nullptr;
    QLabel* lblRemindMe = nullptr;
    QComboBox* cbxReminderChangeFrequency = nullptr;
    TImageButton* btnCombo = nullptr;
    TImageButton* btnOk = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

    void done(int result) override;

private:
    TOptions& m_options;
};
