// Loads a property stream whose Font.Style lists 2-byte members for the given number of
// megabytes, held whole in memory as a container's memory stream holds it, and prints the
// fault and the process's peak resident size: the reader must not grow with the members.
//     long_set_probe [megabytes]
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Fault.h"
#include "FormStream.h"
#include "FuzzSource.h"

namespace {

class Ignoring : public FormStreamTarget {
public:
    void SetInstanceName(const std::u16string&) override {}
    void Set(const StoredAttribute&, const StoredValue&) override {}
};

std::u16string Latin1(const std::string& bytes) { return std::u16string(bytes.begin(), bytes.end()); }

long PeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv)
{
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    std::vector<uint8_t> stream;
    static const char head[] = "TPF0\x07TTavrix\x06Tavrix\x0A" "Font.Style\x0B";
    stream.reserve(megabytes << 20);
    stream.assign(head, head + sizeof head - 1);
    while (stream.size() + 5 < (megabytes << 20)) {
        stream.push_back(1);
        stream.push_back('x');
    }
    stream.insert(stream.end(), {0, 0, 0});
    std::printf("stream: %zu bytes; peak resident before reading: %ld KB\n", stream.size(), PeakKilobytes());

    FuzzSource source(stream.data(), stream.size(), 4096);
    PropertyReader reader(source, Latin1);
    Ignoring target;
    try {
        ReadFormStream(reader, target);
        std::printf("read\n");
    } catch (const Fault& fault) {
        std::printf("refused: %s\n", std::string(fault.message().begin(), fault.message().end()).c_str());
    }
    std::printf("peak resident: %ld KB\n", PeakKilobytes());
}
