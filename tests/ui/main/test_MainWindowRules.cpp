#include "ui/main/DockRules.h"
#include "ui/main/HotkeyRules.h"
#include "ui/main/ReminderRules.h"

#include "support/TestSupport.h"

#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const TWorkArea kScreen { 0, 0, 1280, 1024 };
// A panel of 30 pixels along the bottom and one of 40 on the left.
const TWorkArea kPanelled { 40, 0, 1280, 994 };

TDateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0)
{
    return EncodeDateTime(year, month, day, hour, minute, second, ms);
}

TKeyEvent Key(TKeyEventKind kind, uint32_t code)
{
    return TKeyEvent { kind, code };
}

constexpr uint32_t kAltL = 64;
constexpr uint32_t kAltR = 108;
constexpr uint32_t kTab = 23;
constexpr uint32_t kCtrl = 37;

// Feeds a sequence and counts the presses that counted.
int CountedPresses(TAltPressFilter& filter, const std::vector<TKeyEvent>& events)
{
    int counted = 0;
    for (const TKeyEvent& event : events) {
        counted += filter.KeyEvent(event) ? 1 : 0;
    }
    return counted;
}

} // namespace

TEST(DockPlacement, FlushWithTheChosenEdgeAndAsHighAsTheWorkAreaOutsideLiteView)
{
    const TDockPlacement right = DockPlacementGet(kAlignRight, 1, false, 327, 200, kPanelled);
    EXPECT_EQ(right.Left, 1280 - 327);
    EXPECT_EQ(right.Top, 0); // AlignVertical is for Lite view only
    EXPECT_EQ(right.Height, 994);

    const TDockPlacement left = DockPlacementGet(kAlignLeft, 0, false, 327, 200, kPanelled);
    EXPECT_EQ(left.Left, 40);

    // Any stored value but 1 docks left, as the preferences file has always read it.
    EXPECT_EQ(DockPlacementGet(0, 0, false, 327, 200, kPanelled).Left, 40);
    EXPECT_EQ(DockPlacementGet(7, 0, false, 327, 200, kPanelled).Left, 40);
}

TEST(DockPlacement, LiteViewTakesItsOwnHeightAndDocksAtTheBottomOnlyForOne)
{
    const TDockPlacement bottom = DockPlacementGet(kAlignRight, kAlignVerticalBottom, true, 327, 200, kPanelled);
    EXPECT_EQ(bottom.Height, 200);
    EXPECT_EQ(bottom.Top, 994 - 200);
    for (int vertical : { 0, 2 }) {
        const TDockPlacement top = DockPlacementGet(kAlignRight, vertical, true, 327, 200, kPanelled);
        EXPECT_EQ(top.Top, 0) << vertical;
        EXPECT_EQ(top.Height, 200);
    }
}

TEST(DragSnap, CrossingTheMiddleSwitchesTheEdgeAndNothingElse)
{
    // Middle of the work area: 40 + 1240 / 2 = 660.
    EXPECT_EQ(DragSnapGet(700, 10, kAlignRight, 0, false, kPanelled).Align, kAlignRight);
    EXPECT_EQ(DragSnapGet(660, 10, kAlignRight, 0, false, kPanelled).Align, kAlignRight);
    EXPECT_EQ(DragSnapGet(659, 10, kAlignRight, 0, false, kPanelled).Align, kAlignLeft);
    EXPECT_EQ(DragSnapGet(660, 10, kAlignLeft, 0, false, kPanelled).Align, kAlignLeft);
    EXPECT_EQ(DragSnapGet(661, 10, kAlignLeft, 0, false, kPanelled).Align, kAlignRight);
    // A window docked left by a stored 0 goes right too.
    EXPECT_EQ(DragSnapGet(900, 10, 0, 0, false, kPanelled).Align, kAlignRight);
    EXPECT_EQ(DragSnapGet(100, 10, 0, 0, false, kPanelled).Align, 0);
    // Outside Lite view the vertical docking is left as it was, wherever the mouse goes.
    EXPECT_EQ(DragSnapGet(700, 900, kAlignRight, 0, false, kPanelled).AlignVertical, 0);
}

