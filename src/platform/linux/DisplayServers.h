#pragma once

#include <string>

// Whether a program listens on the Unix socket at `path` now (a connect succeeds).
bool UnixSocketAnswers(const std::string& path);

// Whether the Wayland compositor named by `waylandDisplay` (WAYLAND_DISPLAY: a socket's name in
// `runtimeFolder`, or its absolute path; empty: "wayland-0", as Wayland clients take it) accepts
// a connection now. A compositor that ended leaves its socket file behind, so the file alone
// says nothing.
bool WaylandDisplayAnswers(const std::string& waylandDisplay, const std::string& runtimeFolder);

// Whether the X display `displayName` (DISPLAY) accepts a connection now.
bool X11DisplayAnswers(const std::string& displayName);
