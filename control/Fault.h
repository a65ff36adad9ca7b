// A fault: an operation inside the control that cannot go on. It carries a message
// and a help context; the guard at the COM boundary turns it into an HRESULT.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

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
