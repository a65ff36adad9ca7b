#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "ReaderSimulator.h"
#include "Scenario.h"
#include "ScriptText.h"

namespace {

using Change = std::function<void(SimScript&)>;

// The default script with each change, one step each.
std::vector<std::string> Expected(const std::vector<Change>& changes)
{
    std::vector<SimScript> steps;
    for (const Change& change : changes) {
        steps.push_back(DefaultSimulatorScript());
        change(steps.back());
    }
    return ScriptTexts(steps);
}

const Change Unchanged = [](SimScript&) {};

std::string File(const std::string& name)
{
    std::ifstream file(std::string(NORVANE_SAMPLES) + "/scenarios/" + name);
    EXPECT_TRUE(file) << name;
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(Scenario, LinesSetTheScript)
{
    std::vector<SimScript> steps;
    std::string error;
    ASSERT_TRUE(ParseScenario("# a comment\n\ncard no   # none answers\n"
                              "idm 00 11 22 33 44 55 66 77\n"
                              "pmm 88 99 AA BB CC DD EE ff\n"
                              "block 31 32 33\n"
                              "status 5\n"
                              "status2 161\n"
                              "fail close 1029\n"
                              "fail lasterror -7\n"
                              "result read 4294967295\n"
                              "silent poll\n",
                              steps, error))
        << error;
    ASSERT_EQ(steps.size(), 1u);
    const SimScript& script = steps[0];
    EXPECT_EQ(script.numberOfCards, 0);
    const uint8_t idm[8] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    const uint8_t pmm[8] = {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(0, std::memcmp(script.idm, idm, 8));
    EXPECT_EQ(0, std::memcmp(script.pmm, pmm, 8));
    EXPECT_EQ(script.blockData[0], 0x31);
    EXPECT_EQ(script.blockData[3], 0x00) << "the rest of the block is zero";
    EXPECT_EQ(script.statusFlag1, 5);
    EXPECT_EQ(script.statusFlag2, 161);
    EXPECT_EQ(script.results[SimCloseReaderWriter], 0u);
    EXPECT_EQ(script.errorCodes[SimCloseReaderWriter], 1029);
    EXPECT_EQ(script.results[SimGetLastErrorType], 0u);
    EXPECT_EQ(script.errorCodes[SimGetLastErrorType], -7);
    EXPECT_EQ(script.results[SimReadBlockWithoutEncryption], 4294967295u);
    EXPECT_EQ(script.results[SimOpenReaderWriterAuto], 1u);
    EXPECT_EQ(script.writesPollOutputs, 0);
    EXPECT_EQ(script.writesReadOutputs, 1);
    EXPECT_EQ(script.writesErrorCode, 1);

    for (const char* silent : {"silent read", "silent lasterror"}) {
        ASSERT_TRUE(ParseScenario(silent, steps, error)) << error;
        EXPECT_EQ(steps[0].writesReadOutputs + steps[0].writesErrorCode, 1) << silent;
    }
    ASSERT_TRUE(ParseScenario("card 3", steps, error)) << error;
    EXPECT_EQ(steps[0].numberOfCards, 3);
}

TEST(Scenario, WhatIsNotUnderstoodNamesItsLine)
{
    const char* wrong[] = {"card maybe", "card 256", "card -1", "idm 01 02", "idm 01 02 03 04 05 06 07 08 09",
                           "pmm 01 02 03 04 05 06 07", "block", "block 1FF", "status 256", "status2 256",
                           "status2", "status 1x", "fail explode 1000", "fail open", "fail open 2147483648",
                           "result poll -1", "result poll 4294967296", "result poll", "silent open",
                           "silent poll now", "status 0 extra", "step now", "teleport"};
    for (const char* line : wrong) {
        std::vector<SimScript> steps(2);
        std::string error;
        EXPECT_FALSE(ParseScenario(std::string("card yes\nstep\n") + line + "\n", steps, error)) << line;
        EXPECT_EQ(error.rfind("line 3: ", 0), 0u) << error;
        EXPECT_EQ(steps.size(), 2u) << "steps stay as they were: " << line;
    }
    std::string error;
    std::vector<SimScript> steps;
    EXPECT_FALSE(ParseScenario("card " + std::string(100000, '7'), steps, error));
    EXPECT_LT(error.size(), 200u) << "a long line is not echoed whole";
}

// Each step starts from the default script, whatever the step before it changed.
TEST(Scenario, StepsBeginFromTheDefault)
{
    const auto noCard = [](SimScript& s) { s.numberOfCards = 0; };
    const auto unplugged = [](SimScript& s) {
        s.results[SimOpenReaderWriterAuto] = 0;
        s.errorCodes[SimOpenReaderWriterAuto] = 1028;
    };
    const struct {
        const char* text;
        std::vector<Change> steps;
    } cases[] = {
        {"", {Unchanged}},
        {"card no", {noCard}},
        {"card no\nstep\nfail open 1028\n", {noCard, unplugged}},
        {"card no\r\n  step  # next\nstep\n", {noCard, Unchanged, Unchanged}},
        {"step\ncard no", {Unchanged, noCard}},
        {"card no\nstep\n", {noCard, Unchanged}},
    };
    for (const auto& c : cases) {
        std::vector<SimScript> steps;
        std::string error;
        ASSERT_TRUE(ParseScenario(c.text, steps, error)) << c.text << ": " << error;
        EXPECT_EQ(ScriptTexts(steps), Expected(c.steps)) << c.text;
    }
}

TEST(Scenario, TheStepsAreBounded)
{
    std::string steps;
    for (size_t i = 1; i < MaxScenarioSteps; ++i)
        steps += "step\n";
    std::vector<SimScript> parsed;
    std::string error;
    ASSERT_TRUE(ParseScenario(steps, parsed, error)) << error;
    EXPECT_EQ(parsed.size(), MaxScenarioSteps);

    std::string million;
    for (int i = 0; i < 1000000; ++i)
        million += "step\n";
    parsed.clear();
    EXPECT_FALSE(ParseScenario(million, parsed, error));
    EXPECT_EQ(error, "line 10000: more than 10000 steps, which is more than a scenario may hold");
    EXPECT_TRUE(parsed.empty());
}

TEST(Scenario, TheShippedSamplesAreUnderstood)
{
    const struct {
        const char* name;
        std::vector<Change> steps;
    } cases[] = {
        {"edy-card.txt", {Unchanged}},
        {"no-card.txt", {[](SimScript& s) { s.numberOfCards = 0; }}},
        {"reader-unplugged.txt",
         {[](SimScript& s) {
             s.results[SimOpenReaderWriterAuto] = 0;
             s.errorCodes[SimOpenReaderWriterAuto] = 1028;
         }}},
        {"session.txt",
         {Unchanged, [](SimScript& s) { s.numberOfCards = 0; },
          [](SimScript& s) {
              s.results[SimOpenReaderWriterAuto] = 0;
              s.errorCodes[SimOpenReaderWriterAuto] = 1028;
          },
          [](SimScript& s) {
              s.statusFlag1 = 255;
              s.statusFlag2 = 161;
          },
          [](SimScript& s) {
              const uint8_t idm[8] = {0x01, 0x2E, 0x4C, 0x7A, 0x9B, 0x3D, 0x22, 0x19};
              const uint8_t block[16] = {0x00, 0x00, 0x21, 0x60, 0x98, 0x76, 0x54, 0x32, 0x10, 0x98};
              std::memcpy(s.idm, idm, 8);
              std::memcpy(s.blockData, block, 16);
          }}},
    };
    for (const auto& c : cases) {
        std::vector<SimScript> steps;
        std::string error;
        ASSERT_TRUE(ParseScenario(File(c.name), steps, error)) << c.name << ": " << error;
        EXPECT_EQ(ScriptTexts(steps), Expected(c.steps)) << c.name;
    }
}

// The count of cards the poll gives, as the read with that number sees it.
uint8_t PolledCards(const ReaderEntryPoints& e, bool beginRead)
{
    if (beginRead)
        e.initialize_library();
    uint8_t systemCode[2] = {0xFE, 0x00}, idm[8], pmm[8], cards = 0xEE;
    TPolling_Param polling{systemCode, 0};
    TCard_Info info{idm, pmm};
    e.polling_and_get_card_information(&polling, &cards, &info);
    return cards;
}

// A read takes the next step when it begins, and only then; the last step repeats.
TEST(Scenario, EachReadTakesTheNextStep)
{
    const ReaderEntryPoints e = SimulatorEntryPoints();
    sim_reset();
    std::vector<SimScript> steps(3, DefaultSimulatorScript());
    for (size_t i = 0; i < steps.size(); ++i)
        steps[i].numberOfCards = static_cast<uint8_t>(10 + i);
    SimulatorFollowSteps(steps);

    std::vector<int> seen;
    seen.push_back(PolledCards(e, false));
    for (int read = 0; read < 5; ++read) {
        seen.push_back(PolledCards(e, true));
        seen.push_back(PolledCards(e, false));
    }
    EXPECT_EQ(seen, (std::vector<int>{10, 10, 10, 11, 11, 12, 12, 12, 12, 12, 12}));

    SimulatorFollowSteps(steps);
    EXPECT_EQ(PolledCards(e, true), 10) << "a new sequence starts at its first step";

    SimScript one = DefaultSimulatorScript();
    one.numberOfCards = 2;
    sim_set_script(&one);
    EXPECT_EQ(PolledCards(e, false), 2);
    EXPECT_EQ(PolledCards(e, true), 2) << "a script set alone repeats";
    EXPECT_EQ(PolledCards(e, true), 2);

    SimulatorFollowSteps(steps);
    sim_reset();
    EXPECT_EQ(PolledCards(e, true), 1) << "reset: the default script";
    EXPECT_EQ(PolledCards(e, true), 1);
    SimulatorFollowSteps({});
    EXPECT_EQ(PolledCards(e, true), 1);
}

}  // namespace
