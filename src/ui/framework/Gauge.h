#pragma once

#include "model/Exceptions.h"

#include <QColor>
#include <QWidget>

// Raised for an operation that the control's state does not allow (a gauge bound on the wrong
// side of the other).
TH_EXCEPTION_CLASS(EInvalidOperation, Exception)

enum TGaugeKind : int
{
    gkText = 0,
    gkHorizontalBar = 1,
    gkVerticalBar = 2,
    gkPie = 3,
    gkNeedle = 4,
};

// Width (or height) in pixels of the filled part of a bar over an area of `areaLength` pixels.
int GaugeBarLength(int areaLength, int percentDone);

// A progress gauge, opaque and framed. The program uses it as a horizontal bar from 0 to 100.
class TGauge : public QWidget
{
    Q_OBJECT

public:
    explicit TGauge(QWidget* parent = nullptr);

    TGaugeKind Kind() const
    {
        return m_kind;
    }
    void KindSet(TGaugeKind kind);
    bool ShowText() const
    {
        return m_showText;
    }
    void ShowTextSet(bool value);
    int BorderStyle() const
    {
        return m_borderStyle;
    }
    void BorderStyleSet(int value);
    QColor ForeColor() const
    {
        return m_foreColor;
    }
    void ForeColorSet(const QColor& color);
    QColor BackColor() const
    {
        return m_backColor;
    }
    void BackColorSet(const QColor& color);

    int MinValue() const
    {
        return m_minValue;
    }
    int MaxValue() const
    {
        return m_maxValue;
    }
    // Raise EInvalidOperation "Value must be between %d and %d" for a bound past the other one.
    void MinValueSet(int value);
    void MaxValueSet(int value);
    int Progress() const
    {
        return m_progress;
    }
    // Clamped to the bounds; repaints only when PercentDone changes.
    void ProgressSet(int value);
    int PercentDone() const;

    // How often the gauge asked to be repainted (tests watch it).
    int RepaintRequests() const
    {
        return m_repaintRequests;
    }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Repaint();

    TGaugeKind m_kind = gkHorizontalBar;
    bool m_showText = true;
    int m_borderStyle = 1;
    QColor m_foreColor = Qt::black;
    QColor m_backColor = Qt::white;
    int m_minValue = 0;
    int m_maxValue = 100;
    int m_progress = 0;
    int m_repaintRequests = 0;
};
