#include "platform/linux/DisplayServers.h"

#include <xcb/xcb.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

bool UnixSocketAnswers(const std::string& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool answers = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return answers;
}

bool WaylandDisplayAnswers(const std::string& waylandDisplay, const std::string& runtimeFolder)
{
    const std::string name = waylandDisplay.empty() ? "wayland-0" : waylandDisplay;
    if (name[0] != '/' && runtimeFolder.empty())
        return false;
    return UnixSocketAnswers(name[0] == '/' ? name : runtimeFolder + "/" + name);
}

bool X11DisplayAnswers(const std::string& displayName)
{
    if (displayName.empty())
        return false;
    xcb_connection_t* connection = xcb_connect(displayName.c_str(), nullptr);
    const bool answers = connection && xcb_connection_has_error(connection) == 0;
    if (connection)
        xcb_disconnect(connection);
    return answers;
}
