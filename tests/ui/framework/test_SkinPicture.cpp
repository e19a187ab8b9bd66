#include "ui/framework/ImagePanel.h"
#include "ui/framework/SkinPicture.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

TEST(NineSlice, NarrowTargetUsesHalfItsWidthAsSide)
{
    const auto pieces = NineSlicePieces(QSize(48, 28), QRect(0, 0, 30, 28), 20, 20);
    ASSERT_EQ(4u, pieces.size()) << "sides of half the target leave no edges or centre";
    EXPECT_EQ(QRect(0, 0, 15, 14), pieces[0].Target);
    EXPECT_EQ(QRect(0, 0, 15, 14), pieces[0].Source);
    EXPECT_EQ(QRect(15, 0, 15, 14), pieces[1].Target);
    EXPECT_EQ(QRect(33, 0, 15, 14), pieces[1].Source);
    EXPECT_EQ(QRect(15, 14, 15, 14), pieces[3].Target);
    EXPECT_EQ(QRect(33, 14, 15, 14), pieces[3].Source);
}

TEST(NineSlice, WideTargetKeepsCornersAndStretchesEdgesAndCentre)
{
    const auto pieces = NineSlicePieces(QSize(48, 28), QRect(10, 5, 200, 40), 20, 10);
    ASSERT_EQ(9u, pieces.size());
    EXPECT_EQ(QRect(10, 5, 20, 10), pieces[0].Target);
    EXPECT_EQ(QRect(20, 0, 8, 10), pieces[1].Source);
    EXPECT_EQ(QRect(30, 5, 160, 10), pieces[1].Target);
    EXPECT_EQ(QRect(20, 10, 8, 8), pieces[4].Source);
    EXPECT_EQ(QRect(30, 15, 160, 20), pieces[4].Target);
    EXPECT_EQ(QRect(190, 35, 20, 10), pieces[8].Target);
}

TEST(NineSlice, PictureSmallerThanItsSidesGivesNoNegativePieces)
{
    for (const auto& piece : NineSlicePieces(QSize(10, 10), QRect(0, 0, 100, 100), 20, 20)) {
        EXPECT_GT(piece.Source.width(), 0);
        EXPECT_GT(piece.Source.height(), 0);
        EXPECT_LE(piece.Source.right(), 9);
    }
}

TEST(PicturePreparation, PngKeepsAlphaOtherFormatsAreColourKeyedOnTheBottomLeftPixel)
{
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(qRgba(255, 0, 0, 128));
    image.setPixel(0, 3, qRgba(0, 0, 255, 255));
    const QImage png = PicturePrepare({ image, "png" }).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(128, qAlpha(png.pixel(1, 1)));
    EXPECT_EQ(255, qAlpha(png.pixel(0, 3)));

    QImage opaque(4, 4, QImage::Format_RGB32);
    opaque.fill(qRgb(255, 0, 255));
    opaque.setPixel(2, 1, qRgb(10, 20, 30));
    const QImage keyed = PicturePrepare({ opaque, "bmp" }).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(0u, keyed.pixel(0, 0)) << "the key colour vanishes, all four bytes 0";
    EXPECT_EQ(qRgba(10, 20, 30, 255), keyed.pixel(2, 1));

    EXPECT_TRUE(PicturePrepare({}).isNull());
}

TEST(PicturePreparation, FilesAreJudgedByTheFormatTheyHoldAndAnUnreadableOneIsEmpty)
{
    TTempFolder folder;
    const auto file = [&](const char* name) { return QString::fromStdString((folder.Path() / name).string()); };
    QImage withAlpha(4, 4, QImage::Format_ARGB32);
    withAlpha.fill(qRgba(0, 0, 255, 255));
    withAlpha.setPixel(0, 3, qRgba(0, 0, 255, 0));
    ASSERT_TRUE(withAlpha.save(file("alpha.png"), "PNG"));
    QImage opaque(4, 4, QImage::Format_RGB32);
    opaque.fill(qRgb(0, 128, 0));
    opaque.setPixel(1, 1, qRgb(200, 10, 10));
    ASSERT_TRUE(opaque.save(file("opaque.png"), "PNG"));
    ASSERT_TRUE(opaque.save(file("disguised.jpg"), "PNG")) << "a PNG under another name";

    const TPicture alpha = PictureLoad(file("alpha.png"));
    EXPECT_EQ("png", alpha.Format);
    const QImage alphaPrepared = PicturePrepare(alpha).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(0, qAlpha(alphaPrepared.pixel(0, 3)));
    EXPECT_EQ(255, qAlpha(alphaPrepared.pixel(3, 0))) << "the alpha channel decides, not the key colour";

    for (const char* name : { "opaque.png", "disguised.jpg" }) {
        const QImage keyed = PicturePrepare(PictureLoad(file(name))).convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(0u, keyed.pixel(3, 3)) << name << ": a PNG without transparency is colour-keyed too";
        EXPECT_EQ(qRgba(200, 10, 10, 255), keyed.pixel(1, 1)) << name;
    }

    std::ofstream(folder.Path() / "broken.png", std::ios::binary) << "\x89PNG\r\n\x1a\n truncated";
    for (const char* name : { "broken.png", "absent.png" }) {
        const TPicture broken = PictureLoad(file(name));
        EXPECT_TRUE(broken.IsEmpty()) << name;
        TImagePanel panel;
        panel.resize(40, 30);
        panel.BackgroundSet(broken);
        EXPECT_TRUE(panel.PreparedBackground().isNull());
        EXPECT_FALSE(panel.grab().isNull()) << "an empty picture paints nothing and does not fail";
    }
}
