#include "ui/main/MainPage.h"

#include "ui/main/MainDisplay.h"
#include "ui/main/MainPageParts.h"
#include "ui/main/MonitoredRowDelegate.h"

#include "ui/framework/ImageButton.h"
#include "ui/framework/ImagePanel.h"
#include "ui/framework/ListBoxItems.h"

#include "model/MonitoredObjects.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

using namespace MainPageParts;

TMainPage::TMainPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("tsMain"));

    // The reminder of the part of the day; what Lite view shows ends with it.
    pnlReminder = new QWidget(this);
    pnlReminder->setObjectName(QStringLiteral("pnlReminder"));
    pnlReminder->setFixedHeight(118);
    lblReminder = LabelMake(pnlReminder, QStringLiteral("lblReminder"), QStringLiteral("Things to do this:"), 140);
    cbxReminder = ComboMake(pnlReminder, QStringLiteral("cbxReminder"), 160, QStringLiteral("btnReminderCombo"));
    cbxReminder->addItems({ QStringLiteral("Morning"), QStringLiteral("Afternoon"), QStringLiteral("Evening") });
    mmReminder = MemoMake(pnlReminder, QStringLiteral("mmReminder"));
    auto* reminderLine = new QHBoxLayout;
    reminderLine->setSpacing(0);
    reminderLine->addWidget(lblReminder);
    reminderLine->addStretch();
    reminderLine->addWidget(cbxReminder);
    auto* reminderLayout = new QVBoxLayout(pnlReminder);
    reminderLayout->setContentsMargins(kSideMargin, 0, kSideMargin, 2);
    reminderLayout->setSpacing(6);
    reminderLayout->addLayout(reminderLine);
    reminderLayout->addWidget(mmReminder, 1);

    // The time-limit list.
    lblApplications
        = LabelMake(this, QStringLiteral("lblApplications"), QStringLiteral("Sites/Apps to time limit:"), 220);
    btnApp_Add = ButtonMake(this, QStringLiteral("btnApp_Add"), QStringLiteral("+"), 24, 20);
    btnApp_Delete = ButtonMake(this, QStringLiteral("btnApp_Delete"), QStringLiteral("-"), 24, 20);
    btnApp_Add->setToolTip(QStringLiteral("Add"));
    btnApp_Delete->setToolTip(QStringLiteral("Delete"));
    pnlApp_Name = HeaderPanelMake(
        this, QStringLiteral("pnlApp_Name"), 190, QStringLiteral("lblApp_Name"), QStringLiteral("Name"));
    pnlApp_Type = HeaderPanelMake(
        this, QStringLiteral("pnlApp_Type"), 50, QStringLiteral("lblApp_Type"), QStringLiteral("Type"));
    pnlApp_Time = HeaderPanelMake(
        this, QStringLiteral("pnlApp_Time"), 67, QStringLiteral("lblApp_Time"), QStringLiteral("Time"));
    lbxMain_Applications = ListBoxMake(this, QStringLiteral("lbxMain_Applications"));
    lbxMain_Applications->setItemDelegate(
        new TMonitoredRowDelegate(pnlApp_Name, pnlApp_Type, kMainRowHeight, lbxMain_Applications));
    auto* listTitle = new QHBoxLayout;
    listTitle->setContentsMargins(kSideMargin, 0, kSideMargin, 0);
    listTitle->setSpacing(4);
    listTitle->addWidget(lblApplications);
    listTitle->addStretch();
    listTitle->addWidget(btnApp_Add);
    listTitle->addWidget(btnApp_Delete);
    auto* heads = new QHBoxLayout;
    heads->setContentsMargins(kSideMargin, 0, kSideMargin, 0);
    heads->setSpacing(0);
    for (QWidget* head : { pnlApp_Name, pnlApp_Type, pnlApp_Time }) {
        heads->addWidget(head);
    }
    heads->addStretch();

    // What happens when the time is up, and the limit.
    pnlAction = new QWidget(this);
    pnlAction->setObjectName(QStringLiteral("pnlAction"));
    pnlAction->setFixedHeight(50);
    lblAction
        = LabelMake(pnlAction, QStringLiteral("lblAction"), QStringLiteral("Action when time limit is reached:"), 300);
    edtAction = FieldMake(pnlAction, QStringLiteral("edtAction"), 225);
    btnTimeEdit = ButtonMake(pnlAction, QStringLiteral("btnTimeEdit"), QStringLiteral("Edit"), 74, 26);
    auto* actionLine = new QHBoxLayout;
    actionLine->setSpacing(8);
    actionLine->addWidget(edtAction);
    actionLine->addWidget(btnTimeEdit);
    actionLine->addStretch();
    auto* actionLayout = new QVBoxLayout(pnlAction);
    actionLayout->setContentsMargins(kSideMargin, 0, kSideMargin, 0);
    actionLayout->setSpacing(2);
    actionLayout->addWidget(lblAction);
    actionLayout->addLayout(actionLine);
    actionLayout->addStretch();
    lblTimeLimit = LabelMake(this, QStringLiteral("lblTimeLimit"), QStringLiteral("Time Limit:"), 100);
    edtTimeLimit = FieldMake(this, QStringLiteral("edtTimeLimit"), 90);

    // The list takes what the reminder above and the fields below leave.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 10);
    layout->setSpacing(0);
    layout->addWidget(pnlReminder);
    layout->addSpacing(14);
    layout->addLayout(listTitle);
    layout->addSpacing(4);
    layout->addLayout(heads);
    auto* list = new QHBoxLayout;
    list->setContentsMargins(kSideMargin, 0, kSideMargin, 0);
    list->addWidget(lbxMain_Applications);
    layout->addLayout(list, 1);
    layout->addSpacing(8);
    layout->addWidget(pnlAction);
    layout->addSpacing(6);
    auto* limit = new QVBoxLayout;
    limit->setContentsMargins(kSideMargin, 0, kSideMargin, 0);
    limit->setSpacing(4);
    limit->addWidget(lblTimeLimit);
    limit->addWidget(edtTimeLimit);
    layout->addLayout(limit);

    connect(btnApp_Add, &TImageButton::clicked, this, &TMainPage::AddClicked);
    connect(btnApp_Delete, &TImageButton::clicked, this, &TMainPage::DeleteClicked);
    connect(btnTimeEdit, &TImageButton::clicked, this, &TMainPage::TimeEditClicked);
}

