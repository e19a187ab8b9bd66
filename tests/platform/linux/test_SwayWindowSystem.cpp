#include "platform/linux/logind/LinuxSession.h"
#include "platform/linux/sway/SwayWindowSystem.h"

#include "model/Exceptions.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace {

// Two outputs, a split holding two views (one of them focused), a floating XWayland view and a
// view in the scratchpad, as sway lays them out.
const char* const TreeJson = R"({
  "id": 1, "type": "root", "name": "root", "focused": false, "nodes": [
    { "id": 2147483647, "type": "output", "name": "__i3", "nodes": [
      { "id": 2147483646, "type": "workspace", "name": "__i3_scratch", "nodes": [], "floating_nodes": [
        { "id": 30, "type": "floating_con", "name": "hidden", "pid": 300, "app_id": "foot", "focused": false,
          "nodes": [], "floating_nodes": [] } ] } ] },
    { "id": 3, "type": "output", "name": "HEADLESS-1", "focused": false, "nodes": [
      { "id": 4, "type": "workspace", "name": "1", "focused": false, "nodes": [
        { "id": 5, "type": "con", "name": null, "layout": "splitv", "focused": false, "nodes": [
          { "id": 6, "type": "con", "name": "left", "pid": 600, "app_id": "foot", "focused": false, "nodes": [] },
          { "id": 7, "type": "con", "name": "Loop page — Mozilla Firefox", "pid": 700, "app_id": "firefox",
            "focused": true, "nodes": [] } ] } ],
        "floating_nodes": [
          { "id": 8, "type": "floating_con", "name": "xterm", "pid": 800, "app_id": null, "shell": "xwayland",
            "window_properties": { "class": "XTerm", "instance": "xterm" }, "focused": false, "nodes": [] } ] } ] } ] })";

// A compositor's IPC socket in a temporary folder, answering each request through `Answer`.
class TFakeSway
{
public:
    // The bytes to send back for one request (type and payload); empty: say nothing.
    std::function<std::string(uint32_t type, const std::string& payload)> Answer;

    explicit TFakeSway(const std::string& socketName = "ipc.sock")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tallyhour-ipc-XXXXXX").string();
        m_folder = mkdtemp(pattern.data());
        m_path = m_folder + "/" + socketName;
        m_listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_path.c_str(), sizeof(address.sun_path) - 1);
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(m_listener, 4);
        m_thread = std::thread([this] { Serve(); });
    }
    ~TFakeSway()
    {
        m_stop = true;
        m_thread.join();
        close(m_listener);
        std::filesystem::remove_all(m_folder);
    }
    const std::string& Path() const
    {
        return m_path;
    }
    const std::string& Folder() const
    {
        return m_folder;
    }
    int Connections() const
    {
        return m_connections;
    }
    std::vector<std::string> Requests()
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

    static std::string Message(uint32_t type, const std::string& payload)
    {
        std::string message("i3-ipc");
        const auto length = static_cast<uint32_t>(payload.size());
        message.append(reinterpret_cast<const char*>(&length), 4);
        message.append(reinterpret_cast<const char*>(&type), 4);
        return message + payload;
    }

