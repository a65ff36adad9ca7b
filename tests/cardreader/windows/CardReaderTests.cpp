// Norvane.CardReader as its clients call it: registered in the test's prefix beside the control,
// late bound from Wine's cscript (VBScript and JScript) and early bound from C++. The C++ clients
// run in child processes of this program: a process that has read keeps the reader library
// loaded, and the next case must be free to replace it.
#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "../../../base/Bstr.h"
#include "../../../base/ComObject.h"
#include "../../support/CrashGuard.h"
#include "../../support/ServerLibrary.h"
#include "../../support/SimulatorDll.h"
#include "CardReader_h.h"
#include "Tavrix_h.h"

namespace fs = std::filesystem;
using Microsoft::WRL::ComPtr;

namespace {

bool childProcess = false;  // runs the InProcess cases, which the parent starts

const std::wstring Clsid = L"{8D9D717E-66EE-4D69-B45D-F6F007E97593}";
const std::wstring Iid = L"{22617430-2050-4DC0-8BB0-B3F68E80B680}";
const std::wstring Libid = L"{D1043A00-60DD-4584-88AF-FE368477F173}";
const std::wstring LibrarySystem = sizeof(void*) == 8 ? L"win64" : L"win32";

const std::u16string NoLibrary = u"FeliCa ライブラリ (felica.dll) を読み込めません";
const std::u16string NoCard = u"カードが読み取れません";
const std::u16string NoControl = sizeof(void*) == 8
    ? u"The Tavrix control (Tavrix.Tavrix) is not registered for 64-bit programs: register the 64-bit Norvane.ocx (0x80040154)"
    : u"The Tavrix control (Tavrix.Tavrix) is not registered for 32-bit programs: register the 32-bit Norvane.ocx (0x80040154)";
const std::u16string NoEvent = u"The Tavrix control reported no result for the read (no On_ReadData event)";

// The simulator's steps: a good read of the card 2160 9876 5432 1098, and no card at all.
const std::string GoodStep = "card yes\nblock 00 00 21 60 98 76 54 32 10 98\n";
const std::string NoCardStep = "card no\n";

std::wstring Built(const wchar_t* file) { return ProgramFolder() + file; }

DWORD RegSvr32(const std::wstring& arguments, const std::wstring& file)
{
    return RunChild(L"regsvr32.exe /s " + arguments + L" \"" + file + L"\"").exitCode;
}

// The reader library as a case needs it: the simulator with its scenario at the path the
// control looks at first, or no library at either path.
void PlaceReaderLibrary(const std::string* scenario)
{
    for (const wchar_t* path : ReaderLibraryPaths)
        fs::remove_all(path);
    const fs::path scenarioFile = fs::path(ReaderLibraryPaths[0]).parent_path() / L"felica-scenario.txt";
    fs::remove(scenarioFile);
    if (!scenario)
        return;
    InstallSimulator(ReaderLibraryPaths[0]);
    std::ofstream(scenarioFile, std::ios::binary) << *scenario;
}

// One line of a script's report: outcome is "good", "failed" or "fault|<status>|<description>".
std::u16string Line(const std::u16string& outcome, int errorCode, const std::u16string& cardId,
                    const std::u16string& message)
{
    return outcome + u"|" + (errorCode == 0 ? u"0" : u"1") + u"|" + cardId + u"|" + message + u"\n";
}

std::u16string FaultLine(const std::u16string& status, const std::u16string& description)
{
    return Line(u"fault|" + status + u"|" + description, 1, u"", description);
}

// A UTF-16 file as written by the scripting runtime, without its byte order mark and with
// plain line ends; a missing file reads as nothing.
std::u16string ReportFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::u16string text;
    for (size_t at = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE' ? 2 : 0; at + 1 < bytes.size();
         at += 2) {
        const char16_t unit = static_cast<char16_t>(static_cast<uint8_t>(bytes[at]) |
                                                    static_cast<uint8_t>(bytes[at + 1]) << 8);
        if (unit != u'\r')
            text += unit;
    }
    return text;
}

