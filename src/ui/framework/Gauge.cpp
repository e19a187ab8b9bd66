#include "ui/framework/Gauge.h"

#include "model/TextHelpers.h"

#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>

int GaugeBarLength(int areaLength, int percentDone)
{
    const int length = std::min(int((areaLength + 1) * percentDone * 0.01), areaLength + 1);
    return length < 1 ? 0 : length;
}

TGauge::TGauge(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(100, 100);
}

QSize TGauge::sizeHint() const
{
    return QSize(100, 100);
}

void TGauge::Repaint()
{
    ++m_repaintRequests;
    update();
}

void TGauge::KindSet(TGaugeKind kind)
{
    m_kind = kind;
    Repaint();
}

void TGauge::ShowTextSet(bool value)
{
    m_showText = value;
    Repaint();
}

void TGauge::BorderStyleSet(int value)
{
    m_borderStyle = value;
    Repaint();
}

void TGauge::ForeColorSet(const QColor& color)
{
    m_foreColor = color;
    Repaint();
}

void TGauge::BackColorSet(const QColor& color)
{
    m_backColor = color;
    Repaint();
}

void TGauge::MinValueSet(int value)
{
    if (value > m_maxValue) {
        throw EInvalidOperation(Format("Value must be between %d and %d", -INT_MAX, m_maxValue - 1));
    }
    m_minValue = value;
    m_progress = std::clamp(m_progress, m_minValue, m_maxValue);
    Repaint();
}

void TGauge::MaxValueSet(int value)
{
    if (value < m_minValue) {
        throw EInvalidOperation(Format("Value must be between %d and %d", m_minValue + 1, INT_MAX));
    }
    m_maxValue = value;
    m_progress = std::clamp(m_progress, m_minValue, m_maxValue);
    Repaint();
}

void TGauge::ProgressSet(int value)
{
    const int before = PercentDone();
    m_progress = std::clamp(value, m_minValue, m_maxValue);
    if (PercentDone() != before) {
        Repaint();
    }
}

int TGauge::PercentDone() const
{
    if (m_maxValue == m_minValue) {
        return 0;
    }
    // 64 bits: the span of two int bounds does not fit in an int.
    return int((int64_t(m_progress) - m_minValue) * 100 / (int64_t(m_maxValue) - m_minValue));
}

void TGauge::paintEvent(QPaintEvent*)
{
    QImage drawing(size(), QImage::Format_RGB32);
    drawing.fill(m_backColor);
    QRect area = drawing.rect();
    {
        QPainter painter(&drawing);
        if (m_borderStyle == 1) {
            painter.setPen(Qt::black);
            painter.drawRect(area.adjusted(0, 0, -1, -1));
            area.adjust(1, 1, -1, -1);
        }
        const int percent = PercentDone();
        switch (m_kind) {
        case gkHorizontalBar: {
            const int length = GaugeBarLength(area.width(), percent);
            if (length > 0) {
                painter.fillRect(
                    QRect(area.left(), area.top(), std::min(length, area.width()), area.height()), m_foreColor);
            }
            break;
        }
        case gkVerticalBar: {
            const int length = std::min(GaugeBarLength(area.height(), percent), area.height());
            if (length > 0) {
                painter.fillRect(QRect(area.left(), area.bottom() - length + 1, area.width(), length), m_foreColor);
            }
            break;
        }
        case gkPie: {
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(m_foreColor);
            painter.drawPie(area.adjusted(2, 2, -2, -2), 90 * 16, -percent * 360 * 16 / 100);
            break;
        }
        case gkNeedle: {
            painter.setRenderHint(QPainter::Antialiasing);
            const QPointF centre(area.center().x(), area.bottom());
            const double radius = std::min(area.width() / 2.0, double(area.height())) - 2;
            const double angle = M_PI * (1.0 - percent / 100.0);
            painter.setPen(QPen(m_foreColor, 2));
            painter.drawLine(centre, centre + QPointF(radius * std::cos(angle), -radius * std::sin(angle)));
            break;
        }
        case gkText:
            break;
        }
        if (m_showText) {
            // White text on black, combined by XOR: over the bar it shows in the inverse of the
            // bar, over the background in the inverse of that, so it reads over both.
            QImage textImage(area.size(), QImage::Format_RGB32);
            textImage.fill(Qt::black);
            {
                QPainter textPainter(&textImage);
                textPainter.setFont(font());
                textPainter.setPen(Qt::white);
                textPainter.drawText(textImage.rect(), Qt::AlignCenter, QString::asprintf("%d%%", percent));
            }
            painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            painter.drawImage(area.topLeft(), textImage);
        }
    }
    QPainter(this).drawImage(0, 0, drawing);
}
