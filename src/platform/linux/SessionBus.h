#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;

// A connection of its own to the session bus at `address` (empty: the session's own, as the
// desktop names it in DBUS_SESSION_BUS_ADDRESS, or the user's bus in XDG_RUNTIME_DIR; never one
// launched on the spot, where the desktop's compositor could not be). A connection of its own,
// so that its messages are dispatched on its owner's thread whatever the rest of the program
// does with the session bus. `compositor` names whom it is meant to reach, for the message of the
// EOSError raised when there is no bus.
GDBusConnection* SessionBusConnect(const std::string& address, const std::string& compositor);

// The unique name that owns `name` on `bus`; empty when nobody does.
std::string SessionBusOwnerGet(GDBusConnection* bus, const char* name, int timeoutMs);

// A GLib main loop of its own on a thread of its own, for a connection's owner: the signals it
// subscribes, the objects it registers and the calls it makes inside Register() are dispatched
// on this thread, whatever the rest of the program does meanwhile.
class TBusThread
{
public:
    TBusThread();
    // Stops the thread; whatever is still queued (replies, timers) is dropped with the loop's
    // context, never dispatched.
    ~TBusThread();
    TBusThread(const TBusThread&) = delete;
    TBusThread& operator=(const TBusThread&) = delete;

    GMainContext* Context() const
    {
        return m_context;
    }
    // Runs `registration` on the calling thread with this loop's context as its default.
    void Register(const std::function<void()>& registration);
    void Start();
    // Ends the loop and waits for the thread; the timers started here never fire again. The quit
    // is sent from inside the loop: one sent before the thread has entered it would be lost.
    void Stop();
    // Starts a timer on the loop calling `callback(data)` (which returns whether to go on), unless
    // `timerId` names one already; sets `timerId` to it.
    void TimerStart(unsigned& timerId, unsigned milliseconds, int (*callback)(void*), void* data);
    // Runs `callback(data)` once on the loop's thread.
    void Post(int (*callback)(void*), void* data);

private:
    GMainContext* m_context = nullptr;
    GMainLoop* m_loop = nullptr;
    std::thread m_thread;
    std::vector<unsigned> m_timers;
};
