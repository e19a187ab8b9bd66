// The hot key through the desktop portal's global shortcuts, against a stand-in portal on a
// private session bus (with an Xvfb standing in for XWayland where both watchers work at once).
#include "platform/linux/LinuxHotkeySources.h"
#include "platform/linux/portal/PortalHotkeySource.h"

#include "model/ProgramLog.h"
#include "support/TestSupport.h"
#include "support/desktop/TestDesktop.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr const char* kControl = "org.tallyhour.FakePortal";
constexpr const char* kControlPath = "/org/tallyhour/FakePortal";

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class PortalHotkey : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TH_REQUIRE_PROGRAMS_OR_SKIP();
        ASSERT_TRUE(m_desktop.Start(false)) << m_desktop.ErrorText();
        ASSERT_TRUE(m_desktop.SessionBusStart()) << m_desktop.ErrorText();
        LogFileNameSet(m_desktop.Folder() + "/logs/program.log");
        GError* error = nullptr;
        m_bus = g_dbus_connection_new_for_address_sync(std::getenv("DBUS_SESSION_BUS_ADDRESS"),
            static_cast<GDBusConnectionFlags>(
                G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        ASSERT_NE(m_bus, nullptr) << (error ? error->message : "");
    }
    void TearDown() override
    {
        if (m_bus)
            g_object_unref(m_bus);
        LogFileNameSet({});
        m_desktop.Stop();
    }

    static void TH_REQUIRE_PROGRAMS_OR_SKIP()
    {
        for (const char* program : { "Xvfb", "openbox", "dbus-daemon", "/usr/bin/python3" }) {
            if (TTestDesktop::ProgramFind(program).empty())
                GTEST_SKIP() << program << " is not installed";
        }
    }

    // Starts the stand-in portal in `mode` and waits until it owns its name.
    void PortalStart(const std::string& mode)
    {
        ASSERT_GT(m_desktop.ProgramStart({ "/usr/bin/python3", FAKE_PORTAL, mode }, "fake-portal"), 0)
            << m_desktop.ErrorText();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!NameOwned(kControl)) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the stand-in portal did not start";
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    bool NameOwned(const char* name)
    {
        GVariant* reply = g_dbus_connection_call_sync(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
            "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"),
            G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
        gboolean owned = FALSE;
        if (reply) {
            g_variant_get(reply, "(b)", &owned);
            g_variant_unref(reply);
        }
        return owned;
    }
    // What the stand-in was asked, as its JSON text.
    std::string PortalReport()
    {
        GVariant* reply = g_dbus_connection_call_sync(m_bus, kControl, kControlPath, kControl, "Report", nullptr,
            G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
        std::string text;
        if (reply) {
            const char* report = nullptr;
            g_variant_get(reply, "(&s)", &report);
            text = report;
            g_variant_unref(reply);
        }
        return text;
    }
    // The user presses the shortcut; gives how many sessions the portal told.
    int ShortcutPress(const char* id = TPortalHotkeySource::ShortcutId)
    {
        GVariant* reply = g_dbus_connection_call_sync(m_bus, kControl, kControlPath, kControl, "Activate",
            g_variant_new("(s)", id), G_VARIANT_TYPE("(i)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
        int sent = -1;
        if (reply) {
            g_variant_get(reply, "(i)", &sent);
            g_variant_unref(reply);
        }
        return sent;
    }
    // Waits on the source's descriptor as the program's event loop does and hands what comes
    // to the handler, until `count` events arrived or `seconds` passed.
    static void EventsAwait(THotkeySource& source, size_t count, std::vector<TKeyEvent>& events, double seconds = 5)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (events.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd watched { source.EventDescriptor(), POLLIN, 0 };
            if (poll(&watched, 1, 50) > 0)
                source.EventsDispatch();
        }
    }
    std::string LogText() const
    {
        return FileText(LogFileNameGet());
    }

    TTestDesktop m_desktop;
    GDBusConnection* m_bus = nullptr;
};

} // namespace

TEST_F(PortalHotkey, BindsOneShortcutAndEachPressIsOneHotKeyWhileOtherSendersAreIgnored)
{
    PortalStart("shortcuts");
    TPortalHotkeySource source;
    std::vector<TKeyEvent> events;
    source.KeyEventHandlerSet([&events](const TKeyEvent& event) { events.push_back(event); });
    ASSERT_EQ(source.StateWait(5000), TPortalHotkeySource::TState::Bound) << source.ErrorText() << LogText();
    EXPECT_TRUE(source.CanWatchKeys());
    EXPECT_EQ(source.TriggerGet(), "Ctrl+Alt+H");
    EXPECT_EQ(source.HotkeyNameGet(), "Ctrl+Alt+H");
    EXPECT_NE(LogText().find("The hot key is Ctrl+Alt+H, a global shortcut of the desktop's"), std::string::npos)
        << LogText();

    const std::string report = PortalReport();
    EXPECT_NE(report.find(R"("calls": ["CreateSession", "BindShortcuts"])"), std::string::npos) << report;
    EXPECT_NE(report.find(R"("registered": ["tallyhour"])"), std::string::npos) << report;
    EXPECT_NE(report.find(R"("id": "toggle-window")"), std::string::npos) << report;
    EXPECT_NE(report.find(R"("preferred_trigger": "CTRL+ALT+h")"), std::string::npos) << report;
    EXPECT_NE(report.find(R"("description": "Show or hide the Tallyhour window")"), std::string::npos) << report;
    // The portal made the session's path from the token the program chose.
    EXPECT_NE(report.find("/session/"), std::string::npos) << report;

    ASSERT_EQ(ShortcutPress(), 1);
    EventsAwait(source, 1, events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Kind, TKeyEventKind::Hotkey);
    ASSERT_EQ(ShortcutPress(), 1);
    ASSERT_EQ(ShortcutPress(), 1);
    EventsAwait(source, 3, events);
    EXPECT_EQ(events.size(), 3u);

    // Any program may send a signal named as the portal's: only the portal's own count.
    const size_t sessionAt = report.find(R"("session": ")");
    ASSERT_NE(sessionAt, std::string::npos) << report;
    const std::string session = report.substr(sessionAt + 12, report.find('"', sessionAt + 12) - sessionAt - 12);
    ASSERT_TRUE(g_dbus_connection_emit_signal(m_bus, nullptr, "/org/freedesktop/portal/desktop",
        "org.freedesktop.portal.GlobalShortcuts", "Activated",
        g_variant_new("(osta{sv})", session.c_str(), TPortalHotkeySource::ShortcutId, guint64(0), nullptr), nullptr));
    g_dbus_connection_flush_sync(m_bus, nullptr, nullptr);
    EventsAwait(source, 4, events, 1);
    EXPECT_EQ(events.size(), 3u);
}

TEST_F(PortalHotkey, APortalWithoutGlobalShortcutsGivesOneLineAndNoHotKey)
{
    PortalStart("without-shortcuts");
    {
        TPortalHotkeySource source("", "the fallback");
        EXPECT_EQ(source.StateGet(), TPortalHotkeySource::TState::Unavailable);
        EXPECT_FALSE(source.CanWatchKeys());
        EXPECT_EQ(source.HotkeyNameGet(), "");
        EXPECT_FALSE(source.EventsDispatch());
        EXPECT_NE(source.ErrorText().find("has no global shortcuts"), std::string::npos) << source.ErrorText();
    }
    const std::string log = LogText();
    EXPECT_EQ(Count(log, "global shortcuts is not available"), 1u) << log;
    EXPECT_NE(log.find("this desktop's portal has no global shortcuts (the desktop's own part"), std::string::npos)
        << log;
    EXPECT_NE(log.find("; the fallback."), std::string::npos) << log;
    EXPECT_EQ(PortalReport().find("CreateSession"), std::string::npos) << PortalReport();
}

TEST_F(PortalHotkey, WithNoPortalOnTheBusItSaysSoOnce)
{
    TPortalHotkeySource source;
    EXPECT_FALSE(source.CanWatchKeys());
    EXPECT_NE(source.ErrorText().find("there is no desktop portal"), std::string::npos) << source.ErrorText();
    EXPECT_EQ(Count(LogText(), "global shortcuts is not available"), 1u) << LogText();
}

TEST_F(PortalHotkey, ADeclinedShortcutGivesOneLineAndNoHotKey)
{
    PortalStart("refusing");
    TPortalHotkeySource source("", "the fallback");
    EXPECT_EQ(source.StateWait(5000), TPortalHotkeySource::TState::Unavailable);
    EXPECT_FALSE(source.CanWatchKeys());
    EXPECT_NE(source.ErrorText().find("declined"), std::string::npos) << source.ErrorText();
    EXPECT_EQ(Count(LogText(), "global shortcuts is not available"), 1u) << LogText();
    // Should the portal send the shortcut all the same, it is not the hot key.
    std::vector<TKeyEvent> events;
    source.KeyEventHandlerSet([&events](const TKeyEvent& event) { events.push_back(event); });
    ShortcutPress();
    EventsAwait(source, 1, events, 0.5);
    EXPECT_TRUE(events.empty());
}

TEST_F(PortalHotkey, OnWaylandThePortalAndXWaylandsAltFeedOneHandlerAndOnX11ThePortalIsNotAsked)
{
    TH_REQUIRE_PROGRAMS_OR_SKIP();
    if (TTestDesktop::ProgramFind("xdotool").empty())
        GTEST_SKIP() << "xdotool is not installed";
    PortalStart("shortcuts");
    TLinuxSession x11;
    x11.Kind = TLinuxDesktopKind::X11;
    x11.X11Display = m_desktop.DisplayName();
    EXPECT_TRUE(LinuxHotkeySourceCreate(x11)->CanWatchKeys());
    EXPECT_EQ(PortalReport().find("CreateSession"), std::string::npos) << PortalReport();

    // The test's Xvfb stands in for XWayland.
    TLinuxSession sway = x11;
    sway.Kind = TLinuxDesktopKind::Sway;
    const std::unique_ptr<THotkeySource> source = LinuxHotkeySourceCreate(sway);
    auto* joint = dynamic_cast<TJointHotkeySource*>(source.get());
    ASSERT_NE(joint, nullptr);
    auto* portal = dynamic_cast<TPortalHotkeySource*>(joint->Sources().front().get());
    ASSERT_NE(portal, nullptr);
    ASSERT_EQ(portal->StateWait(5000), TPortalHotkeySource::TState::Bound) << portal->ErrorText();
    EXPECT_EQ(source->HotkeyNameGet(), "Ctrl+Alt+H or Alt pressed twice");
    std::vector<TKeyEvent> events;
    source->KeyEventHandlerSet([&events](const TKeyEvent& event) { events.push_back(event); });

    ASSERT_EQ(ShortcutPress(), 1);
    EventsAwait(*source, 1, events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Kind, TKeyEventKind::Hotkey);
    ASSERT_EQ(std::system("xdotool key Alt_L >/dev/null 2>&1"), 0);
    EventsAwait(*source, 3, events);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[1].Kind, TKeyEventKind::AltDown);
    EXPECT_EQ(events[2].Kind, TKeyEventKind::AltUp);
}

TEST_F(PortalHotkey, OnWaylandWithoutXWaylandOrPortalThereIsNoHotKeyAndOneLineSaysWhatToUse)
{
    TLinuxSession sway;
    sway.Kind = TLinuxDesktopKind::Sway;
    const std::unique_ptr<THotkeySource> source = LinuxHotkeySourceCreate(sway);
    EXPECT_FALSE(source->CanWatchKeys());
    EXPECT_EQ(source->HotkeyNameGet(), "");
    const std::string log = LogText();
    EXPECT_EQ(Count(log, "\n"), 1u) << log;
    EXPECT_NE(log.find("the program has no hot key; its tray icon shows and hides the window"), std::string::npos)
        << log;
}
