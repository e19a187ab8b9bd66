#pragma once

#include "model/Exceptions.h"

#include <string>

[[noreturn]] void AssertionFail(const char* unitName, int line);

// Guards against programming errors only; the message names the source unit and line so a
// report from a user's log points at the broken call.
#define TH_ASSERT(condition, unitName)                                                                                 \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            AssertionFail(unitName, __LINE__);                                                                         \
        }                                                                                                              \
    } while (false)
