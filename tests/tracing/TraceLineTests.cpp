// Forming a trace line: its exact text, the time, and what level 1 hides.
#include <gtest/gtest.h>

#include <cstring>

#include "CallFields.h"
#include "TraceLine.h"

namespace {

const uint8_t Idm[8] = {0x01, 0x2E, 0x4C, 0x7A, 0x9B, 0x3D, 0x11, 0x08};
const uint8_t Pmm[8] = {0x03, 0x01, 0x4B, 0x02, 0x4F, 0x49, 0x93, 0xFF};
const uint8_t Block[16] = {0x00, 0x00, 0x21, 0x60, 0x01, 0x23, 0x45, 0x67, 0x89, 0x01};

LineStamp Stamp(int level)
{
    LineStamp stamp;
    stamp.fileTime = 134414460001234567;  // 2026-12-11T07:00:00.1234567Z
    stamp.process = 4242;
    stamp.thread = 77;
    stamp.level = level;
    return stamp;
}

TEST(TraceLine, TimeIsUtcToTheMicrosecond)
{
    const struct {
        uint64_t fileTime;
        const char* text;
    } cases[] = {
        {0, "1601-01-01T00:00:00.000000Z"},
        {116444736000000000, "1970-01-01T00:00:00.000000Z"},
        {134414460001234567, "2026-12-11T07:00:00.123456Z"},  // the tenth of a microsecond is cut
        {133537247999999990, "2024-02-29T23:59:59.999999Z"},
        {125963012960000070, "2000-02-29T12:34:56.000007Z"},
        {157520160000000000, "2100-03-01T00:00:00.000000Z"},  // 2100 has no 29 February
    };
    for (const auto& c : cases)
        EXPECT_EQ(UtcTimeText(c.fileTime), c.text) << c.fileTime;
}

TEST(TraceLine, APollAtLevelTwoKeepsEverything)
{
    uint8_t systemCode[2] = {0xFE, 0x00};
    TPolling_Param polling{systemCode, 3};
    uint8_t cards = 1, idm[8], pmm[8];
    std::memcpy(idm, Idm, 8);
    std::memcpy(pmm, Pmm, 8);
    TCard_Info info{idm, pmm};
    TraceFields fields = PollInputs(&polling);
    AddPollOutputs(fields, 2, &cards, &info);
    EXPECT_EQ(CallLine(Stamp(2), "polling_and_get_card_information", 1, 812, fields),
              "{\"format\":1,\"time\":\"2026-12-11T07:00:00.123456Z\",\"process\":4242,\"thread\":77,\"level\":2,"
              "\"call\":\"polling_and_get_card_information\",\"result\":1,\"us\":812,\"system_code\":\"FE00\","
              "\"time_slot\":3,\"cards\":1,\"idm\":\"012E4C7A9B3D1108\",\"pmm\":\"03014B024F4993FF\"}\n");
}

TEST(TraceLine, ABlockReadAtLevelOneHidesTheIdmAndTheCardNumber)
{
    uint8_t idm[8], services[2] = {0x0B, 0x11}, blocks[2] = {0x80, 0x00}, data[16];
    std::memcpy(idm, Idm, 8);
    std::memcpy(data, Block, 16);
    uint8_t flag1 = 0, flag2 = 0, count = 1;
    TRead_Param read{idm, 1, services, 1, blocks};
    TRead_Result result{&flag1, &flag2, &count, data};
    TraceFields fields = ReadInputs(1, &read);
    AddReadOutputs(fields, 1, &result);
    const std::string line = CallLine(Stamp(1), "read_block_without_encryption", 1, 5, fields);
    EXPECT_EQ(line,
              "{\"format\":1,\"time\":\"2026-12-11T07:00:00.123456Z\",\"process\":4242,\"thread\":77,\"level\":1,"
              "\"call\":\"read_block_without_encryption\",\"result\":1,\"us\":5,\"idm\":\"************1108\","
              "\"services\":\"0B11\",\"block_list\":\"8000\",\"status_flag_1\":0,\"status_flag_2\":0,\"blocks\":1,"
              "\"block_data\":\"****************8901************\"}\n");

    // The same read at level 2, for a replay.
    TraceFields kept = ReadInputs(2, &read);
    AddReadOutputs(kept, 2, &result);
    EXPECT_NE(CallLine(Stamp(2), "read_block_without_encryption", 1, 5, kept)
                  .find("\"idm\":\"012E4C7A9B3D1108\",\"services\":\"0B11\",\"block_list\":\"8000\","
                        "\"status_flag_1\":0,\"status_flag_2\":0,\"blocks\":1,"
                        "\"block_data\":\"00002160012345678901000000000000\"}"),
              std::string::npos);
}

TEST(TraceLine, TheErrorCodeIsSigned)
{
    TraceFields fields;
    const int32_t code = -2147483647 - 1;
    AddErrorCode(fields, &code);
    EXPECT_EQ(fields.Formed(), ",\"error_code\":-2147483648");
}

// A caller's null pointer leaves the field out instead of being read.
TEST(TraceLine, NullPointersLeaveFieldsOut)
{
    TPolling_Param noCode{nullptr, 5};
    EXPECT_EQ(PollInputs(nullptr).Formed(), "");
    EXPECT_EQ(PollInputs(&noCode).Formed(), ",\"time_slot\":5");

    TraceFields poll;
    TCard_Info noBuffers{nullptr, nullptr};
    AddPollOutputs(poll, 2, nullptr, &noBuffers);
    AddPollOutputs(poll, 2, nullptr, nullptr);
    EXPECT_EQ(poll.Formed(), "");

    TRead_Param noLists{nullptr, 200, nullptr, 200, nullptr};
    EXPECT_EQ(ReadInputs(2, &noLists).Formed(), "");
    EXPECT_EQ(ReadInputs(2, nullptr).Formed(), "");

    TraceFields read;
    uint8_t flag = 0xA6;
    TRead_Result partial{&flag, nullptr, nullptr, nullptr};
    AddReadOutputs(read, 2, &partial);
    AddReadOutputs(read, 2, nullptr);
    AddErrorCode(read, nullptr);
    EXPECT_EQ(read.Formed(), ",\"status_flag_1\":166");
}

// The lists are as long as their counts say, up to the 255 elements a count can name.
TEST(TraceLine, ListsAreAsLongAsTheirCounts)
{
    uint8_t services[510], blocks[510];
    for (size_t i = 0; i < sizeof services; ++i)
        services[i] = blocks[i] = static_cast<uint8_t>(i);
    TRead_Param read{nullptr, 255, services, 2, blocks};
    const std::string formed = ReadInputs(2, &read).Formed();
    EXPECT_NE(formed.find(",\"services\":\"000102"), std::string::npos);
    EXPECT_NE(formed.find("FBFCFD\",\"block_list\":\"00010203\""), std::string::npos);
    EXPECT_EQ(formed.size(), std::strlen(",\"services\":\"\",\"block_list\":\"\"") + 4 * 255 + 4 * 2);
}

TEST(TraceLine, AStoppedLineSaysWhyInValidJson)
{
    EXPECT_EQ(StoppedLine(Stamp(1), "the trace cannot be written (error 112)"),
              "{\"format\":1,\"time\":\"2026-12-11T07:00:00.123456Z\",\"process\":4242,\"thread\":77,\"level\":1,"
              "\"trace\":\"stopped\",\"reason\":\"the trace cannot be written (error 112)\"}\n");
    const std::string odd = StoppedLine(Stamp(1), std::string("a \"b\"\\c\n\x01", 10));
    EXPECT_NE(odd.find("\"reason\":\"a \\\"b\\\"\\\\c\\u000A\\u0001\\u0000\"}\n"), std::string::npos) << odd;
}

}  // namespace
