#include "platform/linux/LinuxHotkeySources.h"

#include "platform/linux/portal/PortalHotkeySource.h"
#include "platform/linux/x11/XInputHotkeySource.h"

#include <sys/epoll.h>
#include <unistd.h>

TJointHotkeySource::TJointHotkeySource(std::vector<std::unique_ptr<THotkeySource>> sources)
    : m_sources(std::move(sources))
    , m_stopped(m_sources.size(), false)
{
    // An epoll descriptor is readable while any descriptor in its set is: one for the caller
    // to watch.
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    for (size_t i = 0; i < m_sources.size(); ++i) {
        const int descriptor = m_sources[i]->EventDescriptor();
        if (m_epoll >= 0 && descriptor >= 0 && m_sources[i]->CanWatchKeys()) {
            epoll_event event {};
            event.events = EPOLLIN;
            event.data.u64 = i;
            epoll_ctl(m_epoll, EPOLL_CTL_ADD, descriptor, &event);
        }
    }
}

TJointHotkeySource::~TJointHotkeySource()
{
    if (m_epoll >= 0)
        close(m_epoll);
}

bool TJointHotkeySource::CanWatchKeys() const
{
    for (size_t i = 0; i < m_sources.size(); ++i) {
        if (!m_stopped[i] && m_sources[i]->CanWatchKeys())
            return true;
    }
    return false;
}

int TJointHotkeySource::EventDescriptor() const
{
    return m_epoll;
}

bool TJointHotkeySource::EventsDispatch()
{
    for (size_t i = 0; i < m_sources.size(); ++i) {
        if (m_stopped[i])
            continue;
        const int descriptor = m_sources[i]->EventDescriptor();
        if (!m_sources[i]->EventsDispatch()) {
            // A broken source's descriptor may stay readable for ever; the others go on.
            m_stopped[i] = true;
            if (descriptor >= 0)
                epoll_ctl(m_epoll, EPOLL_CTL_DEL, descriptor, nullptr);
        }
    }
    return CanWatchKeys();
}

void TJointHotkeySource::KeyEventHandlerSet(std::function<void(const TKeyEvent&)> handler)
{
    for (auto& source : m_sources)
        source->KeyEventHandlerSet(handler);
}

std::string TJointHotkeySource::HotkeyNameGet() const
{
    std::string names;
    for (size_t i = 0; i < m_sources.size(); ++i) {
        const std::string name = m_stopped[i] ? std::string() : m_sources[i]->HotkeyNameGet();
        if (!name.empty())
            names += (names.empty() ? "" : " or ") + name;
    }
    return names;
}

std::unique_ptr<THotkeySource> LinuxHotkeySourceCreate(const TLinuxSession& session, const std::string& busAddress)
{
    const bool wayland = session.Kind != TLinuxDesktopKind::X11 && session.Kind != TLinuxDesktopKind::None;
    if (!wayland)
        return std::make_unique<TXInputHotkeySource>(session.X11Display);
    std::vector<std::unique_ptr<THotkeySource>> sources;
    // XWayland's display shows the keys typed into X11 windows alone; without XWayland there is
    // nothing to ask (and nothing to log about it).
    if (!session.X11Display.empty())
        sources.push_back(std::make_unique<TXInputHotkeySource>(session.X11Display));
    const bool xinput = !sources.empty() && sources.front()->CanWatchKeys();
    const std::string fallback = xinput
        ? "Alt pressed twice stays the hot key, and it answers only while a window of an X11 program has the focus"
        : "the program has no hot key; its tray icon shows and hides the window";
    sources.insert(sources.begin(), std::make_unique<TPortalHotkeySource>(busAddress, fallback));
    return std::make_unique<TJointHotkeySource>(std::move(sources));
}
