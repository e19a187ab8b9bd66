#include "ui/main/UsageBars.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

// The share of a bucket's slot left empty between bars, as Qt Charts' bar width of 0.8 does.
constexpr double kBarGap = 0.2;
constexpr int kPad = 8;
constexpr int kLegendMaxWidth = 170;
constexpr int kSwatch = 12;

double SecondsY(const QRectF& plot, double topSeconds, double seconds)
{
    return plot.bottom() - seconds / topSeconds * plot.height();
}

// The seconds of a bucket that an item's piece of the bar stands for: time a clock took back
// takes no room.
double PieceSeconds(const TUsageChartSeries& series, size_t bucket)
{
    return double(std::max<int64_t>(0, series.Seconds[bucket]));
}

} // namespace

TUsageBarHit UsageBarAt(const TUsageChart& chart, double topSeconds, const QRectF& plot, const QPointF& at)
{
    const int count = int(chart.Buckets.size());
    if (count == 0 || topSeconds <= 0 || plot.isEmpty() || !plot.contains(at)) {
        return {};
    }
    const double position = (at.x() - plot.left()) / plot.width() * count;
    const int bucket = std::min(count - 1, int(position));
    const double inSlot = position - bucket;
    if (inSlot < kBarGap / 2 || inSlot > 1 - kBarGap / 2) {
        return {};
    }
    const double seconds = (plot.bottom() - at.y()) / plot.height() * topSeconds;
    double base = 0;
    for (size_t s = 0; s < chart.Series.size(); ++s) {
        const double top = base + PieceSeconds(chart.Series[s], size_t(bucket));
        if (seconds >= base && seconds < top) {
            return { bucket, int(s) };
        }
        base = top;
    }
    return {};
}

TUsageBars::TUsageBars(QWidget* parent)
    : QWidget(parent)
{
    setMinimumSize(240, 160);
}

void TUsageBars::ChartSet(const TUsageChart& chart, int32_t limitSeconds, const QString& title, const QColor& textColor)
{
    m_chart = chart;
    m_limitSeconds = chart.Bucket == TUsageBucket::Day ? std::max(0, limitSeconds) : 0;
    m_title = title;
    m_textColor = textColor;
    // A tick step of 1, 2 or 5 times a power of ten that splits the tallest bar, the limit and a
    // tenth more into at most six.
    const double unit = UnitSecondsGet();
    const double top = std::max({ 1.0, double(chart.MaxBucketSeconds) / unit, m_limitSeconds / unit }) * 1.1;
    const double power = std::pow(10.0, std::floor(std::log10(top / 6)));
    m_step = 10 * power;
    for (const double factor : { 5.0, 2.0, 1.0 }) {
        if (top / (factor * power) <= 6) {
            m_step = factor * power;
        }
    }
    m_topSeconds = std::ceil(top / m_step - 1e-9) * m_step * unit;
    update();
}

double TUsageBars::UnitSecondsGet() const
{
    return m_chart.Bucket == TUsageBucket::Hour ? 60.0 : 3600.0;
}

QStringList TUsageBars::LegendCaptionsGet() const
{
    QStringList captions;
    for (const auto& series : m_chart.Series) {
        captions << QString::fromStdString(series.Caption);
    }
    if (m_limitSeconds > 0) {
        captions << QString::fromStdString(UsageLimitCaption(m_limitSeconds));
    }
    return captions;
}

int TUsageBars::LegendWidthGet() const
{
    int widest = 0;
    for (const QString& caption : LegendCaptionsGet()) {
        widest = std::max(widest, fontMetrics().horizontalAdvance(caption));
    }
    return widest == 0 ? 0 : std::min(kLegendMaxWidth, kSwatch + kPad + widest) + kPad;
}

QRectF TUsageBars::PlotGet() const
{
    const QFontMetrics metrics = fontMetrics();
    // Room for the title's lines over the bars, else for the top tick's label.
    const int top = m_title.isEmpty()
        ? metrics.height()
        : metrics.boundingRect(QRect(0, 0, std::max(1, width() - 2 * kPad), 10000), Qt::TextWordWrap, m_title).height()
            + kPad;
    const double unit = UnitSecondsGet();
    const int topLabel = metrics.horizontalAdvance(QString::number(m_topSeconds / unit, 'g', 4));
    const int stepLabel = metrics.horizontalAdvance(QString::number(m_step, 'g', 4));
    const int left = metrics.height() + kPad + std::max(topLabel, stepLabel) + kPad / 2;
    const int bottom = metrics.height() + kPad;
    return QRectF(
        left, top, std::max(0, width() - left - LegendWidthGet() - kPad), std::max(0, height() - top - bottom));
}

