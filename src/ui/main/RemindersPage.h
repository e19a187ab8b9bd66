#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

// The Reminders page (tsReminder): the reminders of the morning, the afternoon and the evening,
// three equal memos over the page.
class TRemindersPage : public QWidget
{
    Q_OBJECT

public:
    // `bottomRoom`: the height the window's paging buttons take below the page.
    TRemindersPage(int bottomRoom, QWidget* parent = nullptr);

    // Places the controls for the page's current size at once, also while the window is hidden.
    void Arrange();

    // The memos, which the reminder rules fill and follow.
    QPlainTextEdit* MorningMemo() const;
    QPlainTextEdit* AfternoonMemo() const;
    QPlainTextEdit* EveningMemo() const;

private:
    QLabel* lblReminderMorning = nullptr;
    QLabel* lblReminderAfternoon = nullptr;
    QLabel* lblReminderEvening = nullptr;
    QPlainTextEdit* mmReminderMorning = nullptr;
    QPlainTextEdit* mmReminderAfrernoon = nullptr;
    QPlainTextEdit* mmReminderEvening = nullptr;
};
