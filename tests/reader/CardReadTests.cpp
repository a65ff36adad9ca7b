#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "../../base/Fault.h"
#include "CardRead.h"
#include "ReaderSimulator.h"

namespace {

using Calls = std::vector<SimEntryPoint>;

constexpr SimEntryPoint Init = SimInitializeLibrary, Dispose = SimDisposeLibrary,
                        Open = SimOpenReaderWriterAuto, Close = SimCloseReaderWriter,
                        Poll = SimPollingAndGetCardInformation, Read = SimReadBlockWithoutEncryption,
                        LastError = SimGetLastErrorType;

const Calls GoodRead = {Init, Open, Poll, Read, Close, Dispose};

class CardRead : public ::testing::Test {
protected:
    void SetUp() override { sim_reset(); }

    static SimScript Script()
    {
        SimScript script;
        sim_get_script(&script);
        return script;
    }

    static void Block(SimScript& script, std::vector<uint8_t> bytes)
    {
        std::memset(script.blockData, 0, 16);
        std::memcpy(script.blockData, bytes.data(), bytes.size());
    }

    static TCard_Data ReadWith(const SimScript& script, std::u16string_view ctype = u"EDY")
    {
        sim_set_script(&script);
        TCard_Data card;
        ReadCard(SimulatorEntryPoints, ctype, card);
        return card;
    }

    static std::vector<SimCall> Recorded()
    {
        std::vector<SimCall> calls(sim_call_count());
        for (size_t i = 0; i < calls.size(); ++i)
            sim_get_call(static_cast<int32_t>(i), &calls[i]);
        return calls;
    }

    static Calls Sequence()
    {
        Calls sequence;
        for (const SimCall& call : Recorded())
            sequence.push_back(static_cast<SimEntryPoint>(call.entryPoint));
        return sequence;
    }

