// A read through the installed simulator DLL: the records cross into a separately
// built 32-bit library exactly as laid out, with the cdecl convention.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "../../support/HeapInUse.h"
#include "../../support/SimulatorDll.h"

namespace {

TEST(ReaderLibraryRecords, ReachTheLibraryByteForByte)
{
    std::filesystem::remove_all(ReaderLibraryPaths[1]);
    InstallSimulator(ReaderLibraryPaths[0]);
    TCard_Data card;
    ReadCard(u"EDY", card);
    ReadCard(u"edy", card);
    const auto callCount = SimulatorExport<int32_t (*)()>("sim_call_count");
    const auto getCall = SimulatorExport<int32_t (*)(int32_t, SimCall*)>("sim_get_call");
    ASSERT_TRUE(callCount && getCall);
    ASSERT_EQ(callCount(), 12);

    const uint8_t idm[8] = {0x01, 0x2E, 0x4C, 0x7A, 0x9B, 0x3D, 0x11, 0x08};
    const uint8_t zeros[16] = {};
    const struct {
        int32_t index;
        uint8_t serviceLow, serviceHigh;
    } reads[] = {{3, 0x0B, 0x11}, {9, 0x8B, 0x1A}};
    for (const auto& r : reads) {
        SimCall poll{}, read{};
        ASSERT_TRUE(getCall(r.index - 1, &poll) && getCall(r.index, &read));
        ASSERT_EQ(poll.entryPoint, SimPollingAndGetCardInformation);
        EXPECT_EQ(poll.systemCode[0], 0xFE);
        EXPECT_EQ(poll.systemCode[1], 0x00);
        EXPECT_EQ(poll.timeSlot, 0);
        EXPECT_EQ(poll.numberOfCardsIn, 0);
        ASSERT_EQ(read.entryPoint, SimReadBlockWithoutEncryption);
        EXPECT_EQ(0, std::memcmp(read.idm, idm, 8));
        EXPECT_EQ(read.numberOfServices, 1);
        EXPECT_EQ(read.serviceCodeList[0], r.serviceLow);
        EXPECT_EQ(read.serviceCodeList[1], r.serviceHigh);
        EXPECT_EQ(read.numberOfBlocks, 1);
        EXPECT_EQ(read.blockList[0], 0x80);
        EXPECT_EQ(read.blockList[1], 0x00);
        EXPECT_EQ(0, std::memcmp(read.blockDataIn, zeros, 16));
    }
    EXPECT_EQ(card.card_ID, std::u16string(u"\0\0\x21\x60\x01\x23\x45\x67\x89\x01", 10));
    EXPECT_EQ(card.IDm, (std::u16string{0x01, 0x2E, 0x4C, 0x7A, 0x9B, 0x3D, 0x11, 0x08}));
}

// The simulator as installed, read through for long (no test hook called): its memory must not
// grow with the number of reads, as a kiosk demo or a soak test would make it.
TEST(ReaderLibraryRecords, ManyReadsDoNotGrowTheSimulator)
{
    if (LoadedReaderLibrary() == "none") {  // (a loaded library cannot be replaced)
        std::filesystem::remove_all(ReaderLibraryPaths[1]);
        InstallSimulator(ReaderLibraryPaths[0]);
    }
    TCard_Data card;
    for (int i = 0; i < 1000; ++i)  // past the calls the simulator keeps
        ReadCard(u"EDY", card);
    const size_t before = HeapInUse();
    for (int i = 0; i < 20000; ++i)
        ReadCard(u"EDY", card);
    const size_t after = HeapInUse();
    EXPECT_EQ(card.card_ID, u"2160012345678901");
    EXPECT_LT(after, before + 64 * 1024) << "grew by " << after - before << " bytes over 20000 reads";
}

}  // namespace
