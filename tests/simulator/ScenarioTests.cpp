#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "ReaderSimulator.h"
#include "Scenario.h"

namespace {

TEST(Scenario, LinesSetTheScript)
{
    SimScript script = DefaultSimulatorScript();
    std::string error;
    ASSERT_TRUE(ParseScenario("# a comment\n\ncard no   # none answers\n"
                              "idm 00 11 22 33 44 55 66 77\n"
                              "block 31 32 33\n"
                              "status 5\n"
                              "fail close 1029\n",
                              script, error))
        << error;
    EXPECT_EQ(script.numberOfCards, 0);
    const uint8_t idm[8] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    EXPECT_EQ(0, std::memcmp(script.idm, idm, 8));
    EXPECT_EQ(script.blockData[0], 0x31);
    EXPECT_EQ(script.blockData[3], 0x00) << "the rest of the block is zero";
    EXPECT_EQ(script.statusFlag1, 5);
    EXPECT_EQ(script.results[SimCloseReaderWriter], 0u);
    EXPECT_EQ(script.errorCodes[SimCloseReaderWriter], 1029);
    EXPECT_EQ(script.results[SimOpenReaderWriterAuto], 1u);
}

TEST(Scenario, WhatIsNotUnderstoodNamesItsLine)
{
    const char* wrong[] = {"card maybe", "idm 01 02", "idm 01 02 03 04 05 06 07 08 09", "block",
                           "block 1FF",  "status 256", "fail explode 1000", "fail open", "status 0 extra",
                           "teleport"};
    for (const char* line : wrong) {
        SimScript script = DefaultSimulatorScript();
        std::string error;
        EXPECT_FALSE(ParseScenario(std::string("card yes\n") + line + "\n", script, error)) << line;
        EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
    }
}

TEST(Scenario, TheShippedSamplesAreUnderstood)
{
    for (const char* name : {"edy-card.txt", "no-card.txt", "reader-unplugged.txt"}) {
        std::ifstream file(std::string(NORVANE_SAMPLES) + "/scenarios/" + name);
        ASSERT_TRUE(file) << name;
        std::stringstream text;
        text << file.rdbuf();
        SimScript script = DefaultSimulatorScript();
        std::string error;
        EXPECT_TRUE(ParseScenario(text.str(), script, error)) << name << ": " << error;
    }
}

}  // namespace