bool TUsageBars::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip) {
        return QWidget::event(event);
    }
    auto* help = static_cast<QHelpEvent*>(event);
    const QRectF plot = PlotGet();
    const TUsageBarHit hit = UsageBarAt(m_chart, m_topSeconds, plot, help->pos());
    QString text = QString::fromStdString(UsageBarTipText(m_chart, size_t(hit.Series), size_t(hit.Bucket)));
    // The legend's captions, cut short where long, are shown whole.
    const QStringList captions = LegendCaptionsGet();
    const int line = (help->pos().y() - int(plot.top())) / (fontMetrics().height() + 4);
    if (text.isEmpty() && help->pos().x() > plot.right() + kPad && help->pos().y() >= plot.top() && line >= 0
        && line < captions.size()) {
        text = captions[line];
    }
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, this);
    }
    return true;
}

void TUsageBars::mousePressEvent(QMouseEvent* event)
{
    const TUsageBarHit hit = UsageBarAt(m_chart, m_topSeconds, PlotGet(), event->position());
    if (event->button() == Qt::LeftButton && hit.Bucket >= 0) {
        emit BucketClicked(hit.Bucket);
    }
    QWidget::mousePressEvent(event);
}

void TUsageBars::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = fontMetrics();
    const QRectF plot = PlotGet();
    const double topSeconds = m_topSeconds;
    const double unit = UnitSecondsGet();
    QColor gridColor = m_textColor;
    gridColor.setAlpha(60);

    painter.setPen(m_textColor);
    painter.drawText(QRect(kPad, 0, width() - 2 * kPad, int(plot.top())), Qt::AlignCenter | Qt::TextWordWrap, m_title);
    // The value axis: a line and a label per step, its unit turned along it.
    for (int i = 0; i * m_step * unit <= topSeconds + 1e-6; ++i) {
        const double y = SecondsY(plot, topSeconds, i * m_step * unit);
        painter.setPen(gridColor);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(m_textColor);
        painter.drawText(QRectF(0, y - metrics.height() / 2.0, plot.left() - kPad / 2, metrics.height()),
            Qt::AlignRight | Qt::AlignVCenter, QString::number(i * m_step, 'g', 4));
    }
    painter.save();
    painter.translate(metrics.ascent() / 2.0 + 2, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2, -metrics.height() / 2.0, plot.height(), metrics.height()),
        Qt::AlignCenter, m_chart.Bucket == TUsageBucket::Hour ? QStringLiteral("minutes") : QStringLiteral("hours"));
    painter.restore();

    // The bars, their labels under them.
    const int count = int(m_chart.Buckets.size());
    const double slot = count > 0 ? plot.width() / count : 0;
    for (int b = 0; b < count; ++b) {
        const double left = plot.left() + (b + kBarGap / 2) * slot;
        double base = 0;
        for (size_t s = 0; s < m_chart.Series.size(); ++s) {
            const double seconds = PieceSeconds(m_chart.Series[s], size_t(b));
            if (seconds <= 0) {
                continue;
            }
            QColor color = QColor::fromRgb(UsageSeriesColor(m_chart, s));
            if (b == m_chart.NowIndex) {
                color = color.lighter(135);
            }
            const double y = SecondsY(plot, topSeconds, base + seconds);
            painter.setPen(slot > 6 ? QPen(color.darker(130), 1) : Qt::NoPen);
            painter.setBrush(color);
            painter.drawRect(QRectF(left, y, slot * (1 - kBarGap), SecondsY(plot, topSeconds, base) - y));
            base += seconds;
        }
        const QString label = QString::fromStdString(UsageAxisLabel(m_chart, b));
        if (!label.isEmpty()) {
            const double middle = plot.left() + (b + 0.5) * slot;
            const int half = metrics.horizontalAdvance(label) / 2 + 2;
            painter.setPen(m_textColor);
            painter.drawText(
                QRectF(middle - half, plot.bottom() + kPad / 2, 2 * half, metrics.height()), Qt::AlignCenter, label);
        }
    }
    painter.setPen(gridColor);
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    const QPen limitPen(QColor::fromRgb(kUsageLimitColor), 2, Qt::DashLine);
    if (m_limitSeconds > 0) {
        const double y = SecondsY(plot, topSeconds, m_limitSeconds);
        painter.setPen(limitPen);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }

    // The legend: a swatch and a caption per series, cut short where long, then the limit.
    const QStringList captions = LegendCaptionsGet();
    const double x = plot.right() + kPad;
    const int textWidth = LegendWidthGet() - 2 * kPad - kSwatch;
    for (int i = 0; i < captions.size(); ++i) {
        const double y = plot.top() + i * (metrics.height() + 4);
        const QRectF swatch(x, y + (metrics.height() - kSwatch) / 2.0, kSwatch, kSwatch);
        if (i < int(m_chart.Series.size())) {
            const QColor color = QColor::fromRgb(UsageSeriesColor(m_chart, size_t(i)));
            painter.setPen(QPen(color.darker(130), 1));
            painter.setBrush(color);
            painter.drawRect(swatch);
        } else {
            painter.setPen(limitPen);
            painter.drawLine(QPointF(swatch.left(), swatch.center().y()), QPointF(swatch.right(), swatch.center().y()));
        }
        painter.setPen(m_textColor);
        painter.drawText(QRectF(x + kSwatch + kPad, y, textWidth, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
            metrics.elidedText(captions[i], Qt::ElideRight, textWidth));
    }
}