std::string Utf8(const std::u16string& text)
{
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

// Machine-wide registration of the control and the card reader, for the clients.
class CardReaderClients : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(RegSvr32(L"", Built(L"Norvane.ocx")), 0u);
        ASSERT_EQ(RegSvr32(L"", Built(L"NorvaneCardReader.dll")), 0u);
    }
    static void TearDownTestSuite()
    {
        RegSvr32(L"/u", Built(L"NorvaneCardReader.dll"));
        RegSvr32(L"/u", Built(L"Norvane.ocx"));
        PlaceReaderLibrary(nullptr);
    }
    void SetUp() override
    {
        if (childProcess)
            GTEST_SKIP() << "the parent's case";
    }

    // Runs the InProcess case of that name in a child process of this program.
    static void RunInProcessCase(const char* name)
    {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        const std::string filter(std::string("InProcess.") + name);
        const ChildResult child = RunChild(L"\"" + std::wstring(self) + L"\" --child --gtest_filter=" +
                                           std::wstring(filter.begin(), filter.end()), 120000);
        EXPECT_EQ(child.exitCode, 0u) << child.output;
        EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
    }
};

// The scripts write their report as UTF-16 through the scripting runtime's text file: the
// console's code page cannot carry the messages, and Wine's VBScript has no AscW to spell them out.
TEST_F(CardReaderClients, ScriptsReadAndSeeEachOutcome)
{
    const std::u16string card = u"2160987654321098";
    // Any other card type gives the block's first ten bytes, U+0000 included.
    const std::u16string block(u"\0\0\x21\x60\x98\x76\x54\x32\x10\x98", 10);
    const struct {
        const char* name;
        const wchar_t* ctype;
        bool library;
        std::string scenario;  // the simulator's, one step a read
        bool control;          // Norvane.ocx registered
        std::u16string lines;  // both reads, as the scripts report them
    } cases[] = {
        {"a good read, then no card", L"EDY", true, GoodStep + "step\n" + NoCardStep, true,
         Line(u"good", 0, card, u"") + Line(u"failed", 1, u"", NoCard)},
        {"no card, then a good read", L"EDY", true, NoCardStep + "step\n" + GoodStep, true,
         Line(u"failed", 1, u"", NoCard) + Line(u"good", 0, card, u"")},
        {"the reader unplugged", L"EDY", true, "fail open 1028\nstep\n" + GoodStep, true,
         Line(u"failed", 1, u"", u"リーダ／ライタを自動認識できません (0x404)") + Line(u"good", 0, card, u"")},
        {"polling fails", L"EDY", true, "fail poll 1036\nstep\n" + GoodStep, true,
         Line(u"failed", 1, u"", u"ポーリングに失敗しました (0x40c)") + Line(u"good", 0, card, u"")},
        {"the card leaves before its block is read", L"EDY", true, "status 255\nstep\n" + GoodStep, true,
         Line(u"failed", 1, u"", u"IDが読み取れません") + Line(u"good", 0, card, u"")},
        {"a code the library's table lacks", L"EDY", true, "fail initialize 5\nstep\n" + GoodStep, true,
         Line(u"failed", 1, u"", u"Error Code=5") + Line(u"good", 0, card, u"")},
        {"another card type", L"SUICA", true, GoodStep, true,
         Line(u"good", 0, block, u"") + Line(u"good", 0, block, u"")},
        // The control's fault comes through with its own status and text, and leaves a failed
        // read behind it, not the card number of an earlier one.
        {"no reader library", L"EDY", false, "", true,
         FaultLine(u"8000FFFF", NoLibrary) + FaultLine(u"8000FFFF", NoLibrary)},
        {"no control", L"EDY", true, GoodStep, false,
         FaultLine(u"80040154", NoControl) + FaultLine(u"80040154", NoControl)},
    };
    const fs::path scripts = fs::path(NORVANE_CARD_READER_SCRIPTS).make_preferred();
    const fs::path report = fs::temp_directory_path() / L"norvane-card-reader-report.txt";
    for (const auto& c : cases) {
        for (const wchar_t* script : {L"read.vbs", L"read.js"}) {
            SCOPED_TRACE(std::string(c.name) + " in " + fs::path(script).string());
            PlaceReaderLibrary(c.library ? &c.scenario : nullptr);
            if (!c.control) {
                ASSERT_EQ(RegSvr32(L"/u", Built(L"Norvane.ocx")), 0u);
            }
            fs::remove(report);
            const ChildResult child = RunChild(L"cscript.exe //nologo \"" + (scripts / script).wstring() + L"\" " +
                                               c.ctype + L" \"" + report.wstring() + L"\"");
            EXPECT_EQ(child.exitCode, 0u) << child.output;
            const std::u16string written = ReportFile(report);
            EXPECT_EQ(written, c.lines) << Utf8(written) << "\nexpected\n" << Utf8(c.lines) << child.output;
            if (!c.control) {
                ASSERT_EQ(RegSvr32(L"", Built(L"Norvane.ocx")), 0u);
            }
        }
    }
    fs::remove(report);
}