    // A copy: callers pass Recorded() straight in, and a reference would outlive that vector.
    static SimCall Find(const std::vector<SimCall>& calls, SimEntryPoint entryPoint)
    {
        for (const SimCall& call : calls)
            if (call.entryPoint == entryPoint)
                return call;
        throw std::runtime_error("entry point not called");
    }
};

TEST_F(CardRead, GoodEdyReadSendsTheContractRecords)
{
    SimScript script = Script();
    const uint8_t idm[8] = {0x01, 0x2E, 0x00, 0xFF, 0x10, 0x20, 0x30, 0x40};
    std::memcpy(script.idm, idm, 8);
    Block(script, {0xAA, 0xBB, 0x01, 0x23, 0x45, 0x67, 0x89, 0x01, 0x23, 0x45, 0xCC});
    const TCard_Data card = ReadWith(script);

    EXPECT_FALSE(card.C_Error);
    EXPECT_EQ(card.Err_Mes, u"");
    EXPECT_EQ(card.card_ID, u"0123456789012345");
    EXPECT_EQ(card.IDm, (std::u16string{0x01, 0x2E, 0x00, 0xFF, 0x10, 0x20, 0x30, 0x40}));
    EXPECT_EQ(Sequence(), GoodRead);

    const std::vector<SimCall> calls = Recorded();
    const SimCall poll = Find(calls, Poll);
    EXPECT_EQ(poll.systemCode[0], 0xFE);
    EXPECT_EQ(poll.systemCode[1], 0x00);
    EXPECT_EQ(poll.timeSlot, 0);
    EXPECT_EQ(poll.numberOfCardsIn, 0);
    const SimCall read = Find(calls, Read);
    EXPECT_EQ(0, std::memcmp(read.idm, idm, 8)) << "the block read names the polled card";
    EXPECT_EQ(read.numberOfServices, 1);
    EXPECT_EQ(read.serviceCodeList[0], 0x0B);
    EXPECT_EQ(read.serviceCodeList[1], 0x11);
    EXPECT_EQ(read.numberOfBlocks, 1);
    EXPECT_EQ(read.blockList[0], 0x80);
    EXPECT_EQ(read.blockList[1], 0x00);
    const uint8_t zeros[16] = {};
    EXPECT_EQ(0, std::memcmp(read.blockDataIn, zeros, 16)) << "the block buffer starts cleared";
}

TEST_F(CardRead, ServiceCodeFollowsCtypeExactly)
{
    const struct {
        std::u16string ctype;
        uint8_t low, high;
    } cases[] = {
        {u"EDY", 0x0B, 0x11}, {u"edy", 0x8B, 0x1A},  {u"Edy", 0x8B, 0x1A},  {u" EDY", 0x8B, 0x1A},
        {u"EDY ", 0x8B, 0x1A}, {u"", 0x8B, 0x1A},    {u"SUICA", 0x8B, 0x1A}, {std::u16string(u"EDY\0", 4), 0x8B, 0x1A},
    };
    for (const auto& c : cases) {
        sim_reset();
        ReadWith(Script(), c.ctype);
        const SimCall read = Find(Recorded(), Read);
        EXPECT_EQ(read.serviceCodeList[0], c.low) << "ctype of length " << c.ctype.size();
        EXPECT_EQ(read.serviceCodeList[1], c.high) << "ctype of length " << c.ctype.size();
    }
}

TEST_F(CardRead, CardNumberForming)
{
    const struct {
        const char* name;
        std::u16string ctype;
        std::vector<uint8_t> block;
        std::u16string cardId;
    } cases[] = {
        {"EDY packed digits", u"EDY", {0, 0, 0x01, 0x23, 0x45, 0x67, 0x89, 0x01, 0x23, 0x45}, u"0123456789012345"},
        {"EDY nibbles above 9", u"EDY", {0, 0, 0xAB}, u"1011" u"00000000000000"},
        {"EDY all nibbles 15", u"EDY", {0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         u"15151515151515151515151515151515"},
        {"other ASCII digits", u"edy", {'0', '0', '0', '0', '1', '2', '3', '4', '5', '6', '7'}, u"0000123456"},
        {"other with zero bytes", u"", {0x31, 0x32, 0x33}, std::u16string(u"123\0\0\0\0\0\0\0", 10)},
        {"other high bytes", u"X", {0xFF, 0x80, 0x7F, 0, 0, 0, 0, 0, 0, 0x01}, std::u16string(u"\u00FF\u0080\u007F\0\0\0\0\0\0\u0001", 10)},
    };
    for (const auto& c : cases) {
        sim_reset();
        SimScript script = Script();
        Block(script, c.block);
        const TCard_Data card = ReadWith(script, c.ctype);
        EXPECT_FALSE(card.C_Error) << c.name;
        EXPECT_EQ(card.card_ID, c.cardId) << c.name;
    }
}

struct Failure {
    const char* name;
    std::function<void(SimScript&)> script;
    Calls calls;
    std::u16string message;
    bool cardFormed;  // IDm and card_ID were formed before the failure
};

TEST_F(CardRead, EveryFailurePath)
{
    const auto fail = [](SimEntryPoint entryPoint, int32_t code) {
        return [=](SimScript& s) {
            s.results[entryPoint] = 0;
            s.errorCodes[entryPoint] = code;
        };
    };
    const Failure cases[] = {
        {"initialize fails", fail(Init, 1005), {Init, LastError}, u"ライブラリが初期化されていません (0x3ed)", false},
        {"open fails", fail(Open, 1028), {Init, Open, LastError, Dispose},
         u"リーダ／ライタを自動認識できません (0x404)", false},
        {"poll fails", fail(Poll, 1036), {Init, Open, Poll, LastError, Close, Dispose},
         u"ポーリングに失敗しました (0x40c)", false},
        {"no card answers", [](SimScript& s) { s.numberOfCards = 0; }, {Init, Open, Poll, Close, Dispose},
         u"カードが読み取れません", false},
        {"status flag 1 set", [](SimScript& s) { s.statusFlag1 = 0xA1; }, GoodRead, u"IDが読み取れません", false},
        {"block read writes nothing",
         [](SimScript& s) {
             s.writesReadOutputs = 0;
             s.results[Read] = 0;
         },
         GoodRead, u"IDが読み取れません", false},
        {"close fails after a good read", fail(Close, 1029), {Init, Open, Poll, Read, Close, LastError, Dispose},
         u"リーダ／ライタがオープンされていません (0x405)", true},
        {"dispose fails after a good read", fail(Dispose, 1097), {Init, Open, Poll, Read, Close, Dispose, LastError},
         u"ソフトリセットに失敗しました(0x449)", true},
        {"poll then close fail: the last message stands",
         [&](SimScript& s) {
             fail(Poll, 1036)(s);
             fail(Close, 1020)(s);
         },
         {Init, Open, Poll, LastError, Close, LastError, Dispose}, u"ポートがオープンされていません (0x3fc)", false},
        {"error query writes no code",
         [&](SimScript& s) {
             fail(Init, 1005)(s);
             s.writesErrorCode = 0;
         },
         {Init, LastError}, u"未定義のエラーです (0x3e9)", false},
        {"error code 1000, \"no error\", still fails the read", fail(Poll, 1000),
         {Init, Open, Poll, LastError, Close, Dispose}, u"エラーは発生していません (0x3e8)", false},
        {"error code 1096 gives an empty message", fail(Open, 1096), {Init, Open, LastError, Dispose}, u"", false},
        {"error code outside the table", fail(Open, -7), {Init, Open, LastError, Dispose}, u"Error Code=-7", false},
    };
    for (const Failure& c : cases) {
        sim_reset();
        SimScript script = Script();
        c.script(script);
        const TCard_Data card = ReadWith(script);
        EXPECT_EQ(Sequence(), c.calls) << c.name;
        EXPECT_TRUE(card.C_Error) << c.name;
        EXPECT_EQ(card.Err_Mes, c.message) << c.name;
        EXPECT_EQ(card.card_ID, c.cardFormed ? u"2160012345678901" : u"") << c.name;
        EXPECT_EQ(card.IDm.size(), c.cardFormed ? 8u : 0u) << c.name;
    }
}

TEST_F(CardRead, AGoodReadClearsAnEarlierFailure)
{
    TCard_Data card;
    card.C_Error = true;
    card.Err_Mes = u"stale";
    ReadCard(SimulatorEntryPoints, u"EDY", card);
    EXPECT_FALSE(card.C_Error);
    EXPECT_EQ(card.Err_Mes, u"");
}

TEST_F(CardRead, EachReadStartsAndEndsTheLibrary)
{
    ReadWith(Script());
    ReadWith(Script());
    Calls twice = GoodRead;
    twice.insert(twice.end(), GoodRead.begin(), GoodRead.end());
    EXPECT_EQ(Sequence(), twice);
}

TEST_F(CardRead, AnExceptionInTheMiddleStillClosesAndDisposes)
{
    // Stands for a failed allocation while the block is turned into texts.
    const ReaderBinder failing = [] {
        ReaderEntryPoints e = SimulatorEntryPoints();
        e.read_block_without_encryption = [](TRead_Param*, TRead_Result*) -> ReaderResult { throw std::bad_alloc(); };
        return e;
    };
    TCard_Data card;
    EXPECT_THROW(ReadCard(failing, u"EDY", card), std::bad_alloc);
    EXPECT_EQ(Sequence(), (Calls{Init, Open, Poll, Close, Dispose}));
}

TEST_F(CardRead, IncompleteBindingFaultsBeforeAnyCall)
{
    using Clear = void (*)(ReaderEntryPoints&);
    const Clear clears[] = {
        [](ReaderEntryPoints& e) { e.initialize_library = nullptr; },
        [](ReaderEntryPoints& e) { e.dispose_library = nullptr; },
        [](ReaderEntryPoints& e) { e.open_reader_writer_auto = nullptr; },
        [](ReaderEntryPoints& e) { e.close_reader_writer = nullptr; },
        [](ReaderEntryPoints& e) { e.polling_and_get_card_information = nullptr; },
        [](ReaderEntryPoints& e) { e.read_block_without_encryption = nullptr; },
        [](ReaderEntryPoints& e) { e.get_last_error_type = nullptr; },
    };
    static Clear clear;
    for (size_t i = 0; i < std::size(clears); ++i) {
        clear = clears[i];
        TCard_Data card;
        card.C_Error = true;
        card.Err_Mes = u"kept";
        const ReaderBinder incomplete = [] {
            ReaderEntryPoints e = SimulatorEntryPoints();
            clear(e);
            return e;
        };
        EXPECT_THROW(ReadCard(incomplete, u"EDY", card), Fault) << "entry point " << i;
        EXPECT_TRUE(card.C_Error);
        EXPECT_EQ(card.Err_Mes, u"kept");
        EXPECT_EQ(sim_call_count(), 0);
    }
    // Nothing bound at all, as when the library is not installed.
    TCard_Data card;
    try {
        ReadCard([] { return ReaderEntryPoints{}; }, u"EDY", card);
        FAIL() << "no fault";
    } catch (const Fault& fault) {
        EXPECT_FALSE(fault.message().empty());
    }
}

TEST_F(CardRead, ReadsFromSeveralThreadsNeverInterleave)
{
    SimScript script = Script();
    script.pollDelayMilliseconds = 20;
    sim_set_script(&script);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 3; ++i) {
                TCard_Data card;
                ReadCard(SimulatorEntryPoints, u"EDY", card);
            }
        });
    for (std::thread& thread : threads)
        thread.join();

    const std::vector<SimCall> calls = Recorded();
    ASSERT_EQ(calls.size(), 4u * 3u * GoodRead.size());
    for (size_t i = 0; i < calls.size(); i += GoodRead.size())
        for (size_t j = 0; j < GoodRead.size(); ++j) {
            EXPECT_EQ(calls[i + j].entryPoint, GoodRead[j]) << "call " << i + j;
            EXPECT_EQ(calls[i + j].thread, calls[i].thread) << "call " << i + j;
        }
}

}  // namespace