TEST(DragSnap, LiteViewPicksTopOrBottomByTheVerticalHalf)
{
    // Half of 994 is 497.
    EXPECT_EQ(DragSnapGet(900, 498, kAlignRight, 0, true, kPanelled).AlignVertical, kAlignVerticalBottom);
    EXPECT_EQ(DragSnapGet(900, 497, kAlignRight, 1, true, kPanelled).AlignVertical, kAlignVerticalTop);
}

TEST(AutohideSlide, A327PixelWindowDockedRightSlidesOutInStepsOf32AndLeavesTwoPixels)
{
    uint8_t state = kAutohideShown;
    int left = 1280 - 327;
    std::vector<int> lefts;
    for (int tick = 0; tick < 50; ++tick) {
        const TSlideStep step = AutohideSlideStep(state, kAlignRight, left, 327, kScreen);
        lefts.push_back(step.Left);
        state = step.State;
        left = step.Left;
        if (step.Finished) {
            break;
        }
        EXPECT_EQ(state, kAutohideSlidingOut);
    }
    ASSERT_EQ(lefts.size(), 11u);
    for (size_t i = 0; i + 1 < lefts.size(); ++i) {
        EXPECT_EQ(lefts[i], 953 + 32 * int(i + 1));
    }
    EXPECT_EQ(state, kAutohideHidden);
    EXPECT_EQ(kScreen.Right - left, 2); // two columns of the window stay on the screen

    // And back in: the same steps the other way, ending flush with the edge.
    lefts.clear();
    for (int tick = 0; tick < 50; ++tick) {
        const TSlideStep step = AutohideSlideStep(state, kAlignRight, left, 327, kScreen);
        state = step.State;
        left = step.Left;
        lefts.push_back(left);
        if (step.Finished) {
            break;
        }
        EXPECT_EQ(state, kAutohideSlidingIn);
    }
    EXPECT_EQ(lefts.front(), 1278 - 32);
    EXPECT_EQ(lefts.back(), 953);
    EXPECT_EQ(state, kAutohideShown);
}

TEST(AutohideSlide, DockedLeftItLeavesTwoPixelsAtTheWorkAreasLeftEdge)
{
    uint8_t state = kAutohideShown;
    int left = kPanelled.Left;
    int ticks = 0;
    for (bool finished = false; !finished && ticks < 50; ++ticks) {
        const TSlideStep step = AutohideSlideStep(state, 0, left, 300, kPanelled);
        EXPECT_TRUE(step.Finished || step.Left == left - 30);
        state = step.State;
        left = step.Left;
        finished = step.Finished;
    }
    EXPECT_EQ(state, kAutohideHidden);
    EXPECT_EQ(left + 300 - kPanelled.Left, 2);
    for (bool finished = false; !finished && ticks < 100; ++ticks) {
        const TSlideStep step = AutohideSlideStep(state, 0, left, 300, kPanelled);
        state = step.State;
        left = step.Left;
        finished = step.Finished;
    }
    EXPECT_EQ(state, kAutohideShown);
    EXPECT_EQ(left, kPanelled.Left);
}

TEST(AutohideSlide, ATooNarrowWindowFinishesAtOnce)
{
    const TSlideStep step = AutohideSlideStep(kAutohideShown, kAlignRight, 1275, 5, kScreen);
    EXPECT_TRUE(step.Finished);
    EXPECT_EQ(step.Left, 1278);
}

TEST(HotkeyPress, AltAloneCountsOnRelease)
{
    TAltPressFilter filter;
    EXPECT_FALSE(filter.KeyEvent(Key(TKeyEventKind::AltDown, kAltL)));
    EXPECT_TRUE(filter.KeyEvent(Key(TKeyEventKind::AltUp, kAltL)));
    // The keyboard repeating the held key is still one press.
    EXPECT_EQ(CountedPresses(filter,
                  { Key(TKeyEventKind::AltDown, kAltR), Key(TKeyEventKind::AltDown, kAltR),
                      Key(TKeyEventKind::AltDown, kAltR), Key(TKeyEventKind::AltUp, kAltR) }),
        1);
}

