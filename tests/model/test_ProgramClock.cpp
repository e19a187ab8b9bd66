#include "model/ProgramClock.h"
#include "model/ProgramLog.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

const TDateTime kBase = EncodeDateTime(2011, 4, 21, 9, 0, 0);
constexpr double kMinute = 1.0 / 1440.0;

} // namespace

TEST(ProgramClock, MovesOnlyWithTheTickSource)
{
    TFakeClock clock(kBase);
    EXPECT_DOUBLE_EQ(ProgramNow(), kBase);
    clock.Advance(90);
    EXPECT_EQ(DateTimeToDbText(ProgramNow()), "2011-04-21 09:01:30");
    EXPECT_EQ(DateTimeToDbText(ProgramToday()), "2011-04-21 00:00:00");
    EXPECT_EQ(DurationText(ProgramTimeOfDay()), "09:01");
    EXPECT_EQ(DateTimeToDbText(TodayAt0400()), "2011-04-21 04:00:00");
}

TEST(ProgramClock, ReadingsDoNotLoseTimeBetweenSegments)
{
    TFakeClock clock(kBase);
    for (int i = 0; i < 1000; ++i) {
        clock.AdvanceMs(3000);
        ProgramNow();
    }
    EXPECT_EQ(DateTimeToDbText(ProgramNow()), "2011-04-21 09:50:00");
}

TEST(ProgramClock, ResynchronisationTakesSmallDifferencesOnly)
{
    TFakeClock clock(kBase);
    // A drift of 3 minutes either way is taken over.
    EXPECT_TRUE(ClockResynchronizeTo(kBase + 3 * kMinute));
    EXPECT_NEAR(ProgramNow(), kBase + 3 * kMinute, 1e-9);
    EXPECT_TRUE(ClockResynchronizeTo(kBase));
    EXPECT_NEAR(ProgramNow(), kBase, 1e-9);
    // Exactly 5 minutes, or a clock set two hours ahead or back, is never followed.
    EXPECT_FALSE(ClockResynchronizeTo(kBase + 5 * kMinute));
    EXPECT_FALSE(ClockResynchronizeTo(kBase - 5 * kMinute));
    EXPECT_FALSE(ClockResynchronizeTo(kBase + 120 * kMinute));
    EXPECT_NEAR(ProgramNow(), kBase, 1e-9);
    // Just under 5 minutes still is.
    EXPECT_TRUE(ClockResynchronizeTo(kBase + 4.99 * kMinute));
}

TEST(ProgramClock, FollowsTheEndOfSummerTimeAndAClockSetByHandAtOnceButNotDrift)
{
    TTempFolder folder;
    LogFileNameSet((folder.Path() / "log.txt").string());
    // Berlin, 25 October 2026, two seconds before summer time ends at 03:00 (01:00 UTC).
    TFakeClock clock(EncodeDateTime(2026, 10, 25, 2, 59, 58));
    double utc = (EncodeDateTime(2026, 10, 25, 0, 59, 58) - 25569.0) * 86400.0;
    int32_t offset = 7200;
    ClockWallSourceSet([&] { return TWallClockReading { utc, offset }; });
    const auto pass = [&](double seconds) {
        clock.Advance(seconds);
        utc += seconds;
    };
    const double stepsBefore = ClockStepsTotal();
    pass(1);
    EXPECT_EQ(DateTimeToDbText(ProgramNow()), "2026-10-25 02:59:59");
    pass(1);
    offset = 3600;
    EXPECT_EQ(DateTimeToDbText(ProgramNow()), "2026-10-25 02:00:00");
    EXPECT_NEAR((ClockStepsTotal() - stepsBefore) * 24.0, -1.0, 1e-9);
    // A second of drift is left to the re-alignment.
    pass(10);
    utc += 1;
    EXPECT_EQ(DateTimeToDbText(ProgramNow()), "2026-10-25 02:00:10");
    // The clock set an hour ahead.
    utc += 3600;
    pass(1);
    EXPECT_EQ(DateTimeToDbText(ProgramNow()), "2026-10-25 03:00:12");
    const std::string log = FileText((folder.Path() / "log.txt").string());
    EXPECT_NE(log.find("The time zone's offset changed from +02:00 to +01:00; the program's clock went from "
                       "2026-10-25 03:00:00 to 2026-10-25 02:00:00"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("The system clock was set by +3600 seconds"), std::string::npos) << log;
    ClockWallSourceSet(nullptr);
    LogFileNameSet({});
}

TEST(ProgramClock, ClockBaseAdjustMovesBackAndForth)
{
    TFakeClock clock(kBase);
    ClockBaseAdjust(-1.0);
    EXPECT_EQ(DateToDbText(ProgramNow()), "2011-04-20");
    ClockBaseAdjust(0.5);
    EXPECT_EQ(DateTimeToDbText(ProgramNow()), "2011-04-20 21:00:00");
}

TEST(Stopwatch, OnlyTheOutermostPairMeasures)
{
    TFakeClock clock(kBase);
    TStopwatch watch;
    watch.Start();
    clock.AdvanceMs(10);
    watch.Start();
    clock.AdvanceMs(10);
    watch.Stop();
    EXPECT_EQ(watch.ElapsedTicks(), 0);
    clock.AdvanceMs(5);
    watch.Stop();
    EXPECT_EQ(watch.ElapsedTicks(), 25);
    EXPECT_EQ(watch.Nesting(), 0);
}

TEST(Stopwatch, RealClockCalibratesAPositiveSmallOverhead)
{
    int64_t ticks = 0;
    // Each reading costs 3 ticks; the overhead taken off every segment is that cost.
    ClockTickSourceSet([&ticks] { return ticks += 3; }, 1000, kBase);
    EXPECT_EQ(ClockOverhead(), 3);
    TFakeClock restore(kBase);
}
