// Owns one BSTR. An empty text travels as a null BSTR.
#pragma once

#include <oleauto.h>

#include <string>
#include <utility>

// The text of a BSTR received from a caller; embedded U+0000 characters are kept: the length
// is the BSTR's own.
inline std::u16string BstrText(BSTR value)
{
    return value ? std::u16string(reinterpret_cast<const char16_t*>(value), SysStringLen(value)) : std::u16string();
}

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::u16string& text)
        : value_(text.empty() ? nullptr
                              : SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                                  static_cast<UINT>(text.size())))
    {
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept
    {
        std::swap(value_, other.value_);
        return *this;
    }
    ~Bstr() { SysFreeString(value_); }

    BSTR get() const { return value_; }
    BSTR* out()  // for an [out] BSTR parameter
    {
        SysFreeString(std::exchange(value_, nullptr));
        return &value_;
    }
    BSTR release() { return std::exchange(value_, nullptr); }

    std::u16string text() const { return BstrText(value_); }

private:
    BSTR value_ = nullptr;
};
