// Norvane.ocx loaded by COM and unloaded again once idle, as a host that frees unused
// libraries sees it: nothing the library made may outlive its code.
#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "../../support/ChildProcess.h"
#include "../../support/CrashGuard.h"
#include "../../support/TestContainer.h"
#include "../../support/TestWindows.h"
#include "Tavrix_h.h"

using Microsoft::WRL::ComPtr;

namespace {

// A fault in our code (a broadcast reaching an unloaded procedure among them) ends the
// program with its place printed: Wine would swallow it inside a window procedure.
const bool guarded = (CrashGuard::Install(), true);

// Calls one of the library's exports through a reference of this program's own, given back
// at once: afterwards only COM holds the library, so only COM can unload it.
HRESULT CallExport(const char* name)
{
    HMODULE module = LoadLibraryW((ProgramFolder() + L"Norvane.ocx").c_str());
    if (!module)
        return HRESULT_FROM_WIN32(GetLastError());
    const auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    const HRESULT result = entry ? entry() : E_NOINTERFACE;
    FreeLibrary(module);
    return result;
}

// The module holding the code at address, or "no module" for code that is gone.
std::string CodeOwner(const void* address)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return "no module";
    char name[MAX_PATH] = {};
    GetModuleFileNameA(module, name, MAX_PATH);
    return name;
}

bool IsLiveCode(const void* address)
{
    MEMORY_BASIC_INFORMATION memory{};
    const DWORD executable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return VirtualQuery(address, &memory, sizeof memory) == sizeof memory && memory.State == MEM_COMMIT &&
           (memory.Protect & executable) && CodeOwner(address) != "no module";
}

BOOL CALLBACK FindFormIn(HWND window, LPARAM found)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (std::wstring(name) != L"TTavrix")
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND FindForm(HWND parent)
{
    HWND found = nullptr;
    EnumChildWindows(parent, FindFormIn, reinterpret_cast<LPARAM>(&found));
    return found;
}

class Unload : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(GetModuleHandleW(L"Norvane.ocx"), nullptr) << "only COM may load the library here";
        ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = PlainWindow;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"UnloadTestsFrame";
        RegisterClassW(&windowClass);
        frame = CreateWindowW(L"UnloadTestsFrame", L"frame", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0,
                              400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(frame, nullptr);
    }

    void TearDown() override
    {
        DestroyWindow(frame);
        Pump();
        EXPECT_EQ(CallExport("DllUnregisterServer"), S_OK);
        CoFreeUnusedLibrariesEx(0, 0);
        CoUninitialize();
    }

    // A control made through COM, shown in place in the frame; its window, or null.
    HWND ShowControl()
    {
        ComPtr<IOleObject> control;
        const HRESULT created =
            CoCreateInstance(CLSID_Tavrix, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&control));
        EXPECT_EQ(created, S_OK);
        if (FAILED(created))
            return nullptr;
        CallLog log;
        const ComPtr<InPlaceTestSite> site = new InPlaceTestSite(log, frame);
        EXPECT_EQ(control->SetClientSite(site->ClientSite()), S_OK);
        EXPECT_EQ(control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site->ClientSite(), 0, frame, nullptr), S_OK);
        HWND form = FindForm(frame);
        EXPECT_NE(form, nullptr) << "the control's window in the frame";
        Pump();
        ComPtr<IOleInPlaceObject> inPlace;
        control.As(&inPlace);
        EXPECT_EQ(inPlace->InPlaceDeactivate(), S_OK);
        EXPECT_EQ(control->Close(OLECLOSE_NOSAVE), S_OK);
        EXPECT_EQ(control->SetClientSite(nullptr), S_OK);
        return form;
    }

    HWND frame = nullptr;
};

TEST_F(Unload, NothingTheLibraryMadeOutlivesItsCode)
{
    HWND form = ShowControl();
    ASSERT_NE(form, nullptr);
    HMODULE library = GetModuleHandleW(L"Norvane.ocx");
    ASSERT_NE(library, nullptr);
    HWND parking = FindWindowW(L"QivParkingWindow", nullptr);
    const std::vector<std::pair<const wchar_t*, HWND>> made = {{L"QivParkingWindow", parking}, {L"TTavrix", form}};

    const auto canUnloadNow =
        reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
    ASSERT_NE(canUnloadNow, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK) << "idle: the host may unload it";
    CoFreeUnusedLibrariesEx(0, 0);
    // The library made windows, which live on past the host's unload: it stays loaded for them.
    EXPECT_EQ(GetModuleHandleW(L"Norvane.ocx"), library) << "kept loaded once it has made a window";

    for (const auto& [className, window] : made) {
        const std::string name(className, className + wcslen(className));
        if (window && IsWindow(window)) {
            const auto procedure = reinterpret_cast<const void*>(GetWindowLongPtrW(window, GWLP_WNDPROC));
            EXPECT_TRUE(IsLiveCode(procedure)) << "window of class " << name << " left behind with its procedure at "
                                               << procedure << " (" << CodeOwner(procedure) << ")";
        }
        WNDCLASSEXW registered{};
        registered.cbSize = sizeof registered;
        if (GetClassInfoExW(library, className, &registered)) {
            const auto procedure = reinterpret_cast<const void*>(registered.lpfnWndProc);
            EXPECT_TRUE(IsLiveCode(procedure)) << "class " << name << " left registered with its procedure at "
                                               << procedure << " (" << CodeOwner(procedure) << ")";
        }
    }

    // Every top-level window of the process hears these; one left behind runs unloaded code.
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"intl"), SMTO_ABORTIFHUNG,
                        5000, &answer);
    SendMessageTimeoutW(HWND_BROADCAST, WM_SYSCOLORCHANGE, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
    Pump();

    EXPECT_NE(ShowControl(), nullptr) << "a control after the library came back";
}

}  // namespace
