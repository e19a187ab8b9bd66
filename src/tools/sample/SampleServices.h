#pragma once

#include "platform/PlatformServices.h"

#include <memory>

// The desktop's services as the program picks them at start (the Linux session's backend, or
// Windows').
std::unique_ptr<TPlatformServices> SampleServicesCreate();
