#pragma once

#include <string>
#include <string_view>

// A program of a snap lies under /snap/NAME/REVISION/ (or /var/lib/snapd/snap/ on systems whose
// /snap is elsewhere), and the revision changes with every refresh; snapd keeps the link
// /snap/NAME/current to the revision in use. Gives the path with the revision replaced by
// "current", or the path unchanged when it is no revision path. `root` is a folder the snap
// folders lie in instead of "/" (tests); the path must then begin with it.
std::string SnapRevisionPathToCurrent(std::string_view path, std::string_view root = {});
