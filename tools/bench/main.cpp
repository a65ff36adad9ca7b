// tavrix-bench: what the control costs, each figure beside the bare work it is measured
// against, as minimum, median and maximum over several runs. Prints figures; asserts nothing.
#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "../tavrix-host/ControlHost.h"
#include "../tavrix-host/HostSite.h"
#include "ReaderEntryPoints.h"
#include "ReaderLibrary.h"

using Microsoft::WRL::ComPtr;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Runs = 7;

struct Spread {
    double minimum, median, maximum;
};

// Microseconds per iteration of body, over Runs runs of iterations each.
Spread Measure(int iterations, const std::function<void()>& body)
{
    std::vector<double> perIteration;
    for (int run = 0; run < Runs; ++run) {
        const auto start = Clock::now();
        for (int i = 0; i < iterations; ++i)
            body();
        const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
        perIteration.push_back(elapsed.count() / iterations);
    }
    std::sort(perIteration.begin(), perIteration.end());
    return Spread{perIteration.front(), perIteration[Runs / 2], perIteration.back()};
}

void Print(const char* what, const Spread& s, const char* unit = "us")
{
    std::printf("  %-58s min %9.2f  median %9.2f  max %9.2f %s\n", what, s.minimum, s.median, s.maximum, unit);
}

void Ratio(const char* what, const Spread& control, const Spread& bare, double goal)
{
    const double ratio = control.median / bare.median;
    std::printf("  %-58s %.2f (goal at most %.1f: %s)\n", what, ratio, goal, ratio <= goal ? "met" : "not met");
}

// What every read must do anyway: find, load and bind the library, and make its six calls.
void BareRead()
{
    const wchar_t* path = nullptr;
    for (const wchar_t* candidate : ReaderLibraryPaths) {
        const DWORD attributes = GetFileAttributesW(candidate);
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            path = candidate;
            break;
        }
    }
    HMODULE library = path ? LoadLibraryW(path) : nullptr;
    if (!library)
        return;
    ReaderEntryPoints e;
    const auto resolve = [&](const char* name, auto& entry) {
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(
            reinterpret_cast<void*>(GetProcAddress(library, name)));
    };
    resolve("initialize_library", e.initialize_library);
    resolve("dispose_library", e.dispose_library);
    resolve("open_reader_writer_auto", e.open_reader_writer_auto);
    resolve("close_reader_writer", e.close_reader_writer);
    resolve("polling_and_get_card_information", e.polling_and_get_card_information);
    resolve("read_block_without_encryption", e.read_block_without_encryption);
    resolve("get_last_error_type", e.get_last_error_type);
    uint8_t systemCode[2] = {0xFE, 0x00}, idm[8] = {}, pmm[8] = {}, count = 0, service[2] = {0x0B, 0x11},
            blocks[2] = {0x80, 0x00}, flag1 = 0, flag2 = 0, returned = 0, data[16] = {};
    TPolling_Param polling{systemCode, 0};
    TCard_Info card{idm, pmm};
    TRead_Param read{idm, 1, service, 1, blocks};
    TRead_Result result{&flag1, &flag2, &returned, data};
    e.initialize_library();
    e.open_reader_writer_auto();
    e.polling_and_get_card_information(&polling, &count, &card);
    e.read_block_without_encryption(&read, &result);
    e.close_reader_writer();
    e.dispose_library();
}

// A handler of On_ReadData that takes the card number and does nothing more: what the figure
// measures is the control's part of a read, not a container's handling of the result (the
// tavrix-host event log formats JSON, close to a microsecond a read).
class ReadDataHandler final : public TavrixEventSink {
public:
    UINT cardIdCharacters = 0;

    HRESULT STDMETHODCALLTYPE Invoke(DISPID event, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        // Reversed: Message, Error, card_ID.
        if (event == DISPID_On_ReadData && parameters && parameters->cArgs == 3 &&
            V_VT(&parameters->rgvarg[2]) == VT_BSTR)
            cardIdCharacters = SysStringLen(V_BSTR(&parameters->rgvarg[2]));
        return S_OK;
    }
};

LRESULT CALLBACK Plain(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

size_t HeapBytes()
{
    size_t bytes = 0;
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; ++i) {
        PROCESS_HEAP_ENTRY entry{};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                bytes += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return bytes;
}

}  // namespace

