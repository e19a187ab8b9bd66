#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class TImageButton;
class TMonitoredItem;
class TMonitoredList;

// The main page (tsMain), shown by the All and the Lite view: the reminder of the part of the
// day, the time-limit list with its add and delete buttons, and the action and limit taken when
// the time is up. Lite view shows the page down to the reminder's end.
class TMainPage : public QWidget
{
    Q_OBJECT

public:
    explicit TMainPage(QWidget* parent = nullptr);

    // Places the controls for the page's current size at once, also while the window is hidden,
    // and rules the list down to its new bottom.
    void Arrange();

    // The reminder's drop-down and memo, which the reminder rules fill and follow.
    QComboBox* ReminderCombo() const;
    QPlainTextEdit* ReminderMemo() const;
    // Where the reminder ends, in the coordinates of `ancestor`: Lite view cuts the window there.
    int ReminderBottomIn(const QWidget* ancestor) const;

    // The rows point into `list`, which must outlive them or be released first.
    void ListShow(TMonitoredList& list);
    void ListRelease();
    // The entry of the chosen row and the row's text; null when no entry is chosen.
    const TMonitoredItem* ChosenEntry(QString& caption) const;
    // The limit and the action, as the time-up rules take them.
    void ActionFieldsSet(const QString& timeLimit, const QString& action);
    // The column heads the usage list draws its columns after.
    QWidget* NameHeader() const;
    QWidget* TypeHeader() const;

signals:
    void AddClicked();
    void DeleteClicked();
    void TimeEditClicked();

private:
    QWidget* pnlReminder = nullptr;
    QLabel* lblReminder = nullptr;
    QComboBox* cbxReminder = nullptr;
    QPlainTextEdit* mmReminder = nullptr;
    QLabel* lblApplications = nullptr;
    TImageButton* btnApp_Add = nullptr;
    TImageButton* btnApp_Delete = nullptr;
    QWidget* pnlApp_Name = nullptr;
    QWidget* pnlApp_Type = nullptr;
    QWidget* pnlApp_Time = nullptr;
    QListWidget* lbxMain_Applications = nullptr;
    QWidget* pnlAction = nullptr;
    QLabel* lblAction = nullptr;
    QLineEdit* edtAction = nullptr;
    TImageButton* btnTimeEdit = nullptr;
    QLabel* lblTimeLimit = nullptr;
    QLineEdit* edtTimeLimit = nullptr;
};
