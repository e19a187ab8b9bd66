#include "model/UserNotices.h"

#include <mutex>

namespace {

// Never destroyed: a store saving from the exit destructors may still post.
std::mutex& NoticesLock()
{
    static auto& lock = *new std::mutex;
    return lock;
}

std::string& Notices()
{
    static auto& notices = *new std::string;
    return notices;
}

} // namespace

void UserNoticePost(const std::string& text)
{
    std::lock_guard<std::mutex> guard(NoticesLock());
    std::string& notices = Notices();
    // The same notice twice before the user saw the first says nothing new.
    if (notices.find(text) != std::string::npos) {
        return;
    }
    notices += (notices.empty() ? "" : "\n\n") + text;
}

std::string UserNoticesTake()
{
    std::lock_guard<std::mutex> guard(NoticesLock());
    std::string taken;
    taken.swap(Notices());
    return taken;
}
