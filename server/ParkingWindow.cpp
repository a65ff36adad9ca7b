#include "ParkingWindow.h"

#include "Fault.h"
#include "FaultReporting.h"
#include "ServerInstance.h"

namespace {

constexpr wchar_t ClassName[] = L"QivParkingWindow";
HWND parking = nullptr;

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
    case WM_NCDESTROY:
        if (window == parking)
            parking = nullptr;
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND ParkingWindow()
{
    if (parking)
        return parking;
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
    parking = CreateWindowExW(WS_EX_TOOLWINDOW, ClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              ServerInstance, nullptr);
    if (!parking)
        Check(HRESULT_FROM_WIN32(GetLastError()));
    SetWindowPos(parking, nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_NOZORDER);
    return parking;
}
