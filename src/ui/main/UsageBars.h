#pragma once

#include "ui/main/UsageChart.h"

#include <QColor>
#include <QWidget>

// The bar and the item of it under a point; -1 for none.
struct TUsageBarHit
{
    int Bucket = -1;
    int Series = -1;
    bool operator==(const TUsageBarHit&) const = default;
};

// What lies under `at` on a plot that spans `plot` with `topSeconds` at its top edge: each bucket
// has an equal slot and its bar the middle of it, the series stacked from the bottom in their
// order. The gaps between bars and the room above a bar hold nothing; time a clock took back
// takes no room.
TUsageBarHit UsageBarAt(const TUsageChart& chart, double topSeconds, const QRectF& plot, const QPointF& at);

// The usage chart painted by the program itself, for a Qt without Qt Charts: stacked bars per
// bucket in the series' colours (now's lighter), the axes, the daily limit as a dashed line, a
// legend beside, a tooltip per item of a bar and a signal for a click on one.
class TUsageBars : public QWidget
{
    Q_OBJECT

public:
    explicit TUsageBars(QWidget* parent = nullptr);

    // What is drawn: the chart, the daily limit (a line over days only; 0 for none), the text
    // over the bars and the colour of text and lines (the skin's).
    void ChartSet(const TUsageChart& chart, int32_t limitSeconds, const QString& title, const QColor& textColor);
    const QString& TitleGet() const
    {
        return m_title;
    }
    // The area of the bars at the widget's size, and the time its top edge stands for.
    QRectF PlotGet() const;
    double TopSecondsGet() const
    {
        return m_topSeconds;
    }

signals:
    void BucketClicked(int bucket);

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList LegendCaptionsGet() const;
    int LegendWidthGet() const;
    double UnitSecondsGet() const;

    TUsageChart m_chart;
    int32_t m_limitSeconds = 0;
    QString m_title;
    QColor m_textColor;
    double m_step = 1; // between the value axis' ticks, in minutes or hours
    double m_topSeconds = 3600;
};
