// Many full control lifetimes in one process: nothing may accumulate. Prints the figures.
#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>
#include <psapi.h>
#include <wrl/client.h>

#include <cstdio>

#include "../../../base/Bstr.h"
#include "../../support/HeapInUse.h"
#include "../../support/RecordingSink.h"
#include "../../support/ServerLibrary.h"
#include "../../support/SimulatorDll.h"
#include "../../support/TestSite.h"

using Microsoft::WRL::ComPtr;

namespace {

// What the platform reports of the process, and what can be counted directly where it
// reports nothing (Wine gives 0 for the handle, GDI, USER and private-byte figures).
struct Figures {
    DWORD handles = 0, gdiObjects = 0, userObjects = 0;
    SIZE_T privateBytes = 0;
    size_t heapBytes = 0;       // allocated blocks in all of the process's heaps
    size_t windows = 0;         // windows of this thread, children included
    uintptr_t nextHandle = 0;   // the value a new kernel handle gets: leaked handles push it up
};

BOOL CALLBACK CountWindow(HWND window, LPARAM count)
{
    ++*reinterpret_cast<size_t*>(count);
    EnumChildWindows(window, CountWindow, count);
    return TRUE;
}

Figures Measure()
{
    Figures f;
    GetProcessHandleCount(GetCurrentProcess(), &f.handles);
    f.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    f.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    f.privateBytes = memory.PrivateUsage;

    f.heapBytes = HeapInUse();
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&f.windows));
    HANDLE probe = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    f.nextHandle = reinterpret_cast<uintptr_t>(probe);
    CloseHandle(probe);
    return f;
}

void Cycle()
{
    if (const auto reset = SimulatorExport<void (*)()>("sim_reset"))
        reset();  // the simulator's own record of calls would grow otherwise
    ComPtr<IOleObject> control = ServerLibrary::Create<IOleObject>();
    ASSERT_TRUE(control);
    ComPtr<TestSite> site = new TestSite;
    ComPtr<RecordingSink> sink = new RecordingSink;
    ASSERT_EQ(control->SetClientSite(site.Get()), S_OK);
    ComPtr<IConnectionPointContainer> container;
    control.As(&container);
    ComPtr<IConnectionPoint> point;
    container->FindConnectionPoint(DIID_ITavrixEvents, &point);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(static_cast<ITavrixEvents*>(sink.Get()), &cookie), S_OK);
    {
        ComPtr<IEnumConnectionPoints> points, clone;
        ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
        ASSERT_EQ(points->Clone(&clone), S_OK);
        ComPtr<IConnectionPoint> first;
        ASSERT_EQ(clone->Next(1, &first, nullptr), S_OK);
    }
    ComPtr<ITavrix> tavrix;
    control.As(&tavrix);
    const Bstr ctype(u"EDY");
    ASSERT_EQ(tavrix->Read_Card(ctype.get()), S_OK);
    Bstr caption;
    tavrix->get_Caption(caption.out());
    ASSERT_EQ(point->Unadvise(cookie), S_OK);
    control->Close(OLECLOSE_NOSAVE);
    control->SetClientSite(nullptr);
    ASSERT_EQ(sink->calls.size(), 2u);  // OnCreate, On_ReadData; the sink is gone before Close
}

TEST(ControlLifetime, TenThousandCyclesLeaveNothingBehind)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::filesystem::remove_all(ReaderLibraryPaths[1]);
    InstallSimulator(ReaderLibraryPaths[0]);
    for (int i = 0; i < 200; ++i)  // settle caches and first-use allocations
        Cycle();
    const Figures before = Measure();
    for (int i = 0; i < 10000 && !HasFatalFailure(); ++i)
        Cycle();
    const Figures after = Measure();
    std::printf("after 10000 cycles: handles %lu -> %lu, GDI objects %lu -> %lu, USER objects %lu -> %lu, "
                "private bytes %lu -> %lu, heap bytes %lu -> %lu, windows %lu -> %lu, next handle %#lx -> %#lx\n",
                before.handles, after.handles, before.gdiObjects, after.gdiObjects, before.userObjects,
                after.userObjects, static_cast<unsigned long>(before.privateBytes),
                static_cast<unsigned long>(after.privateBytes), static_cast<unsigned long>(before.heapBytes),
                static_cast<unsigned long>(after.heapBytes), static_cast<unsigned long>(before.windows),
                static_cast<unsigned long>(after.windows), static_cast<unsigned long>(before.nextHandle),
                static_cast<unsigned long>(after.nextHandle));
    EXPECT_EQ(ServerLibrary::CanUnloadNow(), S_OK);
    EXPECT_LE(after.handles, before.handles + 16);
    EXPECT_LE(after.gdiObjects, before.gdiObjects + 16);
    EXPECT_LE(after.userObjects, before.userObjects + 16);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_LE(after.nextHandle, before.nextHandle + 16 * 4);
    // A leak of one small object per cycle would pass these.
    EXPECT_LE(after.privateBytes, before.privateBytes + 1024 * 1024);
    EXPECT_LE(after.heapBytes, before.heapBytes + 256 * 1024);
}

void PrintFigures(const char* what, const Figures& before, const Figures& after)
{
    std::printf("%s: handles %lu -> %lu, heap bytes %lu -> %lu, windows %lu -> %lu\n", what, before.handles,
                after.handles, static_cast<unsigned long>(before.heapBytes), static_cast<unsigned long>(after.heapBytes),
                static_cast<unsigned long>(before.windows), static_cast<unsigned long>(after.windows));
}

// A container that walks the connection points on every refresh keeps one control for hours.
TEST(ControlLifetime, EnumeratingConnectionPointsLeavesNothingOnTheControl)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ComPtr<IConnectionPointContainer> container = ServerLibrary::Create<IConnectionPointContainer>();
    ASSERT_TRUE(container);
    const auto enumerate = [&] {
        ComPtr<IEnumConnectionPoints> points, clone;
        ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
        ASSERT_EQ(points->Clone(&clone), S_OK);
    };
    for (int i = 0; i < 200; ++i)
        enumerate();
    const Figures before = Measure();
    for (int i = 0; i < 10000 && !HasFatalFailure(); ++i)
        enumerate();
    const Figures after = Measure();
    PrintFigures("after 10000 enumerations with a clone", before, after);
    // Two small objects per round would add several hundred kilobytes.
    EXPECT_LE(after.heapBytes, before.heapBytes + 64 * 1024);
    container.Reset();
    EXPECT_EQ(ServerLibrary::CanUnloadNow(), S_OK);
}

}  // namespace
