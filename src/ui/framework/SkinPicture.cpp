#include "ui/framework/SkinPicture.h"

#include <QImageReader>
#include <QPainter>

#include <algorithm>

TPicture PictureLoad(const QString& fileName)
{
    TPicture picture;
    QImageReader reader(fileName);
    picture.Format = reader.format().toLower();
    if (!reader.read(&picture.Image)) {
        picture.Image = QImage();
    }
    return picture;
}

QImage PicturePrepare(const TPicture& picture)
{
    if (picture.IsEmpty()) {
        return {};
    }
    const QImage& source = picture.Image;
    if (picture.Format == "png" && source.hasAlphaChannel()) {
        return source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    QImage prepared(source.size(), QImage::Format_ARGB32);
    prepared.fill(Qt::white);
    {
        QPainter painter(&prepared);
        painter.drawImage(0, 0, source);
    }
    const QRgb key = prepared.pixel(0, prepared.height() - 1) & 0x00FFFFFF;
    for (int y = 0; y < prepared.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(prepared.scanLine(y));
        for (int x = 0; x < prepared.width(); ++x) {
            line[x] = (line[x] & 0x00FFFFFF) == key ? 0 : (line[x] | 0xFF000000);
        }
    }
    return prepared.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

std::vector<TNineSlicePiece> NineSlicePieces(QSize bitmap, const QRect& target, int sideWidth, int sideHeight)
{
    const int w = target.width();
    const int h = target.height();
    int sw = std::max(0, sideWidth);
    int sh = std::max(0, sideHeight);
    if (w < 2 * sw) {
        sw = w / 2;
    }
    if (h < 2 * sh) {
        sh = h / 2;
    }
    // A picture smaller than twice its sides would give pieces of negative size; its cut lines
    // are held at its middle instead.
    const int ssw = std::min(sw, bitmap.width() / 2);
    const int ssh = std::min(sh, bitmap.height() / 2);

    const int sx[4] = { 0, ssw, bitmap.width() - ssw, bitmap.width() };
    const int sy[4] = { 0, ssh, bitmap.height() - ssh, bitmap.height() };
    const int tx[4] = { target.left(), target.left() + sw, target.left() + w - sw, target.left() + w };
    const int ty[4] = { target.top(), target.top() + sh, target.top() + h - sh, target.top() + h };

    std::vector<TNineSlicePiece> pieces;
    pieces.reserve(9);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRect source(QPoint(sx[col], sy[row]), QPoint(sx[col + 1] - 1, sy[row + 1] - 1));
            const QRect piece(QPoint(tx[col], ty[row]), QPoint(tx[col + 1] - 1, ty[row + 1] - 1));
            if (source.width() > 0 && source.height() > 0 && piece.width() > 0 && piece.height() > 0) {
                pieces.push_back({ source, piece });
            }
        }
    }
    return pieces;
}

void NineSliceDraw(QPainter& painter, const QImage& prepared, const QRect& target, int sideWidth, int sideHeight)
{
    if (prepared.isNull() || target.isEmpty()) {
        return;
    }
    const bool smooth = painter.testRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    for (const auto& piece : NineSlicePieces(prepared.size(), target, sideWidth, sideHeight)) {
        painter.drawImage(piece.Target, prepared, piece.Source);
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}
