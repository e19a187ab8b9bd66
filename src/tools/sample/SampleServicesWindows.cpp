#include "tools/sample/SampleServices.h"

#include "platform/windows/WindowsPlatformServices.h"

std::unique_ptr<TPlatformServices> SampleServicesCreate()
{
    return WindowsPlatformServicesCreate();
}