TEST_F(CardReaderClients, EarlyBoundFromCpp) { RunInProcessCase("EarlyBoundReadsAndPassesTheControlsFaultOn"); }

TEST_F(CardReaderClients, WithoutTheEvent) { RunInProcessCase("AReadWithoutTheEventIsAFailedRead"); }

TEST_F(CardReaderClients, WithTheEventsRefused) { RunInProcessCase("AControlThatRefusesTheSinkIsAFault"); }

TEST_F(CardReaderClients, WithAHandlerInsideTheEvent) { RunInProcessCase("AnEventHandlerThatReadsAgainOrLetsGo"); }

// The C++ clients, each in a child process of its own.
class InProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!childProcess)
            GTEST_SKIP() << "runs in a child process";
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
    void TearDown() override
    {
        if (childProcess)
            CoUninitialize();
    }

    struct Outcome {
        HRESULT status = S_OK;
        VARIANT_BOOL good = 7;
        std::u16string cardId, message, errorSource, errorDescription;
        long errorCode = -7;
    };

    // One Read through the vtable, the properties after it and the thread's error information.
    static Outcome Read(ICardReader* reader, const std::u16string& ctype)
    {
        Outcome o;
        SetErrorInfo(0, nullptr);
        o.status = reader->Read(Bstr(ctype).get(), &o.good);
        ComPtr<IErrorInfo> info;
        if (GetErrorInfo(0, &info) == S_OK) {
            Bstr source, description;
            info->GetSource(source.out());
            info->GetDescription(description.out());
            o.errorSource = source.text();
            o.errorDescription = description.text();
        }
        Bstr cardId, message;
        EXPECT_EQ(reader->get_CardID(cardId.out()), S_OK);
        EXPECT_EQ(reader->get_ErrorCode(&o.errorCode), S_OK);
        EXPECT_EQ(reader->get_Message(message.out()), S_OK);
        o.cardId = cardId.text();
        o.message = message.text();
        return o;
    }

    static ComPtr<ICardReader> Create()
    {
        ComPtr<ICardReader> reader;
        EXPECT_EQ(CoCreateInstance(CLSID_CardReader, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&reader)), S_OK);
        return reader;
    }
};

TEST_F(InProcess, EarlyBoundReadsAndPassesTheControlsFaultOn)
{
    PlaceReaderLibrary(nullptr);
    ComPtr<ICardReader> reader = Create();
    ASSERT_TRUE(reader);
    ComPtr<ISupportErrorInfo> supports;
    ASSERT_EQ(reader.As(&supports), S_OK);
    EXPECT_EQ(supports->InterfaceSupportsErrorInfo(IID_ICardReader), S_OK);

    const Outcome fault = Read(reader.Get(), u"EDY");
    EXPECT_EQ(fault.status, static_cast<HRESULT>(0x8000FFFF));
    EXPECT_EQ(fault.errorSource, u"Tavrix.Tavrix") << "the control's own error information";
    EXPECT_TRUE(fault.errorDescription == NoLibrary);
    EXPECT_EQ(fault.errorCode, 1);
    EXPECT_TRUE(fault.cardId.empty());
    EXPECT_TRUE(fault.message == NoLibrary);

    // The same object reads once the library is there.
    const std::string scenario = GoodStep + "step\n" + NoCardStep;
    PlaceReaderLibrary(&scenario);
    const Outcome good = Read(reader.Get(), u"EDY");
    EXPECT_EQ(good.status, S_OK);
    EXPECT_EQ(good.good, VARIANT_TRUE);
    EXPECT_TRUE(good.cardId == u"2160987654321098");
    EXPECT_EQ(good.errorCode, 0);
    EXPECT_TRUE(good.message.empty());
    EXPECT_TRUE(good.errorDescription.empty()) << "no error information after a good read";
    const Outcome failed = Read(reader.Get(), u"EDY");
    EXPECT_EQ(failed.status, S_OK);
    EXPECT_EQ(failed.good, VARIANT_FALSE);
    EXPECT_TRUE(failed.cardId.empty()) << "nothing of the good read is left";
    EXPECT_EQ(failed.errorCode, 1);
    EXPECT_TRUE(failed.message == NoCard);

    // The reader's control goes with the reader, and both libraries may unload.
    const auto readerCanUnloadNow = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"NorvaneCardReader.dll"), "DllCanUnloadNow")));
    ASSERT_TRUE(readerCanUnloadNow);
    EXPECT_EQ(readerCanUnloadNow(), S_FALSE);
    reader.Reset();
    supports.Reset();
    EXPECT_EQ(ServerLibrary::CanUnloadNow(), S_OK) << "a control is left alive";
    EXPECT_EQ(readerCanUnloadNow(), S_OK);
}

