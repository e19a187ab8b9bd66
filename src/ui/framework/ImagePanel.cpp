#include "ui/framework/ImagePanel.h"

#include <QPainter>

TImagePanel::TImagePanel(QWidget* parent)
    : QWidget(parent)
{
}

void TImagePanel::BackgroundSet(const TPicture& picture)
{
    m_background = picture;
    m_prepared = PicturePrepare(picture);
    update();
}

void TImagePanel::SideWidthSet(int value)
{
    m_sideWidth = value;
    update();
}

void TImagePanel::SideHeightSet(int value)
{
    m_sideHeight = value;
    update();
}

void TImagePanel::TransparentSet(bool value)
{
    m_transparent = value;
    update();
}

void TImagePanel::ColorSet(const QColor& color)
{
    m_color = color;
    update();
}

void TImagePanel::paintEvent(QPaintEvent*)
{
    // Qt already composes a child over what its parent painted, which is the transparent case.
    QPainter painter(this);
    if (!m_transparent) {
        painter.fillRect(rect(), m_color);
    }
    NineSliceDraw(painter, m_prepared, rect(), m_sideWidth, m_sideHeight);
}
