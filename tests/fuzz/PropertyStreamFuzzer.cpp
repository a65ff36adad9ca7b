// libFuzzer target for the property stream reader: any bytes must end in a read or a
// Fault, never in a crash, a hang or an allocation beyond what the input justifies.
#include <cstdint>
#include <string>

#include "Fault.h"
#include "FormStream.h"
#include "FuzzSource.h"

namespace {

class AcceptingTarget : public FormStreamTarget {
public:
    void SetInstanceName(const std::u16string& name) override { names += name.size(); }
    void Set(const StoredAttribute&, const StoredValue& value) override { total += value.text.size() + value.integer; }
    size_t names = 0;
    int64_t total = 0;
};

std::u16string Latin1(const std::string& bytes) { return std::u16string(bytes.begin(), bytes.end()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    FuzzSource source(data + 1, size - 1, ReadStep(data[0]));
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
