#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "LibraryMachine.h"

namespace {

// A file held in memory, read as the binding reads one: short reads at the end.
std::optional<uint16_t> MachineOf(const std::vector<uint8_t>& file)
{
    return LibraryMachine([&file](uint64_t offset, uint8_t* bytes, size_t count) -> size_t {
        if (offset >= file.size())
            return 0;
        const size_t n = std::min<size_t>(count, file.size() - offset);
        std::memcpy(bytes, file.data() + offset, n);
        return n;
    });
}

// "MZ", the signature's offset at 0x3C, and "PE\0\0" with the machine there.
std::vector<uint8_t> Image(uint32_t signatureAt, uint16_t machine)
{
    std::vector<uint8_t> file(signatureAt + 24);
    file[0] = 'M';
    file[1] = 'Z';
    std::memcpy(&file[0x3C], &signatureAt, 4);
    std::memcpy(&file[signatureAt], "PE\0\0", 4);
    std::memcpy(&file[signatureAt + 4], &machine, 2);
    return file;
}

TEST(LibraryMachine, ReadsTheMachineOfAnImage)
{
    EXPECT_EQ(MachineOf(Image(0x80, MachineI386)), MachineI386);
    EXPECT_EQ(MachineOf(Image(0x100, MachineAmd64)), MachineAmd64);
    EXPECT_EQ(MachineOf(Image(0x40, 0xAA64)), 0xAA64);
}

TEST(LibraryMachine, NoMachineForWhatIsNoImage)
{
    std::vector<uint8_t> notMz = Image(0x80, MachineI386);
    notMz[1] = 'X';
    std::vector<uint8_t> notPe = Image(0x80, MachineI386);
    notPe[0x81] = 'X';
    std::vector<uint8_t> pointsPastTheEnd = Image(0x80, MachineI386);
    const uint32_t far = 0xFFFFFFF0;
    std::memcpy(&pointsPastTheEnd[0x3C], &far, 4);
    std::vector<uint8_t> cutInTheHeader = Image(0x80, MachineI386);
    cutInTheHeader.resize(0x85);

    const struct {
        const char* name;
        std::vector<uint8_t> file;
    } cases[] = {
        {"empty", {}},
        {"shorter than the DOS header", {'M', 'Z', 0, 0}},
        {"no MZ", notMz},
        {"no PE signature", notPe},
        {"signature offset past the end", pointsPastTheEnd},
        {"cut inside the file header", cutInTheHeader},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MachineOf(c.file), std::nullopt) << c.name;
}

}  // namespace
