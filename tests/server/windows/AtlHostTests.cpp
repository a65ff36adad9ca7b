// The control in a third-party container: the ActiveX host window of Wine's own ATL
// library, created with the control's ProgID as its text.
#include <gtest/gtest.h>

#include <windows.h>

#include <wrl/client.h>

#include <string>

#include "../../../base/Bstr.h"
#include "../../support/ServerLibrary.h"
#include "../../support/TestWindows.h"

using Microsoft::WRL::ComPtr;

namespace {

BOOL CALLBACK FindForm(HWND window, LPARAM found)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (std::wstring(name) == L"TTavrix") {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// Wine's ATL host, ready to make host windows; the control registered for the test.
class AtlHost : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        HMODULE atl = LoadLibraryW(L"atl.dll");
        ASSERT_NE(atl, nullptr);
        const auto initialize =
            reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
        getControl = reinterpret_cast<HRESULT(WINAPI*)(HWND, IUnknown**)>(
            reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
        ASSERT_TRUE(initialize && getControl);
        ASSERT_TRUE(initialize());
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = PlainWindow;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"AtlHostTestsFrame";
        RegisterClassW(&windowClass);
    }

    void SetUp() override { ASSERT_EQ(ServerLibrary::Register(), S_OK); }
    void TearDown() override { EXPECT_EQ(ServerLibrary::Unregister(), S_OK); }

    static HWND Frame(DWORD style)
    {
        return CreateWindowW(L"AtlHostTestsFrame", L"frame", style, 0, 0, 400, 300, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    }
    static HWND Host(HWND frame)
    {
        return CreateWindowW(L"AtlAxWin", L"Tavrix.Tavrix", WS_CHILD | WS_VISIBLE, 10, 10, 200, 100, frame, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    }

    static inline HRESULT(WINAPI* getControl)(HWND, IUnknown**) = nullptr;
};

TEST_F(AtlHost, SitesActivatesAndReleasesTheControl)
{
    HWND frame = Frame(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND host = Host(frame);
    ASSERT_NE(host, nullptr);

    HWND form = nullptr;
    EnumChildWindows(host, FindForm, reinterpret_cast<LPARAM>(&form));
    ASSERT_NE(form, nullptr) << "the control's window in the host's";
    EXPECT_TRUE(IsWindowVisible(form));
    EXPECT_TRUE(IsChild(host, form));
    {
        ComPtr<IUnknown> control;
        ASSERT_EQ(getControl(host, &control), S_OK);
        ComPtr<ITavrix> tavrix;
        ASSERT_EQ(control.As(&tavrix), S_OK);
        Bstr caption;
        tavrix->get_Caption(caption.out());
        EXPECT_EQ(caption.text(), u"Tavrix");
    }

    DestroyWindow(host);
    Pump();
    EXPECT_EQ(ServerLibrary::CanUnloadNow(), S_OK) << "the host's teardown releases the control";
    DestroyWindow(frame);
}

// The order a dialog-like host follows: a frame that clips its children, shown and painted before
// the control is asked for its window; once all is gone, nothing may keep the library loaded.
TEST_F(AtlHost, ReleasesEverythingAfterAShownFrameAndAWindowQuery)
{
    HWND frame = Frame(WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN);
    ASSERT_NE(frame, nullptr);
    HWND host = Host(frame);
    ASSERT_NE(host, nullptr);
    ShowWindow(frame, SW_SHOW);
    UpdateWindow(frame);
    ComPtr<IUnknown> control;
    ASSERT_EQ(getControl(host, &control), S_OK);
    ComPtr<ITavrix> tavrix;
    ASSERT_EQ(control.As(&tavrix), S_OK);
    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(control.As(&inPlace), S_OK);
    HWND form = nullptr;
    ASSERT_EQ(inPlace->GetWindow(&form), S_OK);
    EXPECT_TRUE(IsChild(host, form));

    // The container lets go of its host first; its own references go afterwards.
    DestroyWindow(host);
    inPlace.Reset();
    tavrix.Reset();
    control.Reset();
    Pump();
    DestroyWindow(frame);
    Pump();
    EXPECT_EQ(ServerLibrary::CanUnloadNow(), S_OK) << "no control, lock or factory reference outlives the host";
}

}  // namespace
