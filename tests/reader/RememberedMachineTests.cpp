#include <gtest/gtest.h>

#include "LibraryMachine.h"
#include "RememberedMachine.h"

namespace {

// A file whose header the test changes, counting how often it is read.
struct Header {
    std::optional<uint16_t> machine;
    int reads = 0;
    auto Reader()
    {
        return [this] {
            ++reads;
            return machine;
        };
    }
};

TEST(RememberedMachine, TheHeaderIsReadOnceWhileTheFileStaysTheSame)
{
    const FileStamp stamp{4096, 10, 20};
    for (const std::optional<uint16_t> machine : {std::optional<uint16_t>(MachineI386), std::optional<uint16_t>()}) {
        Header header{machine};
        RememberedMachine remembered;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(remembered.Of(stamp, header.Reader()), machine);
        EXPECT_EQ(header.reads, 1);
    }
}

TEST(RememberedMachine, AnyChangeOfTheFileReadsItAgain)
{
    const FileStamp before{4096, 10, 20};
    const struct {
        const char* name;
        FileStamp after;
    } cases[] = {
        {"another size", {4097, 10, 20}},
        {"created again", {4096, 11, 20}},
        {"written", {4096, 10, 21}},
    };
    for (const auto& c : cases) {
        Header header{MachineAmd64};
        RememberedMachine remembered;
        EXPECT_EQ(remembered.Of(before, header.Reader()), MachineAmd64) << c.name;
        header.machine = MachineI386;
        EXPECT_EQ(remembered.Of(c.after, header.Reader()), MachineI386) << c.name;
        EXPECT_EQ(remembered.Of(c.after, header.Reader()), MachineI386) << c.name;
        EXPECT_EQ(header.reads, 2) << c.name;
    }
}

}  // namespace
