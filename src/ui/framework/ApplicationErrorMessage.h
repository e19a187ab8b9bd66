#pragma once

#include <exception>
#include <string>

class QObject;

// The program-wide error reporter: an error that an event or timer handler lets through is
// logged with the reporter's method text and shown in an error window; the program goes on.
// One window at a time: a handler that fails on every tick while the window is open (its modal
// loop keeps the timers running) would otherwise stack windows without end. Those errors are
// logged each and counted, and the count is logged when the window is closed.
class TApplicationErrorMessage
{
public:
    virtual ~TApplicationErrorMessage() = default;

    void OnException(QObject* sender, const std::exception& error);

    // The errors that came while the last error window was open.
    int RepeatCount() const
    {
        return m_repeatCount;
    }

protected:
    // Shows the error window modally; returns when the user closes it.
    virtual void ErrorWindowShow(const std::string& message);

private:
    bool m_windowOpen = false;
    int m_repeatCount = 0;
};

// The one reporter that exists from start to end of the program.
TApplicationErrorMessage& ApplicationErrorMessage();
