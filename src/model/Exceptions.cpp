#include "model/Exceptions.h"
#include "model/Assert.h"

#include <new>
#include <system_error>

std::string ExceptionClassName(const std::exception& error)
{
    if (auto own = dynamic_cast<const Exception*>(&error)) {
        return own->ClassName();
    }
    if (dynamic_cast<const std::bad_alloc*>(&error)) {
        return "EOutOfMemory";
    }
    if (dynamic_cast<const std::system_error*>(&error)) {
        return "EOSError";
    }
    if (dynamic_cast<const std::out_of_range*>(&error) || dynamic_cast<const std::range_error*>(&error)) {
        return "ERangeError";
    }
    return "Exception";
}

void AssertionFail(const char* unitName, int line)
{
    throw EAssertionFailed("Assertion failure (" + std::string(unitName) + ", line " + std::to_string(line) + ")");
}
