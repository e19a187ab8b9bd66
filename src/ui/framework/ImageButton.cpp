#include "ui/framework/ImageButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

bool IsEnterKey(const QKeyEvent* event)
{
    return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

} // namespace

TImageButtonLayout ImageButtonLayoutGet(QSize button, QSize picture, QSize caption)
{
    TImageButtonLayout layout;
    const bool hasPicture = !picture.isEmpty();
    const bool hasCaption = !caption.isEmpty();
    const int w = button.width();
    const int h = button.height();
    if (hasPicture && hasCaption) {
        const int left = (w - picture.width() - caption.width()) / 2;
        layout.PictureRect = QRect(QPoint(left, (h - picture.height()) / 2), picture);
        layout.CaptionRect = QRect(QPoint(left + picture.width(), (h - caption.height()) / 2), caption);
    } else if (hasPicture) {
        layout.PictureRect = QRect(QPoint((w - picture.width()) / 2, (h - picture.height()) / 2), picture);
    } else if (hasCaption) {
        layout.CaptionRect = QRect(QPoint((w - caption.width()) / 2, (h - caption.height()) / 2), caption);
    }
    return layout;
}

TImageButton::TImageButton(QWidget* parent)
    : QAbstractButton(parent)
{
    // Tab only: a click leaves the focus where the user types (the boxes an "Add" button adds).
    setFocusPolicy(Qt::TabFocus);
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
}

void TImageButton::BackgroundSet(const TPicture& picture)
{
    m_pictures[ibsNormal] = picture;
    m_prepared[ibsNormal] = PicturePrepare(picture);
    update();
}

void TImageButton::BackgroundSelectedSet(const TPicture& picture)
{
    m_pictures[ibsHot] = picture;
    m_prepared[ibsHot] = PicturePrepare(picture);
    update();
}

void TImageButton::BackgroundDownedSet(const TPicture& picture)
{
    m_pictures[ibsPressed] = picture;
    m_prepared[ibsPressed] = PicturePrepare(picture);
    update();
}

void TImageButton::SkinSet(const QString& styleName)
{
    const QString base = QStringLiteral(":/tallyhour/images/") + styleName;
    BackgroundSet(PictureLoad(base + "_normal.png"));
    BackgroundSelectedSet(PictureLoad(base + "_hot.png"));
    BackgroundDownedSet(PictureLoad(base + "_pressed.png"));
    // A drop button stands for its combo box, which Tab reaches and which opens by keyboard.
    setFocusPolicy(styleName == QStringLiteral("combo") ? Qt::NoFocus : Qt::TabFocus);
}

void TImageButton::PictureSet(const QImage& picture)
{
    m_picture = picture;
    update();
}

void TImageButton::SideWidthSet(int value)
{
    m_sideWidth = value;
    update();
}

void TImageButton::SideHeightSet(int value)
{
    m_sideHeight = value;
    update();
}

void TImageButton::WordWrapSet(bool value)
{
    m_wordWrap = value;
    update();
}

void TImageButton::StateSet(TImageButtonState state)
{
    if (m_state != state) {
        m_state = state;
        update();
    }
}

int TImageButton::CaptionFlags() const
{
    return Qt::AlignCenter | (m_wordWrap ? Qt::TextWordWrap : Qt::TextSingleLine);
}

QSize TImageButton::CaptionSize() const
{
    if (text().isEmpty()) {
        return {};
    }
    const QFontMetrics metrics(font());
    if (m_wordWrap) {
        return metrics.boundingRect(QRect(0, 0, width(), 10000), CaptionFlags(), text()).size();
    }
    return QSize(metrics.horizontalAdvance(text()), metrics.height());
}

QSize TImageButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(std::max(75, metrics.horizontalAdvance(text()) + m_picture.width() + 24), 25);
}

void TImageButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    NineSliceDraw(painter, m_prepared[m_state], rect(), m_sideWidth, m_sideHeight);

    const auto layout = ImageButtonLayoutGet(size(), m_picture.size(), CaptionSize());
    if (!m_picture.isNull()) {
        painter.drawImage(layout.PictureRect.topLeft(), m_picture);
    }
    if (!text().isEmpty()) {
        QRect captionRect = layout.CaptionRect;
        if (m_state == ibsPressed) {
            captionRect.translate(0, 1);
        }
        painter.setFont(font());
        painter.setPen(isEnabled() ? palette().color(QPalette::WindowText)
                                   : palette().color(QPalette::Disabled, QPalette::WindowText));
        painter.drawText(captionRect, CaptionFlags(), text());
    }
    if (hasFocus()) {
        // Light under dark: one of the two stands out on whatever the skin and the picture are.
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setBrush(Qt::NoBrush);
        const QRect mark = rect().adjusted(2, 2, -3, -3);
        painter.setPen(QPen(Qt::white, 2));
        painter.drawRect(mark);
        painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
        painter.drawRect(mark);
    }
}

bool TImageButton::event(QEvent* event)
{
    // With the focus on a button, Enter means that button, not the window's default command.
    if (event->type() == QEvent::ShortcutOverride && IsEnterKey(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QAbstractButton::event(event);
}

void TImageButton::keyPressEvent(QKeyEvent* event)
{
    if (IsEnterKey(event) && !event->isAutoRepeat()) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void TImageButton::mousePressEvent(QMouseEvent* event)
{
    StateSet(ibsPressed);
    QAbstractButton::mousePressEvent(event);
}

void TImageButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & (Qt::LeftButton | Qt::RightButton))) {
        StateSet(ibsHot);
    }
    QAbstractButton::mouseMoveEvent(event);
}

void TImageButton::mouseReleaseEvent(QMouseEvent* event)
{
    // The button keeps its pressed look until the mouse moves again.
    QAbstractButton::mouseReleaseEvent(event);
}

void TImageButton::leaveEvent(QEvent* event)
{
    StateSet(ibsNormal);
    QAbstractButton::leaveEvent(event);
}
