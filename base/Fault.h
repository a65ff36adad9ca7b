// Faults: an operation inside the control that cannot go on. Every COM entry point is
// a guard that turns a fault into an HRESULT (FaultReporting.h); none crosses a COM
// boundary.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

// An ordinary fault: a message and a help context.
class Fault : public std::exception {
public:
    explicit Fault(std::u16string message, int32_t helpContext = 0)
        : message_(std::move(message)), helpContext_(helpContext)
    {
    }

    const std::u16string& message() const noexcept { return message_; }
    int32_t helpContext() const noexcept { return helpContext_; }
    const char* what() const noexcept override { return "Fault"; }

private:
    std::u16string message_;
    int32_t helpContext_;
};

// A failed platform call, or an error status the control raises on purpose: carries
// the status (negative) that the control-protocol rule hands back.
class PlatformFault : public Fault {
public:
    PlatformFault(int32_t status, std::u16string message) : Fault(std::move(message)), status_(status) {}
    int32_t status() const noexcept { return status_; }

private:
    int32_t status_;
};

// The silent abort: ends an operation without a message of its own.
class AbortFault : public Fault {
public:
    AbortFault() : Fault(u"Operation aborted") {}
};

// The text shown for a fault that escapes the handling of a window message: the message
// with "." appended when it ends in a character that sorts after ".".
std::u16string FaultBoxText(const std::u16string& message);
