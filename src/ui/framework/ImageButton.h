#pragma once

#include "ui/framework/SkinPicture.h"

#include <QAbstractButton>

enum TImageButtonState : int
{
    ibsNormal = 0,
    ibsHot = 1,
    ibsPressed = 2,
};

// Where the icon and the caption of a button go: with only a caption it is centred, with only
// an icon that is centred, with both they form one group, icon left of caption, centred across
// the button; each is centred vertically.
struct TImageButtonLayout
{
    QRect PictureRect;
    QRect CaptionRect;
};
TImageButtonLayout ImageButtonLayoutGet(QSize button, QSize picture, QSize caption);

// A button drawn from nine-sliced pictures with alpha, one per state (normal, hot, pressed).
// Tab reaches it; with the focus it wears a mark of two colours that shows on any skin, and Space,
// Enter and Return press it (before the window's own Enter).
class TImageButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit TImageButton(QWidget* parent = nullptr);

    void BackgroundSet(const TPicture& picture);
    void BackgroundSelectedSet(const TPicture& picture);
    void BackgroundDownedSet(const TPicture& picture);
    // The three state pictures of one of the program's own button styles ("button", "combo").
    void SkinSet(const QString& styleName);
    const QImage& PreparedBackground(TImageButtonState state) const
    {
        return m_prepared[state];
    }

    void PictureSet(const QImage& picture);
    const QImage& Picture() const
    {
        return m_picture;
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
    bool WordWrap() const
    {
        return m_wordWrap;
    }
    void WordWrapSet(bool value);

    TImageButtonState State() const
    {
        return m_state;
    }

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void StateSet(TImageButtonState state);
    QSize CaptionSize() const;
    int CaptionFlags() const;

    TPicture m_pictures[3];
    QImage m_prepared[3];
    QImage m_picture;
    int m_sideWidth = 20;
    int m_sideHeight = 20;
    bool m_wordWrap = false;
    TImageButtonState m_state = ibsNormal;
};
