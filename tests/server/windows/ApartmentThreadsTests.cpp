// Controls of one loaded Norvane.ocx in several single-threaded apartments at once: each
// apartment may end while the others go on, and reads from all of them share one reader.
#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../../../base/Bstr.h"
#include "../../support/CrashGuard.h"
#include "../../support/RecordingSink.h"
#include "../../support/ServerLibrary.h"
#include "../../support/SimulatorDll.h"
#include "../../support/TestContainer.h"
#include "../../support/TestWindows.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DISPID OnReadData = 211;
constexpr DWORD ThreadTimeout = 20000;

// A fault in our code (a broadcast reaching an unloaded procedure among them) ends the
// program with its place printed: Wine would swallow it inside a window procedure.
const bool guarded = (CrashGuard::Install(), true);

// Waits as an apartment must: messages sent from other threads are answered meanwhile.
bool WaitPumping(HANDLE handle, DWORD timeout = ThreadTimeout)
{
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD spent = GetTickCount() - start;
        const DWORD left = spent < timeout ? timeout - spent : 0;
        const DWORD woken = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0)
            return true;
        if (woken != WAIT_OBJECT_0 + 1 || left == 0)
            return false;
        Pump();
    }
}

struct Event {
    Event() : handle(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Event() { CloseHandle(handle); }
    void Set() { SetEvent(handle); }
    HANDLE handle;
};

std::string Utf8(const std::wstring& text)
{
    std::string bytes(text.size() * 3 + 1, '\0');
    bytes.resize(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                                     static_cast<int>(bytes.size()), nullptr, nullptr));
    return bytes;
}

BOOL CALLBACK DescribeAndClose(HWND window, LPARAM description)
{
    wchar_t className[64] = {}, title[256] = {}, text[512] = {};
    GetClassNameW(window, className, 64);
    GetWindowTextW(window, title, 256);
    // A message box says what it came for in its static text.
    GetDlgItemTextW(window, 0xFFFF, text, 512);
    *reinterpret_cast<std::string*>(description) +=
        " [" + Utf8(className) + " \"" + Utf8(title) + "\" " + Utf8(text) + "]";
    PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// A thread in its own single-threaded apartment.
class StaThread {
public:
    explicit StaThread(std::function<void()> body) : body_(std::move(body))
    {
        handle_ = CreateThread(nullptr, 0, Run, this, 0, &id_);
    }
    ~StaThread()
    {
        if (handle_) {
            WaitForSingleObject(handle_, ThreadTimeout);
            CloseHandle(handle_);
        }
    }
    HANDLE handle() const { return handle_; }

    // Waits for the thread to end. A thread stuck (in a message box, say) is described, its
    // windows are asked to close, and the wait fails.
    ::testing::AssertionResult Ends(const char* what, DWORD timeout = ThreadTimeout)
    {
        if (WaitPumping(handle_, timeout))
            return ::testing::AssertionSuccess();
        std::string windows;
        EnumThreadWindows(id_, DescribeAndClose, reinterpret_cast<LPARAM>(&windows));
        WaitForSingleObject(handle_, 5000);
        return ::testing::AssertionFailure() << what << " did not return within " << timeout / 1000
                                             << " s; the thread's windows:" << (windows.empty() ? " none" : windows);
    }

private:
    static DWORD WINAPI Run(LPVOID self)
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        static_cast<StaThread*>(self)->body_();
        CoUninitialize();
        return 0;
    }

    std::function<void()> body_;
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// One control in place in a frame of the calling thread's own.
class PlacedControl {
public:
    PlacedControl()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = PlainWindow;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ApartmentThreadsTestsFrame";
        RegisterClassW(&windowClass);  // fails harmlessly once registered
        frame = CreateWindowW(L"ApartmentThreadsTestsFrame", L"frame", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE,
                              0, 0, 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        control = ServerLibrary::Create<IOleObject>();
        if (!control)
            return;
        site = new InPlaceTestSite(log, frame);
        control->SetClientSite(site->ClientSite());
        control.As(&inPlace);
    }
    ~PlacedControl()
    {
        if (control) {
            control->Close(OLECLOSE_NOSAVE);
            control->SetClientSite(nullptr);
        }
        inPlace.Reset();
        control.Reset();
        site.Reset();
        DestroyWindow(frame);
        Pump();
    }

    HRESULT Activate()
    {
        return control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site->ClientSite(), 0, frame, nullptr);
    }
    HWND Window() const
    {
        HWND window = nullptr;
        inPlace->GetWindow(&window);
        return window;
    }

    HWND frame = nullptr;
    CallLog log;
    ComPtr<InPlaceTestSite> site;
    ComPtr<IOleObject> control;
    ComPtr<IOleInPlaceObject> inPlace;
};