TEST(EntryPointNames, EachMemberIsBoundUnderTheNameTheLibraryExportsItBy)
{
    // The simulator's functions carry the exported names; a binding that paired a name with the
    // wrong member would call, say, close where it meant open.
    const std::pair<const char*, void*> exports[] = {
        {"initialize_library", reinterpret_cast<void*>(&initialize_library)},
        {"dispose_library", reinterpret_cast<void*>(&dispose_library)},
        {"open_reader_writer_auto", reinterpret_cast<void*>(&open_reader_writer_auto)},
        {"close_reader_writer", reinterpret_cast<void*>(&close_reader_writer)},
        {"polling_and_get_card_information", reinterpret_cast<void*>(&polling_and_get_card_information)},
        {"read_block_without_encryption", reinterpret_cast<void*>(&read_block_without_encryption)},
        {"get_last_error_type", reinterpret_cast<void*>(&get_last_error_type)},
    };
    ReaderEntryPoints bound;
    int visits = 0;
    bound.ForEach([&](const char* name, auto& entryPoint) {
        ++visits;
        for (const auto& [exported, function] : exports)
            if (std::strcmp(exported, name) == 0)
                entryPoint = reinterpret_cast<std::remove_reference_t<decltype(entryPoint)>>(function);
    });
    const ReaderEntryPoints expected = SimulatorEntryPoints();
    EXPECT_EQ(visits, 7);
    EXPECT_EQ(std::memcmp(&bound, &expected, sizeof bound), 0);
}
