#pragma once

#include <string>

// Things the user must hear of that arise where no window is at hand (a damaged file set aside at
// start, changes that cannot be stored): the core posts them, the main window shows what waits
// in one message. Any thread may post.
void UserNoticePost(const std::string& text);
// Everything posted since the last call, one notice a paragraph; empty when nothing waits.
std::string UserNoticesTake();
