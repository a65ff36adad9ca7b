#include "ParkingWindow.h"

#include "ServerInstance.h"

namespace {

LRESULT CALLBACK ParkingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND ParkingWindow()
{
    static HWND parking = nullptr;
    if (parking && IsWindow(parking))
        return parking;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ParkingProcedure;
    windowClass.hInstance = ServerInstance;
    windowClass.lpszClassName = L"QivParkingWindow";
    RegisterClassW(&windowClass);  // fails harmlessly when already registered
    parking = CreateWindowExW(0, L"QivParkingWindow", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, ServerInstance,
                              nullptr);
    return parking;
}
