#pragma once

#include "model/ProgramClock.h"

#include <QObject>
#include <QStyledItemDelegate>

#include <functional>

class QComboBox;
class QPlainTextEdit;
class QTimer;
class TOptions;

// Draws the reminder combo's items, at least 20 pixels high and room around their text, with a
// check at the right end of every item whose reminder is written, while the list is dropped
// down. The closed combo shows no check.
class TReminderComboDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int kItemHeight = 20;
    // The item's mark, as item data.
    static constexpr int kMarkedRole = Qt::UserRole + 1;

    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Where the check goes in an item's rectangle: centred in the area that starts the item's
    // height plus 10 pixels left of its right end.
    static QRect CheckRect(const QRect& item, const QSize& check);
};

// The reminders of the main window: the combo and memo of the main page show the reminder of
// the part of the day (the user may pick another until the next 04:00, 12:00 or 18:00), the
// Reminders page edits all three, every edit is stored at once, and now and then the user is
// asked to renew reminders that have not changed for a while.
class TReminderController : public QObject
{
    Q_OBJECT

public:
    struct TControls
    {
        QComboBox* cbxReminder = nullptr;
        QPlainTextEdit* mmReminder = nullptr;
        QPlainTextEdit* mmReminderMorning = nullptr;
        QPlainTextEdit* mmReminderAfrernoon = nullptr;
        QPlainTextEdit* mmReminderEvening = nullptr;
    };

    // Fills the combo with its items and takes over the memos' change events.
    TReminderController(
        const TControls& controls, TOptions& options, std::function<bool()> pausedGet, QObject* parent = nullptr);

    // 100002 ms; started by the main window at the end of its creation.
    QTimer* tmrReminderChange = nullptr;

    // Every scan and once at creation: selects the part of the day when it has changed.
    void PartOfDayUpdate();
    int LastPartOfDay() const
    {
        return m_lastPartOfDay;
    }
    // All four memos from the settings (creation, after the settings wizard); loading is never
    // an edit.
    void RemindersLoad();
    void ComboMarksUpdate();
    // The prompt to renew the reminders, when due.
    void tmrReminderChangeTimer();
    bool ReminderChangeShowing() const
    {
        return m_reminderChangeShowing;
    }

private:
    void cbxReminderChange();
    void mmReminderChange();
    void PageMemoChange(int index);
    QPlainTextEdit* PageMemo(int index) const;
    int SelectedReminder() const;
    void MemoFill(QPlainTextEdit* memo, int index);

    TControls m_controls;
    TOptions& m_options;
    std::function<bool()> m_pausedGet;
    int m_lastPartOfDay;
    bool m_suppressChanges = false;
    bool m_reminderChangeShowing = false;
};
