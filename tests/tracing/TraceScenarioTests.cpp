#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "../simulator/ScriptText.h"
#include "CardRead.h"
#include "ReaderSimulator.h"
#include "Scenario.h"
#include "TraceScenario.h"
#include "TraceTable.h"
#include "TraceText.h"

namespace {

using namespace trace_text;

std::string Sample(const std::string& name)
{
    std::ifstream file(std::string(NORVANE_SAMPLES) + "/scenarios/" + name);
    EXPECT_TRUE(file) << name;
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<SimScript> Steps(const std::string& scenario)
{
    std::vector<SimScript> steps;
    std::string error;
    EXPECT_TRUE(ParseScenario(scenario, steps, error)) << error << "\n" << scenario;
    return steps;
}

// The steps of the scenario the trace becomes; none when it is refused.
std::vector<std::string> Replayed(const std::string& trace)
{
    const TraceReplay replay = ScenarioFromTrace(trace);
    EXPECT_TRUE(replay.scenario) << replay.error;
    return replay.scenario ? ScriptTexts(Steps(*replay.scenario)) : std::vector<std::string>{};
}

std::string Utf8(std::u16string_view text)
{
    std::string utf8;
    for (const char16_t c : text) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | c >> 6);
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | c >> 12);
            utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

// The five reads of the shipped session, traced, give back the session's five steps.
TEST(ScenarioFromTrace, EachReadBecomesAStep)
{
    const std::string trace = GoodRead() + NoCardRead() + OpenFailsRead(1028) + NotReadRead() +
                              GoodRead({}, "012E4C7A9B3D2219", "00002160987654321098000000000000");
    const TraceReplay replay = ScenarioFromTrace(trace);
    ASSERT_TRUE(replay.scenario) << replay.error;
    EXPECT_TRUE(replay.warnings.empty()) << replay.warnings.front();
    EXPECT_EQ(ScriptTexts(Steps(*replay.scenario)), ScriptTexts(Steps(Sample("session.txt")))) << *replay.scenario;
}

// A read is one thread's calls from its initialize_library on, however the lines of two
// callers interleave; the same thread number in another process is another caller.
TEST(ScenarioFromTrace, ReadsAreTheirCallersOwn)
{
    const auto lines = [](const std::string& text) {
        std::vector<std::string> split;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            split.push_back(line + "\n");
        return split;
    };
    for (const Caller other : {Caller{8, 2, 4242}, Caller{7, 2, 5000}}) {
        const std::vector<std::string> first = lines(OpenFailsRead(1028)), second = lines(NoCardRead(other));
        std::string trace;
        for (size_t i = 0; i < std::max(first.size(), second.size()); ++i)
            trace += (i < first.size() ? first[i] : "") + (i < second.size() ? second[i] : "");
        const std::string expected = "fail open 1028\nstep\ncard no\n";
        EXPECT_EQ(Replayed(trace), ScriptTexts(Steps(expected))) << trace;
    }
}

// A call that the tracing library could not forward wrote nothing: the replay writes nothing either.
TEST(ScenarioFromTrace, AnUnforwardedCallWritesNothing)
{
    const json unforwarded = {{"error", "no library to stand in for"}};
    const std::string trace = Line("initialize_library", 0, unforwarded) + Line("get_last_error_type", 0, unforwarded) +
                              Line("initialize_library", 1) + Line("polling_and_get_card_information", 0, unforwarded) +
                              LastError(1036);
    EXPECT_EQ(Replayed(trace),
              ScriptTexts(Steps("fail initialize 1001\nfail lasterror 1001\nsilent lasterror\n"
                                "step\nfail poll 1036\nsilent poll\n")));
}

// The control's reads over the simulator, traced as the tracing library traces them.
std::string traced;

void Trace(const char* call, ReaderResult result, const json& fields = json::object())
{
    traced += Line(call, result, fields);
}

std::string Hex(const uint8_t* bytes, size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (size_t i = 0; i < count; ++i)
        hex += {digits[bytes[i] >> 4], digits[bytes[i] & 15]};
    return hex;
}

ReaderResult READER_CALL TracedInitialize()
{
    const ReaderResult result = SimulatorEntryPoints().initialize_library();
    Trace("initialize_library", result);
    return result;
}
ReaderResult READER_CALL TracedDispose()
{
    const ReaderResult result = SimulatorEntryPoints().dispose_library();
    Trace("dispose_library", result);
    return result;
}
ReaderResult READER_CALL TracedOpen()
{
    const ReaderResult result = SimulatorEntryPoints().open_reader_writer_auto();
    Trace("open_reader_writer_auto", result);
    return result;
}
ReaderResult READER_CALL TracedClose()
{
    const ReaderResult result = SimulatorEntryPoints().close_reader_writer();
    Trace("close_reader_writer", result);
    return result;
}
ReaderResult READER_CALL TracedPoll(TPolling_Param* polling, uint8_t* cards, TCard_Info* info)
{
    const ReaderResult result = SimulatorEntryPoints().polling_and_get_card_information(polling, cards, info);
    Trace("polling_and_get_card_information", result,
          {{"cards", *cards}, {"idm", Hex(info->card_idm, 8)}, {"pmm", Hex(info->card_pmm, 8)}});
    return result;
}
ReaderResult READER_CALL TracedRead(TRead_Param* read, TRead_Result* out)
{
    const ReaderResult result = SimulatorEntryPoints().read_block_without_encryption(read, out);
    Trace("read_block_without_encryption", result,
          {{"idm", Hex(read->card_idm, 8)}, {"status_flag_1", *out->status_flag_1},
           {"status_flag_2", *out->status_flag_2}, {"blocks", *out->result_number_of_blocks},
           {"block_data", Hex(out->block_data, 16)}});
    return result;
}
ReaderResult READER_CALL TracedLastError(int32_t* code)
{
    const ReaderResult result = SimulatorEntryPoints().get_last_error_type(code);
    Trace("get_last_error_type", result, {{"error_code", *code}});
    return result;
}

ReaderEntryPoints TracedSimulator()
{
    return {TracedInitialize, TracedDispose, TracedOpen, TracedClose, TracedPoll, TracedRead, TracedLastError};
}

struct Session {
    std::string trace;
    std::vector<TCard_Data> cards;
};

Session ReadSession(const std::vector<SimScript>& steps, size_t reads)
{
    sim_reset();
    SimulatorFollowSteps(steps);
    traced.clear();
    Session session;
    for (size_t i = 0; i < reads; ++i) {
        session.cards.emplace_back();
        ReadCard(TracedSimulator, u"EDY", session.cards.back());
    }
    session.trace = traced;
    return session;
}

// A session of reads with every outcome, traced and made into a scenario, replays call for
// call: the control's reads over the replay trace the same lines, and end the same.
TEST(ScenarioFromTrace, ReplaysWhatTheControlSaw)
{
    const std::string more = "\nstep\ncard no\nfail close 1029\n"              // a failing close replaces "no card"
                             "step\nfail initialize 1026\nsilent lasterror\n"  // no code: the control's preset
                             "step\nresult open 7\ncard 2\nfail dispose -3\n"
                             "step\nfail read 1040\nstatus 1\nfail close 1029\n";  // two failures, one code
    const std::vector<SimScript> steps = Steps(Sample("session.txt") + more);
    const Session traced = ReadSession(steps, steps.size() + 1);

    const TraceReplay replay = ScenarioFromTrace(traced.trace);
    ASSERT_TRUE(replay.scenario) << replay.error;
    EXPECT_TRUE(replay.warnings.empty()) << replay.warnings.front();
    const Session replayed = ReadSession(Steps(*replay.scenario), steps.size() + 1);
    EXPECT_EQ(replayed.trace, traced.trace) << *replay.scenario;

    // The table gives each read the control's own message.
    const std::vector<std::string> blocks = TableBlocks(TraceTable(traced.trace).table);
    ASSERT_EQ(blocks.size(), traced.cards.size());
    for (size_t i = 0; i < traced.cards.size(); ++i) {
        const TCard_Data& card = replayed.cards[i];
        EXPECT_EQ(card.C_Error, traced.cards[i].C_Error) << "read " << i + 1;
        EXPECT_EQ(card.Err_Mes, traced.cards[i].Err_Mes) << "read " << i + 1;
        EXPECT_EQ(card.IDm, traced.cards[i].IDm) << "read " << i + 1;
        EXPECT_EQ(card.card_ID, traced.cards[i].card_ID) << "read " << i + 1;
        const std::string outcome = card.C_Error ? "  fails: " + Utf8(card.Err_Mes) + "\n" : "  the card is read\n";
        EXPECT_TRUE(blocks[i].ends_with(outcome)) << "read " << i + 1 << ":\n" << blocks[i];
    }
}

TEST(ScenarioFromTrace, RefusesWhatItCannotReplay)
{
    const std::string goodRead = GoodRead();
    const std::string initialize = Line("initialize_library", 1);
    std::string tooMany;
    for (size_t i = 0; i <= MaxScenarioSteps; ++i)
        tooMany += initialize;
    const struct {
        const char* name;
        std::string trace;
        const char* error;
    } cases[] = {
        {"level 1", GoodRead() + NoCardRead({7, 1}),
         "line 7: traced at level 1, which masks the IDm and the block data that a replay needs"},
        {"not JSON", Line("initialize_library", 1) + "{\"format\":1,\n" + Line("dispose_library", 1),
         "line 2: not JSON"},
        {"a newer format", Line("initialize_library", 1, {{"format", 2}}),
         "line 1: format 2, made by a newer version of the tracing library (this one reads format 1)"},
        {"a format that is no number", Line("initialize_library", 1, {{"format", "1"}}),
         "line 1: \"format\" is not a format number"},
        {"a stop of another kind", "{\"format\":1,\"trace\":\"paused\"}\n", "line 1: \"trace\" is not \"stopped\""},
        {"no process", Without(Line("initialize_library", 1), "process"), "line 1: lacks \"process\""},
        {"a process that is no number", Line("initialize_library", 1, {{"process", nullptr}}),
         "line 1: \"process\" is not a whole number"},
        {"no call", Without(Line("initialize_library", 1), "call"), "line 1: lacks \"call\""},
        {"a call of no entry point", Line("initialize_library", 1) + Line("format_disk", 1),
         "line 2: \"call\" names no entry point of the reader library"},
        {"a negative result", Line("initialize_library", 1, {{"result", -1}}), "line 1: \"result\" is not a whole number from 0 to 4294967295"},
        {"a result too large", Line("initialize_library", 1, {{"result", 4294967296}}), "line 1: \"result\" is not"},
        {"a level of none", Line("initialize_library", 1, {{"level", 3}}), "line 1: \"level\" is neither 1 nor 2"},
        {"a time of another shape", Line("initialize_library", 1, {{"time", "\x1b[2J"}}), "line 1: \"time\" is not a time"},
        {"cards out of range", Line("initialize_library", 1) + Line("polling_and_get_card_information", 1, {{"cards", 256}}),
         "line 2: \"cards\" is not a whole number from 0 to 255"},
        {"no card count", Line("initialize_library", 1) + Line("polling_and_get_card_information", 1),
         "line 2: polling_and_get_card_information lacks \"cards\", which the replay needs"},
        {"no IDm", Line("initialize_library", 1) + Line("polling_and_get_card_information", 1, {{"cards", 1}}),
         "line 2: polling_and_get_card_information lacks \"idm\""},
        {"an IDm cut short", Line("initialize_library", 1) + Poll(1, "012E4C7A9B3D11"), "line 2: \"idm\" is not 16 hex digits"},
        {"an IDm masked at level 2", Line("initialize_library", 1) + Poll(1, "************1108"),
         "line 2: \"idm\" is masked"},
        {"no status flag 2", Line("initialize_library", 1) + Line("read_block_without_encryption", 1, {{"status_flag_1", 0}}),
         "line 2: read_block_without_encryption lacks \"status_flag_2\""},
        {"no block", Line("initialize_library", 1) +
                         Line("read_block_without_encryption", 1, {{"status_flag_1", 0}, {"status_flag_2", 0}}),
         "line 2: read_block_without_encryption lacks \"block_data\""},
        {"no error code", Line("initialize_library", 0) + Line("get_last_error_type", 1),
         "line 2: get_last_error_type lacks \"error_code\""},
        {"an error code too large", Line("initialize_library", 0) + Line("get_last_error_type", 1, {{"error_code", 2147483648}}),
         "line 2: \"error_code\" is not a 32-bit whole number"},
        {"two card counts in one read", Line("initialize_library", 1) + Poll(1) + Poll(0),
         "line 3: the read needs \"card no\" here and \"card yes\" at line 2: one step of a scenario cannot give both"},
        {"two codes for one failure", Line("initialize_library", 1) + Line("open_reader_writer_auto", 0) + LastError(1028) +
                                          Line("open_reader_writer_auto", 0) + LastError(1027),
         "line 5: the read needs \"code open 1027\" here and \"code open 1028\" at line 3"},
        {"a code with no failure before it", goodRead + Line("initialize_library", 1) + LastError(1028),
         "line 8: get_last_error_type gives 1028 though no call of its read failed before it; replayed, it would give 1000"},
        {"no read", "", "the trace holds no read"},
        {"no read begun", Poll(1) + "{\"format\":1,\"trace\":\"stopped\",\"reason\":\"disk full\"}\n",
         "the trace holds no read: no call of initialize_library"},
        {"too many reads", tooMany, "the trace holds 10001 reads, and a scenario at most 10000 steps"},
    };
    for (const auto& c : cases) {
        const TraceReplay replay = ScenarioFromTrace(c.trace);
        EXPECT_FALSE(replay.scenario) << c.name << ":\n" << replay.scenario.value_or("");
        EXPECT_NE(replay.error.find(c.error), std::string::npos) << c.name << ": " << replay.error;
    }
}

// What a reader may pass over is passed over, said in a warning that names the line, and the
// reads around it replay as they would without it.
TEST(ScenarioFromTrace, PassesOverWhatItMay)
{
    const std::string good = GoodRead(), noCard = NoCardRead();
    const std::vector<std::string> clean = Replayed(good + noCard);
    const struct {
        const char* name;
        std::string trace;
        const char* warning;  // empty: none
    } cases[] = {
        {"a foreign line", good + "{\"note\":\"reader replaced\"}\n" + noCard,
         "line 7: not a line of a trace (no \"format\"), passed over"},
        {"a foreign value", good + "[1,2,3]\n" + noCard, "line 7: not a line of a trace"},
        {"a last line cut short", good + noCard + noCard.substr(0, 40),
         "line 12: cut short (the trace was still being written), passed over"},
        {"the end of the trace", good + "{\"format\":1,\"time\":\"2026-12-11T07:00:01Z\",\"trace\":\"stopped\"}\n" + noCard, ""},
        {"blank lines and CR LF", good + "\r\n  \n" + noCard.substr(0, noCard.find('\n')) + "\r\n" +
                                      noCard.substr(noCard.find('\n') + 1), ""},
        {"calls before the first initialize", Poll(0, Idm, {9}) + good + noCard,
         "line 1: polling_and_get_card_information and the calls after it on its thread come before any "
         "initialize_library of that thread: no read of the scenario replays them"},
        {"reads of two processes", good + NoCardRead({7, 2, 1}), "the trace holds reads of 2 processes"},
        {"more blocks than the simulator gives",
         good.substr(0, good.find("\"blocks\":1")) + "\"blocks\":2" + good.substr(good.find("\"blocks\":1") + 10) + noCard,
         "line 4: the library read 2 blocks; the simulator gives 1 with status flag 1 at 0"},
    };
    for (const auto& c : cases) {
        const TraceReplay replay = ScenarioFromTrace(c.trace);
        ASSERT_TRUE(replay.scenario) << c.name << ": " << replay.error;
        EXPECT_EQ(ScriptTexts(Steps(*replay.scenario)), clean) << c.name;
        if (*c.warning) {
            ASSERT_EQ(replay.warnings.size(), 1u) << c.name;
            EXPECT_NE(replay.warnings[0].find(c.warning), std::string::npos) << c.name << ": " << replay.warnings[0];
        } else {
            EXPECT_TRUE(replay.warnings.empty()) << c.name << ": " << replay.warnings.front();
        }
    }
}

}  // namespace