QComboBox* TMainPage::ReminderCombo() const
{
    return cbxReminder;
}

QPlainTextEdit* TMainPage::ReminderMemo() const
{
    return mmReminder;
}

int TMainPage::ReminderBottomIn(const QWidget* ancestor) const
{
    return pnlReminder->mapTo(ancestor, QPoint(0, pnlReminder->height())).y();
}

void TMainPage::ListShow(TMonitoredList& list)
{
    ListBoxFillFrom(lbxMain_Applications, list);
}

void TMainPage::ListRelease()
{
    lbxMain_Applications->clear();
}

const TMonitoredItem* TMainPage::ChosenEntry(QString& caption) const
{
    const int row = lbxMain_Applications->currentRow();
    if (row < 0 || lbxMain_Applications->item(row)->text().isEmpty()) {
        return nullptr;
    }
    caption = lbxMain_Applications->item(row)->text();
    return ListBoxItemObject(lbxMain_Applications, row);
}

void TMainPage::ActionFieldsSet(const QString& timeLimit, const QString& action)
{
    edtTimeLimit->setText(timeLimit);
    edtAction->setText(action);
}

QWidget* TMainPage::NameHeader() const
{
    return pnlApp_Name;
}

QWidget* TMainPage::TypeHeader() const
{
    return pnlApp_Type;
}

void TMainPage::Arrange()
{
    layout()->setGeometry(rect());
    ListBoxRowsRefit(lbxMain_Applications);
}
