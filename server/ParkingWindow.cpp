#include "ParkingWindow.h"

#include <cwchar>
#include <iterator>
#include <mutex>  // std::lock_guard

#include "Fault.h"
#include "FaultReporting.h"
#include "Lock.h"
#include "ServerInstance.h"

namespace {

constexpr wchar_t ClassName[] = L"QivParkingWindow";

// The control whose handle an owner-drawn item's structure carries in its control-ID field.
HWND ItemOwner(LPARAM lParam)
{
    const UINT controlId = reinterpret_cast<const UINT*>(lParam)[1];  // after the control type
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(controlId));
}

LRESULT CALLBACK ParkingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Controls parked here still get their notifications, reflected back to themselves.
    switch (message) {
    case WM_COMMAND:
        return SendMessageW(reinterpret_cast<HWND>(lParam), 0x2000 + message, wParam, lParam);
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_COMPAREITEM:
        return SendMessageW(ItemOwner(lParam), 0x2000 + message, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

BOOL CALLBACK FindParking(HWND window, LPARAM found)
{
    wchar_t name[std::size(ClassName) + 1] = {};
    if (GetClassNameW(window, name, static_cast<int>(std::size(name))) &&
        wcscmp(name, ClassName) == 0 &&
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)) == ServerInstance) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// This thread's parking window, looked up afresh each time: a handle kept from an earlier
// need may name a window that died with its thread, or one that reuses the handle.
HWND ThreadParkingWindow()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindParking, reinterpret_cast<LPARAM>(&found));
    return found;
}

void RegisterParkingClass()
{
    // Threads register at once when each makes its first control.
    static Lock registering;
    const std::lock_guard<Lock> lock(registering);
    WNDCLASSW existing{};
    if (GetClassInfoW(ServerInstance, ClassName, &existing) && existing.lpfnWndProc != ParkingProcedure &&
        !UnregisterClassW(ClassName, ServerInstance))
        Check(HRESULT_FROM_WIN32(GetLastError()));
    if (!GetClassInfoW(ServerInstance, ClassName, &existing)) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ParkingProcedure;
        windowClass.hInstance = ServerInstance;
        windowClass.lpszClassName = ClassName;
        if (!RegisterClassW(&windowClass))
            throw Fault(u"ウィンドウクラスの作成でエラーが発生しました");
    }
}

// Window classes and windows of this library live on past an unload that a host asks for
// once no control is left (threads end with their windows, broadcasts reach every window):
// from the first window on, the library stays loaded until the process ends.
void PinLibrary()
{
    HMODULE module = nullptr;  // pinning again changes nothing
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&ParkingProcedure), &module);
}

}  // namespace

HWND ParkingWindow()
{
    if (HWND existing = ThreadParkingWindow())
        return existing;
    RegisterParkingClass();
    PinLibrary();
    HWND parking = CreateWindowExW(WS_EX_TOOLWINDOW, ClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   ServerInstance, nullptr);
    if (!parking)
        Check(HRESULT_FROM_WIN32(GetLastError()));
    SetWindowPos(parking, nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_NOZORDER);
    return parking;
}