class Apartments : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(ServerLibrary::Module(), nullptr);
    }
    void TearDown() override
    {
        EXPECT_EQ(ServerLibrary::CanUnloadNow(), S_OK);
    }
};

TEST_F(Apartments, AControlOutlivesTheApartmentThatCameFirst)
{
    Event firstPlaced, secondPlaced, firstMayGo;
    StaThread first([&] {
        {
            PlacedControl placed;
            ASSERT_TRUE(placed.control);
            EXPECT_EQ(placed.Activate(), S_OK);
            firstPlaced.Set();
            WaitPumping(firstMayGo.handle);
            EXPECT_EQ(placed.inPlace->InPlaceDeactivate(), S_OK);
        }
    });
    StaThread second([&] {
        if (!WaitPumping(firstPlaced.handle))
            return;
        PlacedControl placed;
        ASSERT_TRUE(placed.control);
        EXPECT_EQ(placed.Activate(), S_OK);
        secondPlaced.Set();
        ASSERT_TRUE(WaitPumping(first.handle())) << "the first apartment ends";

        HWND window = placed.Window();
        ASSERT_TRUE(IsWindow(window));
        EXPECT_EQ(GetParent(window), placed.frame);
        ComPtr<ITavrix> tavrix;
        ASSERT_EQ(placed.control.As(&tavrix), S_OK);
        EXPECT_EQ(tavrix->put_Caption(Bstr(u"second").get()), S_OK);
        EXPECT_EQ(tavrix->put_Color(0x00FF8000), S_OK);
        ComPtr<IViewObject> view;
        ASSERT_EQ(placed.control.As(&view), S_OK);
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, 100, 50);
        HGDIOBJ previous = SelectObject(memory, bitmap);
        const RECTL bounds{0, 0, 100, 50};
        EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory, &bounds, nullptr, nullptr, 0),
                  S_OK);
        EXPECT_EQ(GetPixel(memory, 50, 25), RGB(0x00, 0x80, 0xFF)) << "drawn in the new back colour";
        SelectObject(memory, previous);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);

        EXPECT_EQ(placed.inPlace->InPlaceDeactivate(), S_OK);
        EXPECT_EQ(placed.Activate(), S_OK);
        window = placed.Window();
        EXPECT_TRUE(IsWindow(window));
        EXPECT_EQ(GetParent(window), placed.frame);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(placed.inPlace->InPlaceDeactivate(), S_OK);
    });

    ASSERT_TRUE(WaitPumping(secondPlaced.handle)) << "both controls are in place";
    firstMayGo.Set();
    EXPECT_TRUE(first.Ends("the first apartment's teardown"));
    EXPECT_TRUE(second.Ends("the second apartment's work"));
}

TEST_F(Apartments, AControlIsMadeAfterTheFirstApartmentEnded)
{
    StaThread first([] {
        ComPtr<IOleObject> control = ServerLibrary::Create<IOleObject>();
        EXPECT_TRUE(control);
    });
    ASSERT_TRUE(first.Ends("the first apartment's control"));

    HRESULT activated = E_FAIL;
    bool made = false, placedInFrame = false;
    StaThread second([&] {
        PlacedControl placed;
        made = placed.control != nullptr;
        if (!made)
            return;
        activated = placed.Activate();
        placedInFrame = GetParent(placed.Window()) == placed.frame;
        placed.inPlace->InPlaceDeactivate();
    });
    ASSERT_TRUE(second.Ends("the control's creation in a later apartment"));
    EXPECT_TRUE(made);
    EXPECT_EQ(activated, S_OK);
    EXPECT_TRUE(placedInFrame);
}

// Several apartments starting and ending at different times, each reading over and over.
class ConcurrentReads : public Apartments {
protected:
    static void SetUpTestSuite()
    {
        std::filesystem::remove_all(ReaderLibraryPaths[1]);
        InstallSimulator(ReaderLibraryPaths[0]);
        // Loaded here so that it can be scripted before the first read binds it.
        library = LoadLibraryW(ReaderLibraryPaths[0]);
    }

