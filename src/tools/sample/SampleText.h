#pragma once

#include "platform/PlatformServices.h"

#include <string>
#include <vector>

// One foreground sample as "key: value" lines: window, exe, app_type (the stored text of the
// kind), browser_url.
std::string ForegroundSampleText(TPlatformServices& services);

// The current user's running programs as "path=display name" lines.
std::vector<std::string> RunningProgramLinesGet(TProcesses& processes);
