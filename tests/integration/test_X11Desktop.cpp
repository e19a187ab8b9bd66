#include "X11TestHelpers.h"

#include "model/MonitoredObjects.h"
#include "monitor/ZaraveDezeZurirevuzor.h"
#include "platform/linux/LinuxPlatformServices.h"
#include "platform/linux/x11/X11WindowSystem.h"

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

class X11Desktop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TH_REQUIRE_PROGRAMS("Xvfb", "openbox", "xterm");
        ASSERT_TRUE(m_desktop.Start(false)) << m_desktop.ErrorText();
        m_services = LinuxPlatformServicesCreate(m_desktop.DisplayName());
    }
    void TearDown() override
    {
        m_services.reset();
        m_desktop.Stop();
    }
    bool Listed(TWindowHandle window)
    {
        const auto windows = m_services->WindowSystem->TopLevelWindowsGet();
        return std::find(windows.begin(), windows.end(), window) != windows.end();
    }

    TTestDesktop m_desktop;
    std::unique_ptr<TPlatformServices> m_services;
};

} // namespace

TEST_F(X11Desktop, ForegroundXtermIsSampledWithItsRealExecutable)
{
    const pid_t xterm = m_desktop.XtermStart("sample-me");
    ASSERT_GT(xterm, 0) << m_desktop.ErrorText();
    const TWindowHandle window = m_desktop.WindowWait(xterm, 20, "sample-me");
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(m_desktop.WindowActivate(window));

    TWindowSystem& windows = *m_services->WindowSystem;
    EXPECT_EQ(windows.ForegroundWindowGet(), window);
    EXPECT_EQ(windows.WindowProcessIdGet(window), xterm);
    EXPECT_EQ(windows.WindowClassNameGet(window), "XTerm");
    EXPECT_EQ(windows.WindowTextGet(window), "sample-me");
    std::string path;
    std::string errorText;
    ASSERT_TRUE(m_services->Processes->ProcessExeNameGet(xterm, path, errorText)) << errorText;
    const std::string xtermPath = std::filesystem::canonical(TTestDesktop::ProgramFind("xterm")).string();
    EXPECT_EQ(path, xtermPath);

    auto sample = SampleCommandRun();
    EXPECT_EQ(sample["exit"], "0");
    EXPECT_EQ(sample["window"], WindowHandleText(window));
    EXPECT_EQ(sample["exe"], xtermPath);
    EXPECT_EQ(sample["app_type"], "Desktop Application");
    EXPECT_EQ(sample["browser_url"], "");

    auto running = SampleCommandRun("--running");
    EXPECT_EQ(running["exit"], "0");
    bool xtermLine = false;
    for (const auto& [key, line] : running)
        xtermLine = xtermLine || line == xtermPath + "=xterm";
    EXPECT_TRUE(xtermLine);
}