    static HMODULE library;
};
HMODULE ConcurrentReads::library = nullptr;

// One apartment's rounds: create, connect, read, release. Returns what went wrong, if anything.
std::string ReadRounds(int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        const std::string where = "round " + std::to_string(round) + ": ";
        ComPtr<IOleObject> control = ServerLibrary::Create<IOleObject>();
        if (!control)
            return where + "no control";
        const ComPtr<TestSite> site = new TestSite;
        control->SetClientSite(site.Get());
        ComPtr<IConnectionPointContainer> container;
        ComPtr<IConnectionPoint> point;
        control.As(&container);
        container->FindConnectionPoint(DIID_ITavrixEvents, &point);
        const ComPtr<RecordingSink> sink = new RecordingSink;
        DWORD cookie = 0;
        if (!point || point->Advise(static_cast<ITavrixEvents*>(sink.Get()), &cookie) != S_OK)
            return where + "no connection";
        ComPtr<ITavrix> tavrix;
        control.As(&tavrix);
        const HRESULT read = tavrix->Read_Card(Bstr(u"EDY").get());
        if (read != S_OK)
            return where + "Read_Card answered " + std::to_string(read);
        const RecordedInvoke* event = nullptr;
        for (const RecordedInvoke& call : sink->calls)
            if (call.dispid == OnReadData)
                event = &call;
        if (!event || event->arguments.size() != 3)
            return where + "no On_ReadData";
        if (event->arguments[1].number != 0)
            return where + "On_ReadData with Error " + std::to_string(event->arguments[1].number);
        point->Unadvise(cookie);
        control->Close(OLECLOSE_NOSAVE);
        control->SetClientSite(nullptr);
        Pump();
    }
    return std::string();
}

TEST_F(ConcurrentReads, EveryReadReturnsAloneWithItsEvent)
{
    ASSERT_NE(library, nullptr);
    SimulatorExport<void (*)()>("sim_reset")();
    SimScript script{};
    SimulatorExport<void (*)(SimScript*)>("sim_get_script")(&script);
    script.pollDelayMilliseconds = 15;  // long enough for another read to start meanwhile
    SimulatorExport<void (*)(const SimScript*)>("sim_set_script")(&script);

    constexpr int ThreadCount = 4;
    std::string failures[ThreadCount];
    int totalRounds = 0;
    std::vector<std::unique_ptr<StaThread>> threads;
    for (int t = 0; t < ThreadCount; ++t) {
        const int rounds = 8 + 4 * t;
        totalRounds += rounds;
        threads.push_back(std::make_unique<StaThread>([t, rounds, &failures] {
            Sleep(25 * t);  // staggered starts, and with more rounds each, staggered ends
            failures[t] = ReadRounds(rounds);
        }));
    }
    const DWORD start = GetTickCount();
    for (int t = 0; t < ThreadCount; ++t) {
        const DWORD spent = GetTickCount() - start;
        EXPECT_TRUE(threads[t]->Ends(("apartment " + std::to_string(t)).c_str(), spent < 60000 ? 60000 - spent : 0));
        EXPECT_EQ(failures[t], "") << "apartment " << t;
    }

    // A read is initialize ... dispose on one thread; no other thread's call may come between.
    const auto callCount = SimulatorExport<int32_t (*)()>("sim_call_count")();
    const auto getCall = SimulatorExport<int32_t (*)(int32_t, SimCall*)>("sim_get_call");
    int reads = 0, overlaps = 0;
    int32_t reading = -1;  // the thread inside a read
    for (int32_t i = 0; i < callCount; ++i) {
        SimCall call{};
        getCall(i, &call);
        if (reading >= 0 && static_cast<int32_t>(call.thread) != reading) {
            if (overlaps++ == 0)
                ADD_FAILURE() << "call " << i << " (entry point " << call.entryPoint << ") of thread " << call.thread
                              << " came inside a read of thread " << reading;
        }
        if (call.entryPoint == SimInitializeLibrary) {
            ++reads;
            reading = static_cast<int32_t>(call.thread);
        } else if (call.entryPoint == SimDisposeLibrary) {
            reading = -1;
        }
    }
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(reads, totalRounds);
}

}  // namespace
