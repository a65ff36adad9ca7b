// Read_Card end to end: the simulator at the library's path, a recording sink on FEvents.
#include <gtest/gtest.h>

#include <windows.h>

#include <wrl/client.h>

#include <cstring>
#include <functional>
#include <vector>

#include "../../../base/Bstr.h"
#include "../../support/FormHost.h"
#include "../../support/LateBoundRead.h"
#include "../../support/RecordingSink.h"
#include "../../support/SimulatorDll.h"
#include "FaultReporting.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DISPID OnCreate = 203, OnReadData = 211;

class ReadCardCommand : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        std::filesystem::remove_all(ReaderLibraryPaths[1]);
        InstallSimulator(ReaderLibraryPaths[0]);
        // Loaded here so that tests can script it before the first read binds it.
        library = LoadLibraryW(ReaderLibraryPaths[0]);
        ASSERT_NE(library, nullptr);
    }

    void SetUp() override
    {
        SimulatorExport<void (*)()>("sim_reset")();
        host = new FormHost;
        sink = new RecordingSink;
    }

    static void Script(const std::function<void(SimScript&)>& edit)
    {
        SimScript script;
        SimulatorExport<void (*)(SimScript*)>("sim_get_script")(&script);
        edit(script);
        SimulatorExport<void (*)(const SimScript*)>("sim_set_script")(&script);
    }

    static std::vector<int32_t> SimulatorCalls()
    {
        std::vector<int32_t> entryPoints;
        const int32_t count = SimulatorExport<int32_t (*)()>("sim_call_count")();
        for (int32_t i = 0; i < count; ++i) {
            SimCall call;
            SimulatorExport<int32_t (*)(int32_t, SimCall*)>("sim_get_call")(i, &call);
            entryPoints.push_back(call.entryPoint);
        }
        return entryPoints;
    }

    HRESULT Read(const std::u16string& ctype)
    {
        const Bstr argument(ctype);
        return host->form->Read_Card(argument.get());
    }

    std::vector<RecordedInvoke> ReadDataCalls() const
    {
        std::vector<RecordedInvoke> found;
        for (const RecordedInvoke& call : sink->calls)
            if (call.dispid == OnReadData)
                found.push_back(call);
        return found;
    }

    static HMODULE library;
    ComPtr<FormHost> host;
    ComPtr<RecordingSink> sink;
};
HMODULE ReadCardCommand::library = nullptr;

const std::vector<int32_t> FullRead = {SimInitializeLibrary, SimOpenReaderWriterAuto,
                                       SimPollingAndGetCardInformation, SimReadBlockWithoutEncryption,
                                       SimCloseReaderWriter, SimDisposeLibrary};