private:
    void Serve()
    {
        int client = -1;
        std::string buffer;
        while (!m_stop) {
            pollfd fds[2] = { { m_listener, POLLIN, 0 }, { client, POLLIN, 0 } };
            if (poll(fds, client >= 0 ? 2 : 1, 50) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                if (client >= 0)
                    close(client);
                client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
                buffer.clear();
                ++m_connections;
                continue;
            }
            char chunk[4096];
            const ssize_t got = read(client, chunk, sizeof(chunk));
            if (got <= 0) {
                close(client);
                client = -1;
                continue;
            }
            buffer.append(chunk, static_cast<size_t>(got));
            while (buffer.size() >= 14) {
                uint32_t length = 0;
                uint32_t type = 0;
                std::memcpy(&length, buffer.data() + 6, 4);
                std::memcpy(&type, buffer.data() + 10, 4);
                if (buffer.size() < 14 + length)
                    break;
                const std::string payload = buffer.substr(14, length);
                buffer.erase(0, 14 + length);
                {
                    std::lock_guard lock(m_mutex);
                    m_requests.push_back(payload);
                }
                const std::string answer = Answer(type, payload);
                // In two pieces, as a busy socket may deliver it.
                const size_t half = answer.size() / 2;
                [[maybe_unused]] ssize_t put = write(client, answer.data(), half);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                put = write(client, answer.data() + half, answer.size() - half);
            }
        }
        if (client >= 0)
            close(client);
    }

    std::string m_folder;
    std::string m_path;
    int m_listener = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::atomic<int> m_connections { 0 };
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
};

} // namespace

TEST(SwayTree, ViewsAreFoundAtAnyDepthWithTheirProcessClassAndTitle)
{
    TSwayTree tree;
    ASSERT_TRUE(SwayTreeParse(TreeJson, tree));
    ASSERT_EQ(tree.Windows.size(), 4u);
    EXPECT_EQ(tree.Focused, 7u);
    EXPECT_EQ(tree.Windows[0].Id, 30u); // the scratchpad's, out of sight but still a window
    EXPECT_EQ(tree.Windows[1].Id, 6u);
    EXPECT_EQ(tree.Windows[2].ProcessId, 700);
    EXPECT_EQ(tree.Windows[2].ClassName, "firefox");
    EXPECT_EQ(tree.Windows[2].Title, "Loop page — Mozilla Firefox");
    // An XWayland view has no app_id: its X11 class stands in.
    EXPECT_EQ(tree.Windows[3].ClassName, "XTerm");
    EXPECT_EQ(tree.Windows[3].ProcessId, 800);
    EXPECT_TRUE(tree.Windows[3].Floating);
    EXPECT_FALSE(tree.Windows[1].Floating);
}

TEST(SwayTree, FocusOnAnEmptyWorkspaceOrBrokenTextGivesNoWindow)
{
    TSwayTree tree;
    ASSERT_TRUE(SwayTreeParse(
        R"({"id":1,"type":"root","nodes":[{"id":3,"type":"output","nodes":[{"id":4,"type":"workspace","focused":true,"nodes":[]}]}]})",
        tree));
    EXPECT_EQ(tree.Focused, 0u);
    EXPECT_TRUE(tree.Windows.empty());
    EXPECT_FALSE(SwayTreeParse(R"({"id":1,"nodes":[)", tree));
    EXPECT_FALSE(SwayTreeParse("[]", tree));
    EXPECT_TRUE(tree.Windows.empty());
    // Odd field types are passed over, not trusted.
    ASSERT_TRUE(SwayTreeParse(R"({"nodes":[{"id":-5,"type":"con","pid":1,"nodes":[]},)"
                              R"({"id":9,"type":"con","pid":"12","nodes":[]},{"id":10,"type":"con","pid":12,)"
                              R"("name":7,"app_id":[],"focused":"yes","nodes":{}}]})",
        tree));
    ASSERT_EQ(tree.Windows.size(), 1u);
    EXPECT_EQ(tree.Windows[0].Id, 10u);
    EXPECT_EQ(tree.Windows[0].Title, "");
    EXPECT_EQ(tree.Focused, 0u);
}

