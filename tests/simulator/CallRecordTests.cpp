#include <gtest/gtest.h>

#include "ReaderSimulator.h"

namespace {

// Calls one entry point after another, round the seven, `count` times in all.
void MakeCalls(const ReaderEntryPoints& e, uint32_t count)
{
    int32_t error = 0;
    for (uint32_t i = 0; i < count; ++i) {
        switch (i % SimEntryPointCount) {
        case SimInitializeLibrary: e.initialize_library(); break;
        case SimDisposeLibrary: e.dispose_library(); break;
        case SimOpenReaderWriterAuto: e.open_reader_writer_auto(); break;
        case SimCloseReaderWriter: e.close_reader_writer(); break;
        case SimPollingAndGetCardInformation: {
            uint8_t systemCode[2] = {0xFE, 0x00}, idm[8], pmm[8], cards = 0;
            TPolling_Param polling{systemCode, 0};
            TCard_Info info{idm, pmm};
            e.polling_and_get_card_information(&polling, &cards, &info);
            break;
        }
        case SimReadBlockWithoutEncryption: {
            uint8_t idm[8] = {}, service[2] = {0x0B, 0x11}, block[2] = {0x80, 0x00}, flag1, flag2, blocks, data[16];
            TRead_Param read{idm, 1, service, 1, block};
            TRead_Result result{&flag1, &flag2, &blocks, data};
            e.read_block_without_encryption(&read, &result);
            break;
        }
        default: e.get_last_error_type(&error); break;
        }
    }
}

// The simulator keeps the latest calls only: a host that reads against it for weeks must not
// grow with every call. The count goes on past them, and the calls kept are the latest, in order.
TEST(CallRecord, KeepsTheLatestCallsAndCountsAll)
{
    const ReaderEntryPoints e = SimulatorEntryPoints();
    const struct {
        const char* name;
        uint32_t calls;
    } cases[] = {
        {"fewer than are kept", 100},
        {"as many as are kept", SimRecordedCalls},
        {"three times as many and a few", 3 * SimRecordedCalls + 5},
    };
    for (const auto& c : cases) {
        sim_reset();
        MakeCalls(e, c.calls);
        EXPECT_EQ(sim_call_count(), static_cast<int32_t>(c.calls)) << c.name;
        const uint32_t oldestKept = c.calls > SimRecordedCalls ? c.calls - SimRecordedCalls : 0;
        SimCall call{};
        if (oldestKept > 0)
            EXPECT_EQ(sim_get_call(static_cast<int32_t>(oldestKept - 1), &call), 0) << c.name;
        for (uint32_t i : {oldestKept, oldestKept + 1, c.calls - 1}) {
            ASSERT_EQ(sim_get_call(static_cast<int32_t>(i), &call), 1) << c.name << ", call " << i;
            EXPECT_EQ(call.entryPoint, static_cast<int32_t>(i % SimEntryPointCount)) << c.name << ", call " << i;
        }
        EXPECT_EQ(sim_get_call(static_cast<int32_t>(c.calls), &call), 0) << c.name;
        EXPECT_EQ(sim_get_call(-1, &call), 0) << c.name;
    }
    sim_reset();
}

}  // namespace