TEST(HotkeyPress, AnyOtherKeyOrButtonBetweenSpoilsIt)
{
    TAltPressFilter filter;
    // Alt+Tab, twice (switching through windows).
    EXPECT_EQ(CountedPresses(filter,
                  { Key(TKeyEventKind::AltDown, kAltL), Key(TKeyEventKind::OtherKeyDown, kTab),
                      Key(TKeyEventKind::OtherKeyUp, kTab), Key(TKeyEventKind::OtherKeyDown, kTab),
                      Key(TKeyEventKind::OtherKeyUp, kTab), Key(TKeyEventKind::AltUp, kAltL) }),
        0);
    // Ctrl held first, then Alt alone.
    EXPECT_EQ(CountedPresses(filter,
                  { Key(TKeyEventKind::OtherKeyDown, kCtrl), Key(TKeyEventKind::AltDown, kAltL),
                      Key(TKeyEventKind::AltUp, kAltL), Key(TKeyEventKind::OtherKeyUp, kCtrl) }),
        0);
    // Both Alt keys.
    EXPECT_EQ(CountedPresses(filter,
                  { Key(TKeyEventKind::AltDown, kAltL), Key(TKeyEventKind::AltDown, kAltR),
                      Key(TKeyEventKind::AltUp, kAltR), Key(TKeyEventKind::AltUp, kAltL) }),
        0);
    // Alt + a mouse drag.
    EXPECT_EQ(CountedPresses(filter,
                  { Key(TKeyEventKind::AltDown, kAltL), Key(TKeyEventKind::ButtonDown, 0),
                      Key(TKeyEventKind::AltUp, kAltL) }),
        0);
    // A key repeating while held, released once: the next Alt alone counts again.
    EXPECT_EQ(CountedPresses(filter,
                  { Key(TKeyEventKind::OtherKeyDown, kTab), Key(TKeyEventKind::OtherKeyDown, kTab),
                      Key(TKeyEventKind::OtherKeyUp, kTab), Key(TKeyEventKind::AltDown, kAltL),
                      Key(TKeyEventKind::AltUp, kAltL) }),
        1);
}

TEST(HotkeyPairing, OnePressNothingTwoWithinHalfASecondToggleAThirdStartsANewPair)
{
    TFakeClock clock(At(2024, 3, 5, 10, 0));
    THotkeyPairing pairing;
    EXPECT_FALSE(pairing.PressCount(ProgramNow()));
    clock.Advance(0.3);
    EXPECT_TRUE(pairing.PressCount(ProgramNow()));
    EXPECT_EQ(pairing.HotkeyLastPress, 0);
    clock.Advance(0.1);
    EXPECT_FALSE(pairing.PressCount(ProgramNow())); // third press: first of a new pair
    clock.Advance(0.5);
    EXPECT_TRUE(pairing.PressCount(ProgramNow())); // exactly half a second still pairs
    clock.Advance(1.0);
    EXPECT_FALSE(pairing.PressCount(ProgramNow()));
    clock.Advance(0.6);
    EXPECT_FALSE(pairing.PressCount(ProgramNow())); // too late: this one waits for a partner
    clock.Advance(0.2);
    EXPECT_TRUE(pairing.PressCount(ProgramNow()));
}

TEST(HotkeyPairing, AFirstPressRightAfterStartDoesNothing)
{
    THotkeyPairing pairing;
    EXPECT_FALSE(pairing.PressCount(At(2024, 3, 5, 10, 0)));
}

