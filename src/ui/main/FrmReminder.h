#pragma once

#include "enforce/TimeUp.h"
#include "ui/framework/FrmBase.h"

#include <array>

class QAction;
class QComboBox;
class QPlainTextEdit;
class QTimer;
class TImageButton;

// What the time-up window shows: why it came, the reminders still ahead in the day, and whether
// the five minutes of grace are offered.
struct TReminderContent
{
    bool InFocus = false;
    bool FiveMinuteOffer = true;
    int ExpirationAction = eaReminderOnly;
    std::array<QString, 3> Reminders; // morning, afternoon, evening
    TDateTime TimeOfDay = 0;
};

// The time-up window: the reminders of the rest of the day, the message, and either the choice
// of an action ("Reminder Only") or a 60-second countdown after which it closes by itself.
class TfrmReminder : public TfrmBase
{
    Q_OBJECT

public:
    TfrmReminder(const TReminderContent& content, QWidget* parent = nullptr);

    // Shows the window over `mainWindow`, which stays disabled while it is open (and is enabled
    // again however the window ends), waits for it as a modal window, and answers how the user
    // left it (unanswered when the program ends meanwhile). The reminders,
    // the action and the time of day come from the settings and the program clock.
    static TReminderAnswer Execute(QWidget* mainWindow, bool inFocus, bool fiveMinuteOffer);

    // How the user left the window so far: grace asked for, and the combo's choice.
    TReminderAnswer Answer() const;
    // Where the answer is written when the window closes (it frees itself then).
    void AnswerTargetSet(TReminderAnswer* target)
    {
        m_answerTarget = target;
    }

    // One run of the countdown: shows the seconds left as "nn:ss" and counts one interval down,
    // or closes the window when none are left.
    void tmrCountdownTimer();

    int CountdownSeconds = kTimeUpCountdownSeconds;

    QLabel* lblMorning = nullptr;
    QLabel* lblAfternoon = nullptr;
    QLabel* lblEvening = nullptr;
    QPlainTextEdit* memReminderMorning = nullptr;
    QPlainTextEdit* memReminderAfternoon = nullptr;
    QPlainTextEdit* memReminderEvening = nullptr;
    QLabel* lblReminderText = nullptr;
    QLabel* lblAction = nullptr;
    QComboBox* cbxExpirationAction = nullptr;
    TImageButton* btnComboExpirationAction = nullptr;
    QLabel* lblTimeLeft = nullptr;
    QLabel* lblTimeValue = nullptr;
    TImageButton* btnFiveMinutes = nullptr;
    TImageButton* btnOk = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;
    QTimer* tmrCountdown = nullptr;

    // Whether keys reach the window yet. It comes while the user may be typing into another
    // program, so it takes keys only once it has been on the screen for a second without any, or
    // after a click on it: a key typed on the way never answers it.
    bool KeysArmed() const
    {
        return m_keysArmed;
    }
    QTimer* tmrKeysArm = nullptr;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SectionsLayout(int firstSection);
    bool OwnsReceiver(QObject* receiver) const;

    bool m_keysArmed = false;
    bool m_countdown = false;
    bool m_grace = false;
    TReminderAnswer* m_answerTarget = nullptr;
};
