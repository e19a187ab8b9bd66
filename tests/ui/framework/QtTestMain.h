#pragma once

#include "ui/framework/ApplicationErrorMessage.h"

#include <functional>
#include <string>

class TAppearanceMemory;

// The reporter the test application hands errors to; it records instead of opening a window.
class TTestErrorReporter : public TApplicationErrorMessage
{
public:
    std::string LastShown;

protected:
    void ErrorWindowShow(const std::string& message) override;
};

TTestErrorReporter& TestErrorReporter();

// The in-memory appearance every window of the tests reads; reset gives the file's defaults.
TAppearanceMemory& TestAppearance();
void TestAppearanceReset();