TEST_F(X11Desktop, WindowFactsAskedAgainAfterASampleAreCurrent)
{
    TH_REQUIRE_PROGRAMS("xdotool");
    const pid_t xterm = m_desktop.XtermStart("before");
    ASSERT_GT(xterm, 0) << m_desktop.ErrorText();
    const TWindowHandle window = m_desktop.WindowWait(xterm, 20, "before");
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(m_desktop.WindowActivate(window));

    // What finding the window in front learnt serves the sample that follows...
    TWindowSystem& windows = *m_services->WindowSystem;
    ASSERT_EQ(windows.ForegroundWindowGet(), window);
    EXPECT_EQ(windows.WindowProcessIdGet(window), xterm);
    EXPECT_EQ(windows.WindowClassNameGet(window), "XTerm");
    EXPECT_EQ(windows.WindowTextGet(window), "before");

    // ...and nobody after it: a later question gets the window as it is now.
    ASSERT_EQ(std::system(("xdotool set_window --name after " + std::to_string(window)).c_str()), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_desktop.Windows().WindowTextGet(window) != "after" && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(windows.WindowTextGet(window), "after");
    ASSERT_EQ(windows.ForegroundWindowGet(), window);
    EXPECT_EQ(windows.WindowTextGet(window), "after");
    EXPECT_EQ(windows.WindowTextGet(window), "after");
    EXPECT_EQ(windows.WindowClassNameGet(window), "XTerm");
    EXPECT_EQ(windows.WindowClassNameGet(window), "XTerm");
    EXPECT_EQ(windows.WindowProcessIdGet(window), xterm);
}

TEST_F(X11Desktop, CloseRequestClosesTheWindowAskedAndLeavesTheOther)
{
    const pid_t listed = m_desktop.XtermStart("listed");
    const pid_t unlisted = m_desktop.XtermStart("unlisted");
    ASSERT_GT(listed, 0);
    ASSERT_GT(unlisted, 0);
    const TWindowHandle listedWindow = m_desktop.WindowWait(listed, 20, "listed");
    const TWindowHandle unlistedWindow = m_desktop.WindowWait(unlisted, 20, "unlisted");
    ASSERT_NE(listedWindow, 0u);
    ASSERT_NE(unlistedWindow, 0u);
    ASSERT_TRUE(Listed(listedWindow));
    ASSERT_TRUE(Listed(unlistedWindow));

    EXPECT_TRUE(m_services->WindowSystem->WindowCloseRequest(listedWindow));
    EXPECT_TRUE(m_desktop.WindowGoneWait(listedWindow, 10));
    EXPECT_TRUE(Listed(unlistedWindow));
    EXPECT_EQ(kill(unlisted, 0), 0);
}

TEST_F(X11Desktop, WindowWithoutPoliteCloseIsClosedThroughTheWindowManager)
{
    // A bare window of this test's own that takes no close request: the window manager ends it.
    xcb_connection_t* connection = xcb_connect(m_desktop.DisplayName().c_str(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(connection));
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 200, 100, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(connection, window);
    xcb_flush(connection);
    bool shown = false;
    for (int i = 0; i < 200 && !shown; ++i) {
        shown = Listed(window);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(shown);
    EXPECT_EQ(m_services->WindowSystem->WindowProcessIdGet(window), getpid());

    EXPECT_TRUE(m_services->WindowSystem->WindowCloseRequest(window));
    EXPECT_TRUE(m_desktop.WindowGoneWait(window, 10));
    xcb_disconnect(connection);
}

TEST_F(X11Desktop, ActiveWindowLeftOverAfterTheLastWindowClosesGivesNoWindow)
{
    const pid_t xterm = m_desktop.XtermStart("last");
    ASSERT_GT(xterm, 0);
    const TWindowHandle window = m_desktop.WindowWait(xterm, 20, "last");
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(m_desktop.WindowActivate(window));
    ASSERT_TRUE(m_services->WindowSystem->WindowCloseRequest(window));
    ASSERT_TRUE(m_desktop.WindowGoneWait(window, 10));

    TWindowSystem& windows = *m_services->WindowSystem;
    EXPECT_EQ(windows.ForegroundWindowGet(), 0u);
    EXPECT_EQ(windows.WindowProcessIdGet(window), 0);
    EXPECT_EQ(windows.WindowClassNameGet(window), "");
    EXPECT_EQ(windows.WindowTextGet(window), "");
    EXPECT_FALSE(windows.WindowCloseRequest(window));
    EXPECT_TRUE(windows.TopLevelWindowsGet().empty());

    auto sample = SampleCommandRun();
    EXPECT_EQ(sample["exit"], "0");
    EXPECT_EQ(sample["window"], "0x0");
    EXPECT_EQ(sample["exe"], "Error: No such process");
    EXPECT_EQ(sample["app_type"], "Desktop Application");
}

TEST_F(X11Desktop, CloseAllClosesListedProgramsWindowsAndLeavesOthers)
{
    TH_REQUIRE_PROGRAMS("xmessage");
    const pid_t listed = m_desktop.XtermStart("listed");
    const pid_t unlisted = m_desktop.ProgramStart({ "xmessage", "-title", "unlisted", "left alone" }, "xmessage");
    ASSERT_GT(listed, 0);
    ASSERT_GT(unlisted, 0);
    const TWindowHandle listedWindow = m_desktop.WindowWait(listed, 20, "listed");
    const TWindowHandle unlistedWindow = m_desktop.WindowWait(unlisted, 20, "unlisted");
    ASSERT_NE(listedWindow, 0u);
    ASSERT_NE(unlistedWindow, 0u);

    // The listed window is minimised: close-all reaches windows that are not showing too.
    xcb_connection_t* connection = xcb_connect(m_desktop.DisplayName().c_str(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(connection));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const char* const changeState = "WM_CHANGE_STATE";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(connection,
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(changeState)), changeState), nullptr);
    ASSERT_NE(atom, nullptr);
    xcb_client_message_event_t iconify {};
    iconify.response_type = XCB_CLIENT_MESSAGE;
    iconify.format = 32;
    iconify.window = static_cast<xcb_window_t>(listedWindow);
    iconify.type = atom->atom;
    iconify.data.data32[0] = XCB_ICCCM_WM_STATE_ICONIC;
    std::free(atom);
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char*>(&iconify));
    xcb_flush(connection);
    bool minimised = false;
    for (int i = 0; i < 200 && !minimised; ++i) {
        xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, static_cast<xcb_window_t>(listedWindow)), nullptr);
        minimised = attributes && attributes->map_state == XCB_MAP_STATE_UNMAPPED;
        std::free(attributes);
        if (!minimised)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    xcb_disconnect(connection);
    ASSERT_TRUE(minimised);
    ASSERT_TRUE(Listed(listedWindow));

    TMonitoredList list;
    auto item = std::make_unique<TMonitoredItem>();
    item->ItemType = mitApp;
    item->Name = std::filesystem::canonical(TTestDesktop::ProgramFind("xterm")).string();
    item->Caption = "Terminal";
    list.Add("Terminal", std::move(item));

    TZaraveDezeZurirevuzor sample(*m_services->WindowSystem, *m_services->Processes, *m_services->Accessibility);
    sample.Execute(true, &list);
    EXPECT_TRUE(m_desktop.WindowGoneWait(listedWindow, 10));
    EXPECT_TRUE(Listed(unlistedWindow));
    EXPECT_EQ(kill(unlisted, 0), 0);
}
