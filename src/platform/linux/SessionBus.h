#pragma once

#include <string>
#include <thread>

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

// Ends `loop`, which `thread` runs on `context`, and waits for the thread. The quit is sent from
// inside the loop: one sent before the thread has entered it would be lost.
void BusThreadEnd(GMainContext* context, GMainLoop* loop, std::thread& thread);
