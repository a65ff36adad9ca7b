// Owns one GDI object (font, brush, bitmap), deleted with its owner.
#pragma once

#include <windows.h>

#include <utility>

template <typename Handle>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(Handle handle) : handle_(handle) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept
    {
        std::swap(handle_, other.handle_);
        return *this;
    }
    ~GdiObject()
    {
        if (handle_)
            DeleteObject(handle_);
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    Handle handle_ = nullptr;
};
