#include "X11TestHelpers.h"

#include "platform/linux/x11/XInputHotkeySource.h"
#include "ui/main/HotkeyRules.h"

#include <xcb/xcb.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// Runs xdotool on the test desktop and waits for it.
int XdotoolRun(const std::string& arguments)
{
    return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str());
}

int CountedPresses(TAltPressFilter& filter, const std::vector<TKeyEvent>& events)
{
    int counted = 0;
    for (const TKeyEvent& event : events) {
        counted += filter.KeyEvent(event) ? 1 : 0;
    }
    return counted;
}

// Collects what the watcher reports until `count` events arrived (and a moment more) or two
// seconds passed.
std::vector<TKeyEvent> EventsCollect(TXInputHotkeySource& source, size_t count)
{
    std::vector<TKeyEvent> events;
    source.KeyEventHandlerSet([&events](const TKeyEvent& event) { events.push_back(event); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    // xdotool follows a modifier's release with a second one; those arrive right after.
    auto settle = deadline;
    while (std::chrono::steady_clock::now() < std::min(deadline, settle)) {
        if (events.size() >= count && settle == deadline) {
            settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
        }
        pollfd descriptor { source.EventDescriptor(), POLLIN, 0 };
        poll(&descriptor, 1, 50);
        source.EventsDispatch();
    }
    return events;
}

class X11Hotkey : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TH_REQUIRE_PROGRAMS("Xvfb", "openbox", "xdotool");
        ASSERT_TRUE(m_desktop.Start(false)) << m_desktop.ErrorText();
        m_source = std::make_unique<TXInputHotkeySource>(m_desktop.DisplayName());
        ASSERT_TRUE(m_source->CanWatchKeys()) << m_source->ErrorText();
    }
    void TearDown() override
    {
        m_source.reset();
        m_desktop.Stop();
    }

    TTestDesktop m_desktop;
    std::unique_ptr<TXInputHotkeySource> m_source;
};

} // namespace

TEST_F(X11Hotkey, AltAloneCountsAndAltTabDoesNot)
{
    ASSERT_EQ(XdotoolRun("key alt alt"), 0);
    std::vector<TKeyEvent> events = EventsCollect(*m_source, 4);
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0].Kind, TKeyEventKind::AltDown);
    EXPECT_EQ(events[1].Kind, TKeyEventKind::AltUp);
    TAltPressFilter filter;
    EXPECT_EQ(CountedPresses(filter, events), 2);

    ASSERT_EQ(XdotoolRun("key alt+Tab"), 0);
    events = EventsCollect(*m_source, 4);
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0].Kind, TKeyEventKind::AltDown);
    EXPECT_EQ(events[1].Kind, TKeyEventKind::OtherKeyDown);
    EXPECT_EQ(CountedPresses(filter, events), 0);
}

TEST_F(X11Hotkey, WatchingTakesNoKeyAwayFromOtherPrograms)
{
    // Another program can still grab the whole keyboard: the watcher holds no grab.
    xcb_connection_t* other = xcb_connect(m_desktop.DisplayName().c_str(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    xcb_grab_keyboard_reply_t* grab = xcb_grab_keyboard_reply(
        other, xcb_grab_keyboard(other, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr);
    ASSERT_NE(grab, nullptr);
    EXPECT_EQ(grab->status, XCB_GRAB_STATUS_SUCCESS);
    std::free(grab);

    // And the watcher still sees the keys while that program holds the keyboard.
    ASSERT_EQ(XdotoolRun("key alt"), 0);
    const std::vector<TKeyEvent> events = EventsCollect(*m_source, 2);
    TAltPressFilter filter;
    EXPECT_EQ(CountedPresses(filter, events), 1);
    xcb_ungrab_keyboard(other, XCB_CURRENT_TIME);
    xcb_disconnect(other);
}

TEST(X11HotkeyNoDisplay, ADisplayThatCannotBeOpenedGivesNoHotKey)
{
    TXInputHotkeySource source(":999");
    EXPECT_FALSE(source.CanWatchKeys());
    EXPECT_EQ(source.EventDescriptor(), -1);
    EXPECT_FALSE(source.EventsDispatch());
    EXPECT_FALSE(source.ErrorText().empty());
}