TEST(PartOfDay, BoundariesAtFourNoonAndSix)
{
    const auto part = [](int hour, int minute, int second = 0, int ms = 0) {
        return PartOfDayGet(At(2024, 3, 5, hour, minute, second, ms) - At(2024, 3, 5));
    };
    EXPECT_EQ(part(3, 59, 59, 999), kPartOfDayEvening);
    EXPECT_EQ(part(4, 0), kPartOfDayMorning);
    EXPECT_EQ(part(11, 59), kPartOfDayMorning);
    EXPECT_EQ(part(11, 59, 59, 999), kPartOfDayMorning);
    EXPECT_EQ(part(12, 0), kPartOfDayAfternoon);
    EXPECT_EQ(part(17, 59, 59), kPartOfDayAfternoon);
    EXPECT_EQ(part(18, 0), kPartOfDayEvening);
    EXPECT_EQ(part(0, 0), kPartOfDayEvening);
}

TEST(ReminderMarks, BlanksAndControlCharactersLeaveAnItemUnmarked)
{
    EXPECT_FALSE(ReminderMarked(""));
    EXPECT_FALSE(ReminderMarked("   \t\r\n "));
    EXPECT_TRUE(ReminderMarked("  call Anna "));
    EXPECT_TRUE(ReminderMarked("\xc3\xa9")); // é, UTF-8
}

TEST(ReminderPrompt, PeriodsInDaysWithTheMonthAheadForMonthly)
{
    EXPECT_EQ(ReminderChangePeriodDays(0, At(2024, 1, 5)), 0);
    EXPECT_EQ(ReminderChangePeriodDays(1, At(2024, 1, 5)), 1);
    EXPECT_EQ(ReminderChangePeriodDays(2, At(2024, 1, 5)), 7);
    EXPECT_EQ(ReminderChangePeriodDays(3, At(2024, 1, 5)), 14);
    EXPECT_NEAR(ReminderChangePeriodDays(4, At(2024, 1, 5, 13, 0)), 31, 1e-9);
    EXPECT_NEAR(ReminderChangePeriodDays(4, At(2024, 2, 5)), 29, 1e-9); // leap year
    EXPECT_NEAR(ReminderChangePeriodDays(4, At(2023, 1, 31)), 28, 1e-9); // 31 Jan + 1 month = 28 Feb
    EXPECT_NEAR(ReminderChangePeriodDays(4, At(2023, 12, 20)), 31, 1e-9);
}

TEST(ReminderPrompt, WeeklyWaitsSevenDaysAfterTheLastShowingEvenForOldReminders)
{
    const TDateTime now = At(2024, 3, 20, 12, 0); // a whole half day, so halves stay exact
    const TDateTime changed = now - 10;
    EXPECT_FALSE(ReminderChangePromptDue(2, now, now - 3, changed));
    EXPECT_FALSE(ReminderChangePromptDue(2, now + 3, now - 3, changed)); // 6 days after showing
    EXPECT_TRUE(ReminderChangePromptDue(2, now + 4, now - 3, changed));
    // 6.5 days since showing rounds to 6 (half to even): not yet.
    EXPECT_FALSE(ReminderChangePromptDue(2, now, now - 6.5, changed));
    EXPECT_TRUE(ReminderChangePromptDue(2, now, now - 7.5, changed)); // 7.5 rounds to 8
}

TEST(ReminderPrompt, NeverOrFreshRemindersGiveNoPrompt)
{
    const TDateTime now = At(2024, 3, 20, 12, 0); // a whole half day, so halves stay exact
    EXPECT_FALSE(ReminderChangePromptDue(0, now, now - 400, now - 400));
    // Shown long ago, but the reminders changed 5 days ago: a week has not passed.
    EXPECT_FALSE(ReminderChangePromptDue(2, now, now - 30, now - 5));
    EXPECT_FALSE(ReminderChangePromptDue(1, now, now - 2, now - 1)); // exactly a day: not later
    EXPECT_TRUE(ReminderChangePromptDue(1, now, now - 2, now - 1.01));
}

TEST(ReminderPrompt, DaysUnchangedRoundHalfToEven)
{
    const TDateTime now = At(2024, 3, 20, 12, 0); // a whole half day, so halves stay exact
    EXPECT_EQ(ReminderUnchangedDays(now, now - 2.5), 2);
    EXPECT_EQ(ReminderUnchangedDays(now, now - 3.5), 4);
    EXPECT_EQ(ReminderUnchangedDays(now, now - 10.2), 10);
}