TEST(SwayWindowSystem, AnswersFromOneTreeAndClosesByContainerId)
{
    TFakeSway sway;
    sway.Answer = [](uint32_t type, const std::string& payload) {
        if (type == 4)
            return TFakeSway::Message(4, TreeJson);
        // An event arriving between request and answer is not the answer.
        const std::string success = payload == "[con_id=6] kill" ? "true" : "false";
        return TFakeSway::Message(0x80000003u, R"({"change":"focus"})")
            + TFakeSway::Message(0, "[{\"success\":" + success + "}]");
    };
    TSwayWindowSystem windows(sway.Path());
    EXPECT_EQ(windows.ForegroundWindowGet(), 7u);
    EXPECT_EQ(windows.WindowProcessIdGet(7), 700);
    EXPECT_EQ(windows.WindowClassNameGet(8), "XTerm");
    EXPECT_EQ(windows.WindowTextGet(6), "left");
    EXPECT_EQ(windows.WindowProcessIdGet(99), 0);
    EXPECT_EQ(windows.TopLevelWindowsGet(), (std::vector<TWindowHandle> { 30, 6, 7, 8 }));
    EXPECT_TRUE(windows.WindowCloseRequest(6));
    EXPECT_FALSE(windows.WindowCloseRequest(7));
    EXPECT_FALSE(windows.WindowCloseRequest(0));
    const auto requests = sway.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[requests.size() - 2], "[con_id=6] kill");
}

TEST(SwayWindowSystem, ASilentOrBrokenCompositorGivesNoWindowAndIsReachedAgainLater)
{
    TFakeSway sway;
    std::atomic<int> mode { 0 }; // 0 silent, 1 garbage, 2 well
    sway.Answer = [&mode](uint32_t type, const std::string&) -> std::string {
        if (mode == 0)
            return {};
        if (mode == 1)
            return "not-i3 at all, sorry";
        return TFakeSway::Message(type, TreeJson);
    };
    TSwayWindowSystem windows(sway.Path());
    EXPECT_EQ(windows.ForegroundWindowGet(), 0u);
    mode = 1;
    EXPECT_EQ(windows.ForegroundWindowGet(), 0u);
    EXPECT_TRUE(windows.TopLevelWindowsGet().empty());
    mode = 2;
    EXPECT_EQ(windows.ForegroundWindowGet(), 7u);
    // Each failure dropped the connection; each new call made a fresh one.
    EXPECT_GE(sway.Connections(), 3);
}

TEST(SwayWindowSystem, AnUnreachableSocketIsReportedAtStart)
{
    EXPECT_THROW(TSwayWindowSystem("/nonexistent/sway-ipc.sock"), EOSError);
    EXPECT_THROW(TSwayWindowSystem(""), EOSError);
}

TEST(LinuxSession, ASwaySessionThatDoesNotNameItsSocketGetsTheOneThatAnswers)
{
    const std::string uid = std::to_string(getuid());
    TFakeSway sway("sway-ipc." + uid + ".4242.sock");
    sway.Answer = [](uint32_t type, const std::string&) { return TFakeSway::Message(type, TreeJson); };
    // A socket left behind by an ended sway: its file is there, nobody listens.
    const std::string stale = sway.Folder() + "/sway-ipc." + uid + ".17.sock";
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, stale.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    close(fd);

    std::map<std::string, std::string> variables { { "XDG_SESSION_TYPE", "wayland" },
        { "WAYLAND_DISPLAY", "wayland-1" }, { "XDG_CURRENT_DESKTOP", "sway" }, { "XDG_RUNTIME_DIR", sway.Folder() } };
    auto environment = [&variables](const char* name) -> const char* {
        const auto it = variables.find(name);
        return it == variables.end() ? nullptr : it->second.c_str();
    };
    TLinuxSession session = LinuxSessionDetect(environment);
    EXPECT_EQ(session.Kind, TLinuxDesktopKind::Sway);
    EXPECT_EQ(session.SwaySocket, sway.Path());
    // Another desktop's session is not searched for sway's socket.
    variables["XDG_CURRENT_DESKTOP"] = "GNOME";
    EXPECT_EQ(LinuxSessionDetect(environment).Kind, TLinuxDesktopKind::Gnome);
    // i3's own variable names the socket as well.
    variables["I3SOCK"] = sway.Path();
    EXPECT_EQ(LinuxSessionDetect(environment).SwaySocket, sway.Path());
}