// Runs a handler inside each event of the real control, then passes the event on to the sink
// the card reader connected.
class RelaySink final : public ComObject<IDispatch, &IID_IDispatch> {
public:
    ComPtr<IDispatch> target;
    std::function<void(DISPID)> handler;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (ComObject::QueryInterface(iid, object) == S_OK || Answer(iid, DIID_ITavrixEvents, object))
            return S_OK;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override
    {
        const ComPtr<IDispatch> to = target;
        if (handler)
            handler(dispid);
        return to ? to->Invoke(dispid, iid, lcid, flags, parameters, result, exception, argumentError) : S_OK;
    }
};

// The one connection point of the stand-in control: it refuses the sink, or takes it and keeps
// it (no event ever reaches it), or passes it on to the real control through a relay.
class EventPoint final : public ComObject<IConnectionPoint, &IID_IConnectionPoint> {
public:
    HRESULT adviseResult = S_OK;
    ComPtr<RelaySink> relay;  // set: events pass
    int advised = 0;
    std::vector<DWORD> unadvised;
    ComPtr<IUnknown> sink;
    ComPtr<IConnectionPoint> realPoint;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override
    {
        *iid = DIID_ITavrixEvents;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* given, DWORD* cookie) override
    {
        ++advised;
        if (FAILED(adviseResult))
            return adviseResult;
        sink = given;
        *cookie = 42;
        if (relay) {
            sink.As(&relay->target);
            return realPoint->Advise(relay.Get(), &realCookie_);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override
    {
        unadvised.push_back(cookie);
        if (relay) {
            realPoint->Unadvise(realCookie_);
            realPoint.Reset();  // it holds the real control
            relay->target.Reset();
        }
        sink.Reset();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    DWORD realCookie_ = 0;
};

// A control that answers ITavrix with a real control's and its events with the point above.
class StandInControl final : public ComObject<IConnectionPointContainer, &IID_IConnectionPointContainer> {
public:
    StandInControl(ComPtr<IUnknown> real, ComPtr<EventPoint> point, int& alive)
        : real_(std::move(real)), point_(std::move(point)), alive_(alive)
    {
        ++alive_;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (ComObject::QueryInterface(iid, object) == S_OK)
            return S_OK;
        return IsEqualIID(iid, IID_ITavrix) ? real_->QueryInterface(iid, object) : E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override
    {
        if (!IsEqualIID(iid, DIID_ITavrixEvents))
            return CONNECT_E_NOCONNECTION;
        return point_.CopyTo(point);
    }

private:
    ~StandInControl() override { --alive_; }
    ComPtr<IUnknown> real_;
    ComPtr<EventPoint> point_;
    int& alive_;
};

class StandInFactory final : public ComObject<IClassFactory, &IID_IClassFactory> {
public:
    ComPtr<EventPoint> point = new EventPoint;
    int alive = 0;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** object) override
    {
        const ComPtr<IUnknown> real = ServerLibrary::Create<IUnknown>();
        if (!real)
            return E_FAIL;
        ComPtr<IConnectionPointContainer> container;
        if (point->relay && (FAILED(real.As(&container)) ||
                             FAILED(container->FindConnectionPoint(DIID_ITavrixEvents,
                                                                   point->realPoint.ReleaseAndGetAddressOf()))))
            return E_FAIL;
        const ComPtr<StandInControl> control = new StandInControl(real, point, alive);
        return control->QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// Stands the stand-in control in for the registered one, for this process.
class StandInRegistered {
public:
    StandInRegistered() : factory(new StandInFactory)
    {
        EXPECT_EQ(CoRegisterClassObject(CLSID_Tavrix, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_),
                  S_OK);
    }
    ~StandInRegistered() { CoRevokeClassObject(cookie_); }
    const ComPtr<StandInFactory> factory;

private:
    DWORD cookie_ = 0;
};

TEST_F(InProcess, AReadWithoutTheEventIsAFailedRead)
{
    PlaceReaderLibrary(&GoodStep);
    const StandInRegistered silent;
    ComPtr<ICardReader> reader = Create();
    ASSERT_TRUE(reader);
    EXPECT_EQ(silent.factory->alive, 0) << "the control is made by the first read";

    const Outcome o = Read(reader.Get(), u"EDY");
    EXPECT_EQ(o.status, S_OK);
    EXPECT_EQ(o.good, VARIANT_FALSE);
    EXPECT_EQ(o.errorCode, 1);
    EXPECT_TRUE(o.cardId.empty());
    EXPECT_TRUE(o.message == NoEvent);
    EXPECT_EQ(silent.factory->alive, 1);
    EXPECT_EQ(silent.factory->point->advised, 1);
    const Outcome again = Read(reader.Get(), u"EDY");
    EXPECT_EQ(again.good, VARIANT_FALSE);
    EXPECT_EQ(silent.factory->point->advised, 1) << "one control, connected once, for the object's life";

    // Releasing the reader disconnects its sink and releases the control.
    reader.Reset();
    EXPECT_EQ(silent.factory->point->unadvised, std::vector<DWORD>{42});
    EXPECT_FALSE(silent.factory->point->sink);
    EXPECT_EQ(silent.factory->alive, 0);
    EXPECT_EQ(ServerLibrary::CanUnloadNow(), S_OK) << "a control is left alive";
}

TEST_F(InProcess, AControlThatRefusesTheSinkIsAFault)
{
    PlaceReaderLibrary(&GoodStep);
    const StandInRegistered silent;
    silent.factory->point->adviseResult = CONNECT_E_ADVISELIMIT;
    ComPtr<ICardReader> reader = Create();
    ASSERT_TRUE(reader);

    const Outcome o = Read(reader.Get(), u"EDY");
    EXPECT_EQ(o.status, CONNECT_E_ADVISELIMIT);
    EXPECT_EQ(o.errorSource, u"Norvane.CardReader");
    EXPECT_EQ(o.errorDescription.rfind(u"The card reader's sink cannot be connected to the Tavrix control's events", 0),
              0u);
    EXPECT_EQ(o.errorCode, 1);
    EXPECT_TRUE(o.message == o.errorDescription);
    EXPECT_EQ(silent.factory->alive, 0) << "a control that could not be connected is not kept";

    // The next read tries again.
    silent.factory->point->adviseResult = S_OK;
    EXPECT_EQ(Read(reader.Get(), u"EDY").status, S_OK);
    EXPECT_EQ(silent.factory->point->advised, 2);
    reader.Reset();
    EXPECT_EQ(silent.factory->alive, 0);
}

// The event handler runs inside Read_Card: a client that reads again from inside it, with the
// same object or another, is refused (the control's read would wait on itself), and one that
// drops its last reference there finds the read completed all the same.
TEST_F(InProcess, AnEventHandlerThatReadsAgainOrLetsGo)
{
    PlaceReaderLibrary(&GoodStep);
    const StandInRegistered relayed;
    relayed.factory->point->relay = new RelaySink;
    ComPtr<ICardReader> reader = Create(), other = Create();
    ASSERT_TRUE(reader && other);
    ICardReader* const inside = reader.Get();
    std::vector<HRESULT> nested;
    relayed.factory->point->relay->handler = [&](DISPID dispid) {
        if (dispid != DISPID_On_ReadData || !reader)
            return;
        for (ICardReader* again : {inside, other.Get()}) {
            VARIANT_BOOL good = VARIANT_FALSE;
            nested.push_back(again->Read(Bstr(u"EDY").get(), &good));
        }
        reader.Reset();
    };
    VARIANT_BOOL good = VARIANT_FALSE;
    EXPECT_EQ(inside->Read(Bstr(u"EDY").get(), &good), S_OK);
    EXPECT_EQ(good, VARIANT_TRUE) << "the event after the handler still counts";
    EXPECT_EQ(nested, std::vector<HRESULT>(2, static_cast<HRESULT>(0x8000000E)));
    EXPECT_EQ(relayed.factory->point->unadvised, std::vector<DWORD>{42}) << "released when the read ended";
    EXPECT_EQ(relayed.factory->alive, 0);
    EXPECT_EQ(ServerLibrary::CanUnloadNow(), S_OK) << "a control is left alive";
}

// The registration a machine gets, and that unregistering takes it all back.
class CardReaderRegistration : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (childProcess)
            GTEST_SKIP() << "the parent's case";
    }
    void TearDown() override { RegSvr32(L"/u", Built(L"NorvaneCardReader.dll")); }

    static std::wstring Value(const std::wstring& key, const wchar_t* name)
    {
        wchar_t value[MAX_PATH] = {};
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
            return L"(none)";
        return value;
    }
    static bool KeyExists(const std::wstring& key)
    {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
            return false;
        RegCloseKey(opened);
        return true;
    }
};

TEST_F(CardReaderRegistration, RegistersTheClassItsInterfaceAndTypeLibraryAndTakesThemBack)
{
    const std::wstring library = Built(L"NorvaneCardReader.dll");
    const std::wstring classKey = L"CLSID\\" + Clsid;
    const struct {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    } rows[] = {
        {classKey, nullptr, L"Norvane Card Reader"},
        {classKey + L"\\InprocServer32", nullptr, library},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\ProgID", nullptr, L"Norvane.CardReader"},
        {classKey + L"\\TypeLib", nullptr, Libid},
        {L"Norvane.CardReader\\Clsid", nullptr, Clsid},
        {L"Interface\\" + Iid + L"\\ProxyStubClsid32", nullptr, L"{00020424-0000-0000-C000-000000000046}"},
        {L"Interface\\" + Iid + L"\\TypeLib", nullptr, Libid},
        {L"TypeLib\\" + Libid + L"\\1.0\\0\\" + LibrarySystem, nullptr, library},
    };
    ASSERT_EQ(RegSvr32(L"", library), 0u);
    for (const auto& row : rows) {
        SCOPED_TRACE(fs::path(row.key).string());
        EXPECT_TRUE(fs::path(Value(row.key, row.name)) == fs::path(row.value)) << fs::path(Value(row.key, row.name));
    }
    CLSID fromProgId{};
    EXPECT_EQ(CLSIDFromProgID(L"Norvane.CardReader", &fromProgId), S_OK);
    EXPECT_TRUE(IsEqualCLSID(fromProgId, CLSID_CardReader));

    ASSERT_EQ(RegSvr32(L"/u", library), 0u);
    for (const std::wstring& key : {classKey, std::wstring(L"Norvane.CardReader"), L"Interface\\" + Iid,
                                    L"TypeLib\\" + Libid})
        EXPECT_FALSE(KeyExists(key)) << fs::path(key);
    EXPECT_EQ(RegSvr32(L"/u", library), 0u) << "unregistering with nothing registered succeeds";
}

// Faults in the card reader's library end the process too: the crash guard watches Norvane.ocx
// and this program.
LONG CALLBACK CardReaderCrashGuard(EXCEPTION_POINTERS* information)
{
    const EXCEPTION_RECORD& record = *information->ExceptionRecord;
    HMODULE module = nullptr;
    if ((record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION || record.ExceptionCode == EXCEPTION_ILLEGAL_INSTRUCTION ||
         record.ExceptionCode == EXCEPTION_STACK_OVERFLOW) &&
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(record.ExceptionAddress), &module) &&
        module == GetModuleHandleW(L"NorvaneCardReader.dll")) {
        char where[MAX_PATH + 32], line[MAX_PATH + 64];
        CrashGuard::DescribeAddress(record.ExceptionAddress, where);
        wsprintfA(line, "\n[crash] exception 0x%08lx at %s\n", static_cast<unsigned long>(record.ExceptionCode), where);
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, lstrlenA(line), &written, nullptr);
        TerminateProcess(GetCurrentProcess(), CrashGuard::ExitCode);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

int main(int argc, char** argv)
{
    CrashGuard::Install();
    AddVectoredExceptionHandler(1, CardReaderCrashGuard);
    for (int i = 1; i < argc; ++i)
        childProcess = childProcess || std::string(argv[i]) == "--child";
    ::testing::InitGoogleTest(&argc, argv);
    if (!childProcess) {
        // The C++ clients run only in the children that their parent cases start.
        std::string& filter = ::testing::GTEST_FLAG(filter);
        filter += filter.find('-') == std::string::npos ? "-InProcess.*" : ":InProcess.*";
    }
    return RUN_ALL_TESTS();
}
