#include "ui/framework/Gauge.h"

#include <gtest/gtest.h>

#include <QImage>

TEST(GaugeBounds, BoundPastTheOtherRaisesTheRangeMessageAndKeepsTheOldBound)
{
    TGauge gauge;
    try {
        gauge.MinValueSet(150);
        FAIL() << "no error";
    } catch (const EInvalidOperation& error) {
        EXPECT_STREQ("Value must be between -2147483647 and 99", error.what());
        EXPECT_EQ("EInvalidOperation", error.ClassName());
    }
    EXPECT_EQ(0, gauge.MinValue());

    gauge.MinValueSet(10);
    try {
        gauge.MaxValueSet(5);
        FAIL() << "no error";
    } catch (const EInvalidOperation& error) {
        EXPECT_STREQ("Value must be between 11 and 2147483647", error.what());
    }
    EXPECT_EQ(100, gauge.MaxValue());
}

TEST(GaugeBounds, ProgressIsClampedAndFollowsNewBounds)
{
    TGauge gauge;
    gauge.ProgressSet(150);
    EXPECT_EQ(100, gauge.Progress());
    EXPECT_EQ(100, gauge.PercentDone());
    gauge.ProgressSet(-5);
    EXPECT_EQ(0, gauge.PercentDone());

    gauge.ProgressSet(80);
    gauge.MaxValueSet(50);
    EXPECT_EQ(50, gauge.Progress());
    gauge.MinValueSet(50);
    EXPECT_EQ(0, gauge.PercentDone()) << "equal bounds show 0 %";

    gauge.MinValueSet(-2147483647);
    gauge.MaxValueSet(2147483647);
    gauge.ProgressSet(2147483647);
    EXPECT_EQ(100, gauge.PercentDone()) << "the widest span must not overflow";
}

TEST(GaugeBounds, RepaintsOnlyWhenThePercentChanges)
{
    TGauge gauge;
    gauge.MaxValueSet(1000);
    const int before = gauge.RepaintRequests();
    gauge.ProgressSet(3);
    gauge.ProgressSet(9);
    EXPECT_EQ(before, gauge.RepaintRequests());
    gauge.ProgressSet(10);
    EXPECT_EQ(before + 1, gauge.RepaintRequests());
}

TEST(GaugePainting, BarWidthAndTextReadableOverBothColours)
{
    EXPECT_EQ(50, GaugeBarLength(100, 50));
    EXPECT_EQ(101, GaugeBarLength(100, 100));
    EXPECT_EQ(0, GaugeBarLength(100, 0));
    EXPECT_EQ(0, GaugeBarLength(50, 1)) << "below one pixel draws nothing";

    TGauge gauge;
    gauge.resize(102, 20);
    gauge.ShowTextSet(false);
    gauge.ProgressSet(50);
    const QImage plain = gauge.grab().toImage();
    EXPECT_EQ(QColor(Qt::black).rgb(), plain.pixel(0, 10)) << "frame";
    EXPECT_EQ(QColor(Qt::black).rgb(), plain.pixel(10, 10)) << "bar";
    EXPECT_EQ(QColor(Qt::white).rgb(), plain.pixel(90, 10)) << "background";

    gauge.ShowTextSet(true);
    const QImage withText = gauge.grab().toImage();
    // The bar ends at x = 50 and the centred "50%" straddles that edge: XOR makes the text show
    // light over the black bar and dark over the white background.
    int overBar = 0;
    int overBackground = 0;
    for (int x = 1; x < 101; ++x) {
        for (int y = 1; y < 19; ++y) {
            const int before = qGray(plain.pixel(x, y));
            const int after = qGray(withText.pixel(x, y));
            overBar += x <= 50 && after > before ? 1 : 0;
            overBackground += x > 50 && after < before ? 1 : 0;
        }
    }
    EXPECT_GT(overBar, 10);
    EXPECT_GT(overBackground, 10);
    EXPECT_EQ(plain.pixel(95, 10), withText.pixel(95, 10)) << "away from the glyphs nothing changes";
    EXPECT_EQ(plain.pixel(5, 10), withText.pixel(5, 10));
}