TEST_F(ReadCardCommand, GoodEdyReadRaisesOnReadDataInTheExactShape)
{
    Script([](SimScript& s) {
        const uint8_t block[16] = {0, 0, 0x01, 0x23, 0x45, 0x67, 0x89, 0x01, 0x23, 0x45};
        std::memcpy(s.blockData, block, 16);
    });
    host->form->SinkChanged(sink.Get());
    ASSERT_EQ(Read(u"EDY"), S_OK);

    ASSERT_EQ(sink->calls.size(), 2u);
    const RecordedInvoke& create = sink->calls[0];
    EXPECT_EQ(create.dispid, OnCreate);
    EXPECT_EQ(create.flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_TRUE(create.arguments.empty());
    EXPECT_TRUE(create.hasResult);
    EXPECT_FALSE(create.hasArgumentError);

    const RecordedInvoke& event = sink->calls[1];
    EXPECT_EQ(event.dispid, OnReadData);
    EXPECT_TRUE(event.iidIsNull);
    EXPECT_EQ(event.lcid, 0u);
    EXPECT_EQ(event.flags, DISPATCH_METHOD);
    EXPECT_EQ(event.namedCount, 0u);
    EXPECT_TRUE(event.hasResult);
    EXPECT_TRUE(event.hasExceptionInfo);
    EXPECT_FALSE(event.hasArgumentError);
    ASSERT_EQ(event.arguments.size(), 3u);
    // Reversed: Message, Error, card_ID.
    EXPECT_EQ(event.arguments[0].type, VT_BSTR);
    EXPECT_TRUE(event.arguments[0].nullBstr) << "an empty message travels as a null BSTR";
    EXPECT_EQ(event.arguments[1].type, VT_I1);
    EXPECT_EQ(event.arguments[1].number, 0);
    EXPECT_EQ(event.arguments[2].type, VT_BSTR);
    EXPECT_EQ(event.arguments[2].text, u"0123456789012345");
}

TEST_F(ReadCardCommand, OutcomeRules)
{
    const struct {
        const char* name;
        std::function<void(SimScript&)> script;
        std::u16string ctype;
        std::u16string cardId;
        int error;
        std::u16string message;
    } cases[] = {
        {"no card", [](SimScript& s) { s.numberOfCards = 0; }, u"EDY", u"", 1, u"カードが読み取れません"},
        {"error 1096 has no text",
         [](SimScript& s) {
             s.results[SimOpenReaderWriterAuto] = 0;
             s.errorCodes[SimOpenReaderWriterAuto] = 1096;
         },
         u"EDY", u"", 1, u""},
        {"poll fails",
         [](SimScript& s) {
             s.results[SimPollingAndGetCardInformation] = 0;
             s.errorCodes[SimPollingAndGetCardInformation] = 1036;
         },
         u"EDY", u"", 1, u"ポーリングに失敗しました (0x40c)"},
        {"other card type keeps zero bytes",
         [](SimScript& s) {
             const uint8_t block[16] = {0x31, 0x32, 0x33};
             std::memcpy(s.blockData, block, 16);
         },
         u"SUICA", std::u16string(u"123\0\0\0\0\0\0\0", 10), 0, u""},
        {"a good read that fails to close",
         [](SimScript& s) {
             s.results[SimCloseReaderWriter] = 0;
             s.errorCodes[SimCloseReaderWriter] = 1029;
         },
         u"EDY", u"", 1, u"リーダ／ライタがオープンされていません (0x405)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatorExport<void (*)()>("sim_reset")();
        host = new FormHost;
        sink = new RecordingSink;
        host->form->SinkChanged(sink.Get());
        Script(c.script);
        ASSERT_EQ(Read(c.ctype), S_OK);
        const std::vector<RecordedInvoke> events = ReadDataCalls();
        ASSERT_EQ(events.size(), 1u);
        const std::vector<RecordedArgument>& a = events[0].arguments;
        ASSERT_EQ(a.size(), 3u);
        EXPECT_EQ(a[2].text, c.cardId);
        EXPECT_EQ(a[2].nullBstr, c.cardId.empty());
        EXPECT_EQ(a[1].number, c.error);
        EXPECT_EQ(a[0].text, c.message);
        EXPECT_EQ(a[0].nullBstr, c.message.empty());
    }
}

TEST_F(ReadCardCommand, NullCtypeReadsTheOtherService)
{
    host->form->SinkChanged(sink.Get());
    ASSERT_EQ(host->form->Read_Card(nullptr), S_OK);
    SimCall read;
    SimulatorExport<int32_t (*)(int32_t, SimCall*)>("sim_get_call")(3, &read);
    EXPECT_EQ(read.serviceCodeList[0], 0x8B);
    EXPECT_EQ(read.serviceCodeList[1], 0x1A);
}

TEST_F(ReadCardCommand, LateBoundAReadIsTheSameWhateverTheArgumentsForm)
{
    host->form->SinkChanged(sink.Get());
    ComPtr<IDispatch> control;
    ASSERT_EQ(host.As(&control), S_OK);
    struct Seen {
        LateBoundOutcome outcome;
        std::vector<int32_t> calls;
        std::vector<RecordedInvoke> events;
    } seen[2];
    for (const bool byReference : {false, true}) {
        SimulatorExport<void (*)()>("sim_reset")();
        sink->calls.clear();
        seen[byReference].outcome = LateBoundRead(control.Get(), u"EDY", byReference);
        seen[byReference].calls = SimulatorCalls();
        seen[byReference].events = ReadDataCalls();
    }
    EXPECT_EQ(seen[0].outcome, (LateBoundOutcome{.status = S_OK, .resultType = VT_I4, .source = {},
                                                 .description = {}, .helpFile = {}}));
    EXPECT_EQ(seen[0].outcome, seen[1].outcome);
    for (const Seen& each : seen) {
        EXPECT_EQ(each.calls, FullRead);
        ASSERT_EQ(each.events.size(), 1u);
        ASSERT_EQ(each.events[0].arguments.size(), 3u);
    }
    EXPECT_EQ(seen[0].events[0].arguments[2].text, seen[1].events[0].arguments[2].text);
    EXPECT_FALSE(seen[0].events[0].arguments[2].text.empty());
}

TEST_F(ReadCardCommand, WithoutASinkTheReadStillRuns)
{
    EXPECT_EQ(Read(u"EDY"), S_OK);
    EXPECT_EQ(SimulatorCalls(), FullRead);
    EXPECT_TRUE(sink->calls.empty());
}

TEST_F(ReadCardCommand, AFailingHandlerDoesNotFailTheCommand)
{
    sink->handler = [](const RecordedInvoke&, DISPPARAMS*) { return E_FAIL; };
    host->form->SinkChanged(sink.Get());
    EXPECT_EQ(Read(u"EDY"), S_OK);
    EXPECT_EQ(ReadDataCalls().size(), 1u);
}

TEST_F(ReadCardCommand, ANestedReadIsDeliveredBeforeTheOuterReturns)
{
    int depth = 0;
    sink->handler = [&](const RecordedInvoke& call, DISPPARAMS*) {
        if (call.dispid == OnReadData && depth++ == 0) {
            EXPECT_EQ(Read(u"EDY"), S_OK);
        }
        return S_OK;
    };
    host->form->SinkChanged(sink.Get());
    ASSERT_EQ(Read(u"EDY"), S_OK);
    EXPECT_EQ(ReadDataCalls().size(), 2u);
    std::vector<int32_t> twice = FullRead;
    twice.insert(twice.end(), FullRead.begin(), FullRead.end());
    EXPECT_EQ(SimulatorCalls(), twice);
}

TEST_F(ReadCardCommand, AHandlerMayDisconnectItsSink)
{
    sink->handler = [&](const RecordedInvoke& call, DISPPARAMS*) {
        if (call.dispid == OnReadData)
            host->form->SinkChanged(nullptr);
        return S_OK;
    };
    RecordingSink* raw = sink.Get();
    host->form->SinkChanged(raw);
    sink.Reset();  // the form's reference is now the only one
    ASSERT_EQ(Read(u"EDY"), S_OK);
    EXPECT_EQ(Read(u"EDY"), S_OK) << "no sink any more: nothing to raise";
}

TEST_F(ReadCardCommand, AHandlerMayDropTheLastReferenceToTheControl)
{
    FormHost* raw = host.Get();
    int aliveInHandler = -1;
    sink->handler = [&](const RecordedInvoke& call, DISPPARAMS*) {
        if (call.dispid == OnReadData) {
            host.Reset();
            aliveInHandler = FormHost::alive;
        }
        return S_OK;
    };
    raw->form->SinkChanged(sink.Get());
    const int before = FormHost::alive;
    const Bstr ctype(u"EDY");
    EXPECT_EQ(raw->form->Read_Card(ctype.get()), S_OK);
    EXPECT_EQ(aliveInHandler, before) << "the control outlives the handler";
    EXPECT_EQ(FormHost::alive, before - 1) << "and goes when the call ends";
}

TEST_F(ReadCardCommand, OnCreateReachesTheFirstSinkOnly)
{
    ComPtr<RecordingSink> second = new RecordingSink;
    host->form->SinkChanged(sink.Get());
    host->form->SinkChanged(nullptr);
    host->form->SinkChanged(second.Get());
    ASSERT_EQ(sink->calls.size(), 1u);
    EXPECT_EQ(sink->calls[0].dispid, OnCreate);
    EXPECT_TRUE(second->calls.empty());

    // A first notification without a sink uses up the first.
    ComPtr<FormHost> other = new FormHost;
    ComPtr<RecordingSink> third = new RecordingSink;
    other->form->SinkChanged(nullptr);
    other->form->SinkChanged(third.Get());
    EXPECT_TRUE(third->calls.empty());
}

TEST_F(ReadCardCommand, ASinkWithoutTheEventsInterfaceIsRefused)
{
    ComPtr<RecordingSink> stranger = new RecordingSink;
    stranger->answersEventsInterface = false;
    host->form->SinkChanged(sink.Get());
    EXPECT_THROW(host->form->SinkChanged(stranger.Get()), PlatformFault);
    ASSERT_EQ(Read(u"EDY"), S_OK);
    EXPECT_EQ(ReadDataCalls().size(), 1u) << "the sink before stays connected";
}

}  // namespace
