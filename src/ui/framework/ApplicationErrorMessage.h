#pragma once

#include <exception>
#include <string>

class QObject;

// The program-wide error reporter: an error that an event or timer handler lets through is
// logged with the reporter's method text and shown in a new error window; the program goes on.
class TApplicationErrorMessage
{
public:
    virtual ~TApplicationErrorMessage() = default;

    void OnException(QObject* sender, const std::exception& error);

protected:
    // Shows the error window modally; returns when the user closes it.
    virtual void ErrorWindowShow(const std::string& message);
};

// The one reporter that exists from start to end of the program.
TApplicationErrorMessage& ApplicationErrorMessage();
