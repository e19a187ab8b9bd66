#include "platform/linux/sway/SwayWindowSystem.h"

#include "model/Exceptions.h"
#include "model/ProgramLog.h"

#include <nlohmann/json.hpp>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

using TClock = std::chrono::steady_clock;

constexpr char IpcMagic[] = { 'i', '3', '-', 'i', 'p', 'c' };
constexpr size_t IpcMagicSize = sizeof(IpcMagic);
constexpr size_t IpcHeaderSize = IpcMagicSize + 2 * sizeof(uint32_t);
constexpr uint32_t IpcRunCommand = 0;
constexpr uint32_t IpcGetTree = 4;
// Events carry this bit; none are subscribed to here, but a stray one must not be taken for
// the answer.
constexpr uint32_t IpcEventBit = 0x80000000u;
// A layout tree of some thousand windows stays far below this; a larger length is a broken
// stream, not an answer.
constexpr uint32_t IpcAnswerLimit = 64u * 1024 * 1024;
// Within one scan the sample asks about the same window several times (its process, its class,
// its title); one tree read serves them all.
constexpr auto TreeReuseTime = std::chrono::milliseconds(250);

// Waits for the socket to be ready for `events` until `deadline`.
bool SocketWait(int socket, short events, TClock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
        if (left <= 0)
            return false;
        pollfd one { socket, events, 0 };
        const int ready = poll(&one, 1, static_cast<int>(left));
        if (ready > 0)
            return (one.revents & events) != 0;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

bool SendAll(int socket, const char* data, size_t size, TClock::time_point deadline)
{
    while (size > 0) {
        if (!SocketWait(socket, POLLOUT, deadline))
            return false;
        const ssize_t put = send(socket, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

bool ReceiveAll(int socket, char* data, size_t size, TClock::time_point deadline)
{
    while (size > 0) {
        if (!SocketWait(socket, POLLIN, deadline))
            return false;
        const ssize_t got = recv(socket, data, size, MSG_DONTWAIT);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

std::string StringField(const nlohmann::json& node, const char* name)
{
    const auto it = node.find(name);
    return it != node.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Views (containers that show a program's surface) carry the owner's process id; splits,
// workspaces and outputs do not.
bool IsView(const nlohmann::json& node)
{
    const auto pid = node.find("pid");
    const auto type = node.find("type");
    return pid != node.end() && pid->is_number_integer() && type != node.end() && type->is_string()
        && (*type == "con" || *type == "floating_con");
}

void TreeWalk(const nlohmann::json& node, TSwayTree& tree, int depth)
{
    // Outputs, workspaces and nested splits: a real tree is a dozen levels deep at most.
    if (depth > 64 || !node.is_object())
        return;
    const auto id = node.find("id");
    const bool hasId = id != node.end() && id->is_number_unsigned();
    if (IsView(node) && hasId) {
        TSwayWindow window;
        window.Id = id->get<uint64_t>();
        window.ProcessId = node["pid"].get<int64_t>();
        window.ClassName = StringField(node, "app_id");
        if (window.ClassName.empty()) {
            const auto properties = node.find("window_properties");
            if (properties != node.end() && properties->is_object())
                window.ClassName = StringField(*properties, "class");
        }
        window.Title = StringField(node, "name");
        window.Floating = node["type"] == "floating_con";
        const auto focused = node.find("focused");
        if (focused != node.end() && focused->is_boolean() && focused->get<bool>())
            tree.Focused = window.Id;
        tree.Windows.push_back(std::move(window));
    }
    for (const char* children : { "nodes", "floating_nodes" }) {
        const auto list = node.find(children);
        if (list == node.end() || !list->is_array())
            continue;
        for (const auto& child : *list)
            TreeWalk(child, tree, depth + 1);
    }
}

} // namespace

bool SwayTreeParse(std::string_view json, TSwayTree& tree)
{
    tree = {};
    const nlohmann::json root = nlohmann::json::parse(json, nullptr, false);
    if (root.is_discarded() || !root.is_object() || !root.contains("nodes"))
        return false;
    TreeWalk(root, tree, 0);
    return true;
}

TSwayWindowSystem::TSwayWindowSystem(std::string socketPath)
    : m_socketPath(std::move(socketPath))
{
    std::string errorText;
    if (!Connect(errorText))
        throw EOSError("Cannot reach sway's IPC socket " + m_socketPath + ": " + errorText);
}

TSwayWindowSystem::~TSwayWindowSystem()
{
    Disconnect();
}

bool TSwayWindowSystem::Connect(std::string& errorText)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (m_socketPath.empty() || m_socketPath.size() >= sizeof(address.sun_path)) {
        errorText = m_socketPath.empty() ? "no socket is named" : "the path is too long";
        return false;
    }
    std::memcpy(address.sun_path, m_socketPath.c_str(), m_socketPath.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        errorText = std::strerror(errno);
        return false;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        errorText = std::strerror(errno);
        close(fd);
        return false;
    }
    m_socket = fd;
    return true;
}

void TSwayWindowSystem::Disconnect()
{
    if (m_socket >= 0)
        close(m_socket);
    m_socket = -1;
}

bool TSwayWindowSystem::Call(uint32_t type, std::string_view payload, std::string& answer)
{
    std::string errorText;
    if (m_socket < 0 && !Connect(errorText)) {
        if (!m_failureLogged) {
            m_failureLogged = true;
            LogMessageWrite("sway's IPC socket " + m_socketPath + " cannot be reached (" + errorText
                + "); the window in front is not known until it can");
        }
        return false;
    }
    const auto deadline = TClock::now() + std::chrono::milliseconds(CallTimeoutMs);
    std::string request(IpcMagic, IpcMagicSize);
    const auto length = static_cast<uint32_t>(payload.size());
    request.append(reinterpret_cast<const char*>(&length), sizeof(length));
    request.append(reinterpret_cast<const char*>(&type), sizeof(type));
    request.append(payload);
    bool answered = SendAll(m_socket, request.data(), request.size(), deadline);
    while (answered) {
        char header[IpcHeaderSize];
        uint32_t answerLength = 0;
        uint32_t answerType = 0;
        answered = ReceiveAll(m_socket, header, sizeof(header), deadline)
            && std::memcmp(header, IpcMagic, IpcMagicSize) == 0;
        if (answered) {
            std::memcpy(&answerLength, header + IpcMagicSize, sizeof(answerLength));
            std::memcpy(&answerType, header + IpcMagicSize + sizeof(answerLength), sizeof(answerType));
            answered = answerLength <= IpcAnswerLimit;
        }
        if (answered) {
            answer.resize(answerLength);
            answered = ReceiveAll(m_socket, answer.data(), answerLength, deadline);
        }
        if (answered && (answerType & IpcEventBit) == 0) {
            answered = answerType == type;
            break;
        }
    }
    if (!answered) {
        // A half-read answer leaves the stream out of step: only a new connection is safe.
        Disconnect();
        answer.clear();
        if (!m_failureLogged) {
            m_failureLogged = true;
            LogMessageWrite("sway did not answer on its IPC socket " + m_socketPath
                + " within a second; the window in front is not known until it does");
        }
        return false;
    }
    if (m_failureLogged) {
        m_failureLogged = false;
        LogMessageWrite("sway answers on its IPC socket " + m_socketPath + " again");
    }
    return true;
}

bool TSwayWindowSystem::TreeRefresh()
{
    std::string answer;
    m_treeValid = Call(IpcGetTree, {}, answer) && SwayTreeParse(answer, m_tree);
    if (!m_treeValid)
        m_tree = {};
    m_treeTime = TClock::now();
    return m_treeValid;
}

const TSwayWindow* TSwayWindowSystem::WindowFind(TWindowHandle window)
{
    if (window == 0)
        return nullptr;
    if (!m_treeValid || TClock::now() - m_treeTime > TreeReuseTime)
        TreeRefresh();
    for (const TSwayWindow& candidate : m_tree.Windows) {
        if (candidate.Id == window)
            return &candidate;
    }
    return nullptr;
}

TWindowHandle TSwayWindowSystem::ForegroundWindowGet()
{
    std::lock_guard lock(m_mutex);
    return TreeRefresh() ? m_tree.Focused : 0;
}

std::vector<TWindowHandle> TSwayWindowSystem::TopLevelWindowsGet()
{
    std::lock_guard lock(m_mutex);
    std::vector<TWindowHandle> windows;
    if (TreeRefresh()) {
        for (const TSwayWindow& window : m_tree.Windows)
            windows.push_back(window.Id);
    }
    return windows;
}

int64_t TSwayWindowSystem::WindowProcessIdGet(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    const TSwayWindow* found = WindowFind(window);
    return found ? found->ProcessId : 0;
}

std::string TSwayWindowSystem::WindowClassNameGet(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    const TSwayWindow* found = WindowFind(window);
    return found ? found->ClassName : std::string();
}

std::string TSwayWindowSystem::WindowTextGet(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    const TSwayWindow* found = WindowFind(window);
    return found ? found->Title : std::string();
}

bool TSwayWindowSystem::CommandRun(const std::string& command)
{
    std::lock_guard lock(m_mutex);
    std::string answer;
    if (!Call(IpcRunCommand, command, answer))
        return false;
    // Whatever the command changed, the next question reads the tree anew.
    m_treeValid = false;
    // One result per command; criteria that match nothing give success false ("No matching node").
    const nlohmann::json results = nlohmann::json::parse(answer, nullptr, false);
    if (results.is_discarded() || !results.is_array() || results.empty())
        return false;
    for (const auto& result : results) {
        const auto success = result.find("success");
        if (success == result.end() || !success->is_boolean() || !success->get<bool>())
            return false;
    }
    return true;
}

bool TSwayWindowSystem::ProcessWindowsFloat(int64_t processId)
{
    std::lock_guard lock(m_mutex);
    return processId > 0 && CommandRun("for_window [pid=" + std::to_string(processId) + "] floating enable");
}

std::optional<TSwayWindow> TSwayWindowSystem::WindowGet(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    const TSwayWindow* found = WindowFind(window);
    return found ? std::optional<TSwayWindow>(*found) : std::nullopt;
}

bool TSwayWindowSystem::WindowCloseRequest(TWindowHandle window)
{
    std::lock_guard lock(m_mutex);
    // The id is a number: nothing of the window's own (its title) goes into the command.
    return window != 0 && CommandRun("[con_id=" + std::to_string(window) + "] kill");
}
