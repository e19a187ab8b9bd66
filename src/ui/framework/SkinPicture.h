#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

#include <vector>

class QPainter;

// A picture as read from a file or resource, with the format it was read in: whether the alpha
// channel counts depends on the format.
struct TPicture
{
    QImage Image;
    QByteArray Format; // lower case, as the image reader names it ("png", "jpeg", "gif")

    bool IsEmpty() const
    {
        return Image.isNull();
    }
};

// Reads a picture; an unreadable or missing file gives an empty one.
TPicture PictureLoad(const QString& fileName);

// The 32-bit bitmap with per-pixel alpha that the controls draw from. A PNG with transparency
// keeps its alpha; any other picture is drawn on white and colour-keyed: every pixel of the
// bottom-left pixel's colour becomes fully transparent, every other one opaque.
QImage PicturePrepare(const TPicture& picture);

struct TNineSlicePiece
{
    QRect Source;
    QRect Target;
};

// The pieces that nine-slice drawing blends, of a bitmap of size `bitmap` into `target` with the
// given side sizes. A side is reduced to half the target when the target is narrower (or lower)
// than twice the side. Empty pieces are left out.
std::vector<TNineSlicePiece> NineSlicePieces(QSize bitmap, const QRect& target, int sideWidth, int sideHeight);

// Blends `prepared` (source-over) into `target`: corners keep their size, the edges stretch
// along themselves, the centre both ways.
void NineSliceDraw(QPainter& painter, const QImage& prepared, const QRect& target, int sideWidth, int sideHeight);