// With --read, only the read's figures (for a second run with another library in place).
int main(int argc, char** argv)
{
    const bool readOnly = argc > 1 && std::string(argv[1]) == "--read";
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Plain;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TavrixBench";
    RegisterClassW(&windowClass);
    HWND frame = CreateWindowW(L"TavrixBench", L"tavrix-bench", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);

    std::printf("1. A late-bound Read_Card with a sink, against the bare work of a read\n");
    {
        ComPtr<IUnknown> control = CreateControl();
        const ComPtr<ReadDataHandler> events = new ReadDataHandler;
        ConnectEvents(control.Get(), events.Get());
        ComPtr<IDispatch> dispatch;
        control.As(&dispatch);
        VARIANT ctype;
        V_VT(&ctype) = VT_BSTR;
        V_BSTR(&ctype) = SysAllocString(L"EDY");
        DISPPARAMS parameters{&ctype, nullptr, 1, 0};
        // Both loops make the same calls into the simulator, which records each of them.
        const Spread bare = Measure(2000, BareRead);
        const Spread read = Measure(2000, [&] {
            dispatch->Invoke(DISPID_Read_Card, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
        });
        Print("bare work: file test, LoadLibraryW, 7 GetProcAddress, 6 calls", bare);
        Print("Read_Card through IDispatch::Invoke, event delivered", read);
        Ratio("ratio", read, bare, 1.1);
        if (events->cardIdCharacters == 0)
            std::printf("  no card number reached the handler: the read's figure is void\n");
        VariantClear(&ctype);
    }

    if (readOnly)
        return 0;
    std::printf("2. A control's life in a container, against a plain child window\n");
    {
        const RECT position{10, 10, 110, 60};
        const Spread plain = Measure(200, [&] {
            HWND child = CreateWindowW(L"TavrixBench", L"", WS_CHILD | WS_VISIBLE, 10, 10, 100, 50, frame, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
            DestroyWindow(child);
        });
        const Spread life = Measure(200, [&] {
            ComPtr<IUnknown> control = CreateControl();
            ComPtr<IQuickActivate> quick;
            control.As(&quick);
            const ComPtr<HostSite> site = new HostSite(frame, position);
            QACONTAINER container{};
            container.cbSize = sizeof container;
            container.pClientSite = site.Get();
            QACONTROL info{};
            info.cbSize = sizeof info;
            quick->QuickActivate(&container, &info);
            ComPtr<IOleObject> ole;
            control.As(&ole);
            ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, frame, &position);
            ole->Close(OLECLOSE_NOSAVE);
            ole->SetClientSite(nullptr);
        });
        Print("create and destroy a plain child window", plain);
        Print("create, quick-activate, activate in place, close, release", life);
        Ratio("ratio", life, plain, 10.0);
    }

    std::printf("3. The property stream of a fresh control\n");
    {
        ComPtr<IUnknown> control = CreateControl();
        ComPtr<IPersistStreamInit> persist;
        control.As(&persist);
        ComPtr<IStream> stream;
        CreateStreamOnHGlobal(nullptr, TRUE, &stream);
        const LARGE_INTEGER start{};
        const Spread save = Measure(2000, [&] {
            stream->Seek(start, STREAM_SEEK_SET, nullptr);
            persist->Save(stream.Get(), TRUE);
        });
        const Spread load = Measure(2000, [&] {
            stream->Seek(start, STREAM_SEEK_SET, nullptr);
            persist->Load(stream.Get());
        });
        const auto perSecond = [](const Spread& s) { return Spread{1e6 / s.maximum, 1e6 / s.median, 1e6 / s.minimum}; };
        Print("saves per second", perSecond(save), "/s");
        Print("loads per second", perSecond(load), "/s");
    }

    std::printf("4. Footprint\n");
    {
        const auto size = std::filesystem::file_size(ProgramFolder() + L"Norvane.ocx");
        std::printf("  %-58s %llu bytes\n", "Norvane.ocx", static_cast<unsigned long long>(size));
        std::vector<Spread> unused;
        std::vector<double> perControl;
        for (int run = 0; run < 3; ++run) {
            const size_t before = HeapBytes();
            std::vector<ComPtr<IUnknown>> controls;
            for (int i = 0; i < 1000; ++i)
                controls.push_back(CreateControl());
            perControl.push_back(static_cast<double>(HeapBytes() - before) / 1000.0);
        }
        std::sort(perControl.begin(), perControl.end());
        std::printf("  %-58s min %9.0f  median %9.0f  max %9.0f bytes\n",
                    "heap bytes per live control, 1000 alive", perControl.front(), perControl[1], perControl.back());
    }
    DestroyWindow(frame);
    CoUninitialize();
    return 0;
}
