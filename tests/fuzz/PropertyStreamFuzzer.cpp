// libFuzzer target for the property stream reader: any bytes must end in a read or a
// Fault, never in a crash, a hang or an allocation beyond what the input justifies.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "Fault.h"
#include "FormStream.h"

namespace {

// Hands the input out in reads of a size the input's first byte chooses.
class FuzzSource : public ByteSource {
public:
    FuzzSource(const uint8_t* data, size_t size, size_t step) : data_(data), size_(size), step_(step) {}
    size_t Read(uint8_t* bytes, size_t count) override
    {
        const size_t taken = std::min({count, size_ - position_, step_});
        std::memcpy(bytes, data_ + position_, taken);
        position_ += taken;
        return taken;
    }
    size_t delivered() const { return position_; }

private:
    const uint8_t* data_;
    size_t size_, position_ = 0, step_;
};

class AcceptingTarget : public FormStreamTarget {
public:
    void SetInstanceName(const std::u16string& name) override { names += name.size(); }
    void Set(FormProperty, const StoredValue& value) override { total += value.text.size() + value.integer; }
    size_t names = 0;
    int64_t total = 0;
};

std::u16string Latin1(const std::string& bytes) { return std::u16string(bytes.begin(), bytes.end()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t step = data[0] % 8 == 0 ? 4096 : data[0] % 8;
    FuzzSource source(data + 1, size - 1, step);
    PropertyReader reader(source, Latin1);
    AcceptingTarget target;
    try {
        ReadFormStream(reader, target);
    } catch (const Fault&) {
    }
    if (reader.Unconsumed() > source.delivered())
        __builtin_trap();
    return 0;
}
