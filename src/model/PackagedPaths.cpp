#include "model/PackagedPaths.h"

#include <algorithm>

namespace {

// snapd's revisions: a number, or "x" and a number for a snap installed from a local file.
bool SnapRevisionIs(std::string_view text)
{
    if (!text.empty() && text.front() == 'x') {
        text.remove_prefix(1);
    }
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::string SnapRevisionPathToCurrent(std::string_view path, std::string_view root)
{
    if (!root.empty() && root.back() == '/') {
        root.remove_suffix(1);
    }
    if (!path.starts_with(root)) {
        return std::string(path);
    }
    std::string_view rest = path.substr(root.size());
    size_t snapFolder = 0;
    for (std::string_view folder : { std::string_view("/snap/"), std::string_view("/var/lib/snapd/snap/") }) {
        if (rest.starts_with(folder)) {
            snapFolder = folder.size();
        }
    }
    if (snapFolder == 0) {
        return std::string(path);
    }
    const size_t nameEnd = rest.find('/', snapFolder);
    // "/snap/bin/" holds snapd's launchers, not a snap.
    if (nameEnd == std::string_view::npos || nameEnd == snapFolder
        || rest.substr(snapFolder, nameEnd - snapFolder) == "bin") {
        return std::string(path);
    }
    const size_t revisionEnd = std::min(rest.find('/', nameEnd + 1), rest.size());
    if (!SnapRevisionIs(rest.substr(nameEnd + 1, revisionEnd - nameEnd - 1))) {
        return std::string(path);
    }
    const size_t at = root.size() + nameEnd + 1;
    return std::string(path.substr(0, at)) + "current" + std::string(path.substr(root.size() + revisionEnd));
}
