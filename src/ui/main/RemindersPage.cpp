#include "ui/main/RemindersPage.h"

#include "ui/main/MainPageParts.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>

using namespace MainPageParts;

TRemindersPage::TRemindersPage(int bottomRoom, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("tsReminder"));
    lblReminderMorning = LabelMake(this, QStringLiteral("lblReminderMorning"), QStringLiteral("This Morning:"), 200);
    mmReminderMorning = MemoMake(this, QStringLiteral("mmReminderMorning"));
    lblReminderAfternoon
        = LabelMake(this, QStringLiteral("lblReminderAfternoon"), QStringLiteral("This Afternoon:"), 200);
    mmReminderAfrernoon = MemoMake(this, QStringLiteral("mmReminderAfrernoon"));
    lblReminderEvening = LabelMake(this, QStringLiteral("lblReminderEvening"), QStringLiteral("This Evening:"), 200);
    mmReminderEvening = MemoMake(this, QStringLiteral("mmReminderEvening"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kSideMargin, 0, kSideMargin, bottomRoom);
    layout->setSpacing(0);
    const std::pair<QLabel*, QPlainTextEdit*> parts[] = { { lblReminderMorning, mmReminderMorning },
        { lblReminderAfternoon, mmReminderAfrernoon }, { lblReminderEvening, mmReminderEvening } };
    for (const auto& [label, memo] : parts) {
        memo->setMinimumHeight(30);
        layout->addWidget(label);
        layout->addSpacing(2);
        layout->addWidget(memo, 1);
        layout->addSpacing(6);
    }
}

QPlainTextEdit* TRemindersPage::MorningMemo() const
{
    return mmReminderMorning;
}

QPlainTextEdit* TRemindersPage::AfternoonMemo() const
{
    return mmReminderAfrernoon;
}

QPlainTextEdit* TRemindersPage::EveningMemo() const
{
    return mmReminderEvening;
}

void TRemindersPage::Arrange()
{
    layout()->setGeometry(rect());
}
