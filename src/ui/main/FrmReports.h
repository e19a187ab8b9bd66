#pragma once

#include "ui/framework/FrmBase.h"
#include "ui/main/UsageChart.h"

#include <functional>
#include <vector>

class QChartView;
class QComboBox;
class QLabel;
class QTreeWidget;
class TImageButton;
class TUsageBars;

// "Usage Chart": where the time on the list went over a period, as bars (per hour for today and
// the last 24 hours, per day of the program otherwise) stacked by item, with the daily limit as a
// line; a click on a bar lists its items, and the period can be exported as CSV. A window of its
// own rather than part of the usage view: the main window is too narrow for 90 bars. It holds
// copies of what it shows, never pointers into the program's lists.
class TfrmReports : public TfrmBase
{
    Q_OBJECT

public:
    using TSplitLoad = std::function<std::vector<TUsageSplitRow>(TDateTime from, TDateTime to, TUsageBucket bucket)>;
    using TNow = std::function<TDateTime()>;

    // `load` reads the split (the activity database's when empty), `now` the program clock.
    TfrmReports(int periodIndex, int32_t limitSeconds, TSplitLoad load = {}, TNow now = {}, QWidget* parent = nullptr);

    // Reads the period again and redraws.
    void Reload();
    // Shows the period (and reads it again when it is the one shown).
    void PeriodSet(int index);
    // What a click on the bar of bucket `index` does: lists its items below the chart.
    void BucketShow(int index);
    // Writes the period, split by day, to `fileName`; false (and the user told why) on failure.
    bool ExportTo(const QString& fileName);

    const TUsageChart& Chart() const
    {
        return m_chart;
    }
    // The text over the bars: why the period could not be read, or that it holds no time.
    QString ChartTitleGet() const;

private:
    // The view the bars are drawn in, and their drawing with `title` over them.
    QWidget* ChartViewMake();
    void ChartDraw(const QString& title);
    void ExportAsk();

    QComboBox* cbxPeriod = nullptr;
    // Where the bars are drawn: by Qt Charts when the program is built with it, else painted.
    QChartView* chvUsage = nullptr;
    TUsageBars* chvBars = nullptr;
    QLabel* lblBucket = nullptr;
    QTreeWidget* lbxBucketItems = nullptr;
    TImageButton* btnExport = nullptr;
    TImageButton* btnClose = nullptr;

    TSplitLoad m_load;
    TNow m_now;
    int32_t m_limitSeconds = 0;
    TDateTime m_from = 0;
    TDateTime m_to = 0;
    std::vector<TUsageSplitRow> m_rows;
    TUsageChart m_chart;
};
