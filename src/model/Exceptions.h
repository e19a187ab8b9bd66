#pragma once

#include <stdexcept>
#include <string>

// The program's errors are exceptions that know their class name, because every log line
// names it ("ErrorClassName: EConvertError; ...") and callers may rely on that text.
class Exception : public std::runtime_error
{
public:
    explicit Exception(const std::string& message)
        : std::runtime_error(message)
    {
    }
    virtual std::string ClassName() const
    {
        return "Exception";
    }
};

#define TH_EXCEPTION_CLASS(Name, Base)                                                                                 \
    class Name : public Base                                                                                           \
    {                                                                                                                  \
    public:                                                                                                            \
        using Base::Base;                                                                                              \
        std::string ClassName() const override                                                                         \
        {                                                                                                              \
            return #Name;                                                                                              \
        }                                                                                                              \
    };

// Programming errors only (a missing list or item, a bad index).
TH_EXCEPTION_CLASS(EAssertionFailed, Exception)
// A text that is not the number or date it should be.
TH_EXCEPTION_CLASS(EConvertError, Exception)
// A failure reported by the operating system.
TH_EXCEPTION_CLASS(EOSError, Exception)
// A value outside the range an operation accepts.
TH_EXCEPTION_CLASS(ERangeError, Exception)

// The class name of any exception: ours carry it; others are named after their standard type.
std::string ExceptionClassName(const std::exception& error);
