#pragma once

#include "ui/framework/SkinPicture.h"

#include <QColor>
#include <QWidget>

// A panel drawn from a nine-sliced picture with alpha; it can hold child controls. A
// transparent panel shows what its parent painted beneath it; an opaque one paints `Color`
// under its picture.
class TImagePanel : public QWidget
{
    Q_OBJECT

public:
    explicit TImagePanel(QWidget* parent = nullptr);

    const TPicture& Background() const
    {
        return m_background;
    }
    void BackgroundSet(const TPicture& picture);
    const QImage& PreparedBackground() const
    {
        return m_prepared;
    }

    int SideWidth() const
    {
        return m_sideWidth;
    }
    int SideHeight() const
    {
        return m_sideHeight;
    }
    void SideWidthSet(int value);
    void SideHeightSet(int value);

    bool Transparent() const
    {
        return m_transparent;
    }
    void TransparentSet(bool value);
    QColor Color() const
    {
        return m_color;
    }
    void ColorSet(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TPicture m_background;
    QImage m_prepared;
    int m_sideWidth = 20;
    int m_sideHeight = 20;
    bool m_transparent = true;
    QColor m_color = Qt::white;
};
