#include <gtest/gtest.h>

#include "TraceTable.h"
#include "TraceText.h"

namespace {

using namespace trace_text;

TEST(TraceTable, ShowsEachReadWithTheControlsMessage)
{
    const json unforwarded = {{"error", "no library to stand in for"}};
    const struct {
        const char* name;
        std::string read;
        std::string outcome;
    } cases[] = {
        {"a good read", GoodRead(), "the card is read"},
        {"no card", NoCardRead(), "fails: カードが読み取れません"},
        {"a failing open", OpenFailsRead(1028), "fails: リーダ／ライタを自動認識できません (0x404)"},
        {"status flag 1", NotReadRead(), "fails: IDが読み取れません"},
        {"a failing close after no card",
         Line("initialize_library", 1) + Line("open_reader_writer_auto", 1) + Poll(0) + Line("close_reader_writer", 0) +
             LastError(1029) + Line("dispose_library", 1),
         "fails: リーダ／ライタがオープンされていません (0x405)"},
        {"no library", Line("initialize_library", 0, unforwarded) + Line("get_last_error_type", 0, unforwarded),
         "fails: 未定義のエラーです (0x3e9)"},
        {"a code outside the table", OpenFailsRead(-3), "fails: Error Code=-3"},
        {"a block read not forwarded",
         Line("initialize_library", 1) + Line("open_reader_writer_auto", 1) + Poll(1) +
             Line("read_block_without_encryption", 0, unforwarded),
         "fails: IDが読み取れません"},
        {"a failure with no code after it", Line("initialize_library", 1) + Line("open_reader_writer_auto", 0),
         "fails: open_reader_writer_auto failed, and no get_last_error_type follows to give its code"},
        {"no block read", Line("initialize_library", 1) + Line("dispose_library", 1), "nothing failed"},
    };
    std::string trace;
    for (const auto& c : cases)
        trace += c.read;
    const TraceShown shown = TraceTable(trace);
    EXPECT_TRUE(shown.warnings.empty()) << shown.warnings.front();
    const std::vector<std::string> blocks = TableBlocks(shown.table);
    ASSERT_EQ(blocks.size(), std::size(cases)) << shown.table;
    for (size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(blocks[i].rfind("read " + std::to_string(i + 1) + ": process 4242, thread 7, ", 0), 0u) << blocks[i];
        EXPECT_TRUE(blocks[i].ends_with("\n  " + cases[i].outcome + "\n")) << cases[i].name << ":\n" << blocks[i];
    }
    EXPECT_EQ(blocks[0],
              "read 1: process 4242, thread 7, 2026-12-11T07:00:00.123456Z (line 1)\n"
              "  call                                  result        us  outputs\n"
              "  initialize_library                         1        15\n"
              "  open_reader_writer_auto                    1        15\n"
              "  polling_and_get_card_information           1        15  cards 1, idm 012E4C7A9B3D1108, pmm 03014B024F4993FF\n"
              "  read_block_without_encryption              1        15  status flags 0 0, blocks 1, block "
              "00002160012345678901000000000000\n"
              "  close_reader_writer                        1        15\n"
              "  dispose_library                            1        15\n"
              "  the card is read\n");
    EXPECT_NE(blocks[5].find("  initialize_library                         0        15  not forwarded: no library "
                             "to stand in for\n"),
              std::string::npos)
        << blocks[5];
}

// Callers apart, each read where it began, the end of the trace where it stands; texts from the
// trace never reach the terminal as control characters.
TEST(TraceTable, ShowsCallersApartAndTheEndOfTheTrace)
{
    const std::string stop =
        "{\"format\":1,\"time\":\"2026-12-11T07:00:02Z\",\"trace\":\"stopped\",\"reason\":\"\\u001b[2Jdisk \\u009b full\"}\n";
    const std::string trace = Poll(1, Idm, {9}) + Line("initialize_library", 1) + Line("initialize_library", 1, {}, {8}) +
                              Line("open_reader_writer_auto", 0) + Poll(0, Idm, {8, 1}) + LastError(1028) + stop +
                              Line("dispose_library", 1, {}, {8});
    const TraceShown shown = TraceTable(trace);
    EXPECT_TRUE(shown.warnings.empty()) << shown.warnings.front();
    const std::vector<std::string> blocks = TableBlocks(shown.table);
    ASSERT_EQ(blocks.size(), 4u) << shown.table;
    EXPECT_EQ(blocks[0].rfind("calls before any initialize_library: process 4242, thread 9, ", 0), 0u) << blocks[0];
    EXPECT_EQ(blocks[1].rfind("read 1: process 4242, thread 7, ", 0), 0u) << blocks[1];
    EXPECT_TRUE(blocks[1].ends_with("  fails: リーダ／ライタを自動認識できません (0x404)\n")) << blocks[1];
    EXPECT_EQ(blocks[2].rfind("read 2: process 4242, thread 8, ", 0), 0u) << blocks[2];
    EXPECT_NE(blocks[2].find("cards 0, idm 0000000000000000"), std::string::npos) << blocks[2];
    EXPECT_NE(blocks[2].find("dispose_library"), std::string::npos) << blocks[2];
    EXPECT_EQ(blocks[3], "trace stopped, 2026-12-11T07:00:02Z: ?[2Jdisk ? full (line 7)\n");

    const std::string masked = TraceTable(GoodRead({7, 1}, "************1108")).table;
    EXPECT_NE(masked.find("idm ************1108"), std::string::npos) << masked;
}

// A wrong line is named and passed over; the reads around it are still shown whole.
TEST(TraceTable, NamesBadLinesAndGoesOn)
{
    const std::string good = GoodRead();
    const size_t third = good.find('\n', good.find('\n') + 1) + 1;
    const struct {
        const char* name;
        std::string line;
        const char* warning;
    } cases[] = {
        {"not JSON", "initialize_library 1\n", "line 3: not JSON, passed over"},
        {"a newer format", Line("dispose_library", 1, {{"format", 7}}), "line 3: format 7, made by a newer version"},
        {"a foreign line", "{\"hello\":1}\n", "line 3: not a line of a trace (no \"format\"), passed over"},
        {"a level of none", Line("dispose_library", 1, {{"level", 0}}), "line 3: \"level\" is neither 1 nor 2, passed over"},
        {"a call of no entry point", Line("format_disk", 1), "line 3: \"call\" names no entry point"},
        {"a block of another size", Line("read_block_without_encryption", 1, {{"block_data", "00"}}),
         "line 3: \"block_data\" is not 32 hex digits"},
        {"a duration that is none", Line("dispose_library", 1, {{"us", -4}}), "line 3: \"us\" is not a duration"},
    };
    for (const auto& c : cases) {
        const TraceShown shown = TraceTable(good.substr(0, third) + c.line + good.substr(third));
        ASSERT_EQ(shown.warnings.size(), 1u) << c.name;
        EXPECT_EQ(shown.warnings[0].find(c.warning), 0u) << c.name << ": " << shown.warnings[0];
        EXPECT_EQ(shown.table, TraceTable(good).table) << c.name;
    }
    const TraceShown cut = TraceTable(good + good.substr(0, 30));
    EXPECT_EQ(cut.warnings, std::vector<std::string>{"line 7: cut short (the trace was still being written), passed over"});
    EXPECT_EQ(TraceTable("").table, "the trace holds no call\n");
}

}  // namespace
