#include "ui/main/UsagePage.h"

#include "ui/main/MainDisplay.h"
#include "ui/main/MainPageParts.h"
#include "ui/main/MonitoredRowDelegate.h"

#include "ui/framework/ImageButton.h"
#include "ui/framework/ImagePanel.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>

using namespace MainPageParts;

TUsagePage::TUsagePage(int bottomRoom, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("tsUsage"));
    cbxUsage_Period = ComboMake(this, QStringLiteral("cbxUsage_Period"), 227, QStringLiteral("btnComboUsagePeriod"));
    for (int i = 0; i < kUsagePeriodCount; ++i) {
        cbxUsage_Period->addItem(QString::fromLatin1(UsagePeriodName(i)));
    }
    cbxUsage_Period->setCurrentIndex(0);
    btnUsageChart = ButtonMake(this, QStringLiteral("btnUsageChart"), QStringLiteral("Chart"), 76, 26);
    lblUsage_Title = LabelMake(this, QStringLiteral("lblUsage_Title"),
        QStringLiteral("Time spent on these applications/websites:"), kInnerWidth);
    pnlHeader_Name = HeaderPanelMake(
        this, QStringLiteral("pnlHeader_Name"), 190, QStringLiteral("lblHeader_Name"), QStringLiteral("Name"));
    pnlHeader_Type = HeaderPanelMake(
        this, QStringLiteral("pnlHeader_Type"), 50, QStringLiteral("lblHeader_Type"), QStringLiteral("Type"));
    pnlHeader_Time = HeaderPanelMake(
        this, QStringLiteral("pnlHeader_Time"), 67, QStringLiteral("lblHeader_Time"), QStringLiteral("Time"));
    lbxUsage_Applications = ListBoxMake(this, QStringLiteral("lbxUsage_Applications"));
    // The same drawing as the main list, columns and all.
    lbxUsage_Applications->setItemDelegate(
        new TMonitoredRowDelegate(pnlHeader_Name, pnlHeader_Type, kUsageRowHeight, lbxUsage_Applications));

    auto* periodLine = new QHBoxLayout;
    periodLine->setSpacing(6);
    periodLine->addWidget(cbxUsage_Period);
    periodLine->addWidget(btnUsageChart);
    periodLine->addStretch();
    auto* heads = new QHBoxLayout;
    heads->setSpacing(0);
    for (QWidget* head : { pnlHeader_Name, pnlHeader_Type, pnlHeader_Time }) {
        heads->addWidget(head);
    }
    heads->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kSideMargin, 0, kSideMargin, bottomRoom + 6);
    layout->setSpacing(0);
    layout->addLayout(periodLine);
    layout->addSpacing(4);
    layout->addWidget(lblUsage_Title);
    layout->addSpacing(4);
    layout->addLayout(heads);
    layout->addWidget(lbxUsage_Applications, 1);

    connect(cbxUsage_Period, &QComboBox::currentIndexChanged, this, &TUsagePage::PeriodChanged);
    connect(btnUsageChart, &TImageButton::clicked, this, &TUsagePage::ChartClicked);
}

int TUsagePage::PeriodIndex() const
{
    return cbxUsage_Period->currentIndex();
}

void TUsagePage::ListShow(TMonitoredList& list)
{
    ListBoxFillFrom(lbxUsage_Applications, list);
}

void TUsagePage::ListRelease()
{
    lbxUsage_Applications->clear();
}

void TUsagePage::Arrange()
{
    layout()->setGeometry(rect());
    ListBoxRowsRefit(lbxUsage_Applications);
}
