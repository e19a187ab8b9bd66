#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QListWidget;
class TImageButton;
class TMonitoredList;

// The Usage page (tsUsage): the time spent on each entry over a chosen period, and the button
// that opens the period's chart.
class TUsagePage : public QWidget
{
    Q_OBJECT

public:
    // `bottomRoom`: the height the window's paging buttons take below the page.
    TUsagePage(int bottomRoom, QWidget* parent = nullptr);

    // Places the controls for the page's current size at once, also while the window is hidden,
    // and rules the list down to its new bottom.
    void Arrange();

    // The chosen period, as UsagePeriodRange numbers it.
    int PeriodIndex() const;
    // The rows point into `list`, which must outlive them or be released first.
    void ListShow(TMonitoredList& list);
    void ListRelease();

signals:
    void PeriodChanged();
    void ChartClicked();

private:
    QComboBox* cbxUsage_Period = nullptr;
    TImageButton* btnUsageChart = nullptr;
    QLabel* lblUsage_Title = nullptr;
    QWidget* pnlHeader_Name = nullptr;
    QWidget* pnlHeader_Type = nullptr;
    QWidget* pnlHeader_Time = nullptr;
    QListWidget* lbxUsage_Applications = nullptr;
};
