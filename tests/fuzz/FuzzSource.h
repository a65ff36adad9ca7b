// The stream a fuzz input stands for: the input handed out in reads of a chosen size, as a
// container's stream may deliver fewer bytes than asked.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "PropertyStream.h"

class FuzzSource : public ByteSource {
public:
    FuzzSource(const uint8_t* data, size_t size, size_t step) : data_(data), size_(size), step_(step) {}
    size_t Read(uint8_t* bytes, size_t count) override
    {
        const size_t taken = std::min({count, size_ - position_, step_});
        if (taken > 0)
            std::memcpy(bytes, data_ + position_, taken);
        position_ += taken;
        return taken;
    }
    size_t delivered() const { return position_; }

private:
    const uint8_t* data_;
    size_t size_, position_ = 0, step_;
};

// Reads of 1 to 7 bytes, or whole buffers, by the low bits of a byte.
inline size_t ReadStep(uint8_t choice) { return choice % 8 == 0 ? 4096 : choice % 8; }
