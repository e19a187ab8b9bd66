#include "tools/sample/SampleServices.h"

#include "platform/linux/LinuxPlatformServices.h"

std::unique_ptr<TPlatformServices> SampleServicesCreate()
{
    return LinuxPlatformServicesCreate(LinuxSessionDetect());
}
