#include "ui/main/Reminders.h"

#include "ui/main/FrmReminderChange.h"
#include "ui/main/ReminderRules.h"

#include "storage/Options.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

const QImage& CheckPicture()
{
    static const QImage picture(QStringLiteral(":/tallyhour/images/check_on.png"));
    return picture;
}

// Stored texts written on other systems may end their lines with CR LF; the memo shows lines.
QString MemoText(const std::string& text)
{
    QString shown = QString::fromStdString(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return shown;
}

} // namespace

QRect TReminderComboDelegate::CheckRect(const QRect& item, const QSize& check)
{
    const int areaLeft = item.left() + item.width() - item.height() - 10;
    const int areaWidth = item.left() + item.width() - areaLeft;
    return QRect(areaLeft + (areaWidth - check.width()) / 2, item.top() + (item.height() - check.height()) / 2,
        check.width(), check.height());
}

void TReminderComboDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(option.rect, option.palette.brush(selected ? QPalette::Highlight : QPalette::Base));
    const int areaLeft = option.rect.left() + option.rect.width() - option.rect.height() - 10;
    if (index.data(kMarkedRole).toBool()) {
        const QImage& check = CheckPicture();
        painter->drawImage(CheckRect(option.rect, check.size()).topLeft(), check);
    }
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(option.font);
    const QRect textRect(
        option.rect.left() + 4, option.rect.top(), areaLeft - option.rect.left() - 4, option.rect.height());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, index.data().toString());
}

QSize TReminderComboDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return QSize(
        QStyledItemDelegate::sizeHint(option, index).width(), std::max(kItemHeight, option.fontMetrics.height() + 6));
}

TReminderController::TReminderController(
    const TControls& controls, TOptions& options, std::function<bool()> pausedGet, QObject* parent)
    : QObject(parent)
    , m_controls(controls)
    , m_options(options)
    , m_pausedGet(std::move(pausedGet))
    , m_lastPartOfDay(kPartOfDayNone)
{
    QComboBox* combo = m_controls.cbxReminder;
    combo->clear();
    for (const char* item : { "Morning", "Afternoon", "Evening" }) {
        combo->addItem(QString::fromLatin1(item));
    }
    combo->setItemDelegate(new TReminderComboDelegate(combo));
    connect(combo, &QComboBox::currentIndexChanged, this, &TReminderController::cbxReminderChange);
    connect(m_controls.mmReminder, &QPlainTextEdit::textChanged, this, &TReminderController::mmReminderChange);
    for (int index = 0; index < 3; ++index) {
        connect(PageMemo(index), &QPlainTextEdit::textChanged, this, [this, index] { PageMemoChange(index); });
    }

    tmrReminderChange = new QTimer(this);
    tmrReminderChange->setObjectName(QStringLiteral("tmrReminderChange"));
    tmrReminderChange->setInterval(100002);
    connect(tmrReminderChange, &QTimer::timeout, this, &TReminderController::tmrReminderChangeTimer);
}

QPlainTextEdit* TReminderController::PageMemo(int index) const
{
    switch (index) {
    case 0:
        return m_controls.mmReminderMorning;
    case 1:
        return m_controls.mmReminderAfrernoon;
    default:
        return m_controls.mmReminderEvening;
    }
}

int TReminderController::SelectedReminder() const
{
    const int index = m_controls.cbxReminder->currentIndex();
    return (index == 1 || index == 2) ? index : 0;
}

void TReminderController::MemoFill(QPlainTextEdit* memo, int index)
{
    const bool suppressed = std::exchange(m_suppressChanges, true);
    memo->setPlainText(MemoText(m_options.ReminderText(index)));
    m_suppressChanges = suppressed;
}

void TReminderController::PartOfDayUpdate()
{
    const int part = PartOfDayGet(ProgramTimeOfDay());
    if (part == m_lastPartOfDay) {
        return;
    }
    m_lastPartOfDay = part;
    // A new selection runs the combo's change (its signal); the same one changes nothing.
    m_controls.cbxReminder->setCurrentIndex(part);
}

void TReminderController::cbxReminderChange()
{
    ComboMarksUpdate();
    MemoFill(m_controls.mmReminder, SelectedReminder());
}

void TReminderController::RemindersLoad()
{
    MemoFill(m_controls.mmReminder, SelectedReminder());
    for (int index = 0; index < 3; ++index) {
        MemoFill(PageMemo(index), index);
    }
    ComboMarksUpdate();
}

void TReminderController::mmReminderChange()
{
    if (m_suppressChanges) {
        return;
    }
    const int index = SelectedReminder();
    m_options.ReminderTextSet(index, m_controls.mmReminder->toPlainText().toStdString());
    MemoFill(PageMemo(index), index);
    ComboMarksUpdate();
}

void TReminderController::PageMemoChange(int index)
{
    if (m_suppressChanges) {
        return;
    }
    m_options.ReminderTextSet(index, PageMemo(index)->toPlainText().toStdString());
    // The main page's memo shows the same reminder: left stale, its next edit would store the
    // old text over this one.
    if (index == SelectedReminder()) {
        MemoFill(m_controls.mmReminder, index);
    }
    ComboMarksUpdate();
}

void TReminderController::ComboMarksUpdate()
{
    for (int index = 0; index < m_controls.cbxReminder->count() && index < 3; ++index) {
        m_controls.cbxReminder->setItemData(
            index, ReminderMarked(m_options.ReminderText(index)), TReminderComboDelegate::kMarkedRole);
    }
}

void TReminderController::tmrReminderChangeTimer()
{
    if (m_pausedGet && m_pausedGet()) {
        return;
    }
    const TDateTime now = ProgramNow();
    if (!ReminderChangePromptDue(
            m_options.ReminderChangePeriod, now, m_options.ReminderShowedDateTime, m_options.ReminderChangedDateTime)) {
        return;
    }
    if (m_reminderChangeShowing) {
        return;
    }
    m_reminderChangeShowing = true;
    try {
        TfrmReminderChange::Execute(m_options);
    } catch (...) {
        m_reminderChangeShowing = false;
        throw;
    }
    m_reminderChangeShowing = false;
}
