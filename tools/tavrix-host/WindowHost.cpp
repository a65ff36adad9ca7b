#include "WindowHost.h"

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <cstdio>
#include <vector>

#include "ControlHost.h"
#include "HostSite.h"
#include "PngFile.h"

using Microsoft::WRL::ComPtr;

namespace {

enum Command { ReadButton = 1, SaveButton, LoadButton, CtypeField, LogList };
constexpr RECT ControlPosition{16, 16, 116, 66};

struct Host {
    HWND frame = nullptr, ctype = nullptr, log = nullptr;
    ComPtr<IUnknown> control;
    ComPtr<ITavrix> tavrix;
    ComPtr<IOleObject> ole;
    ComPtr<HostSite> site;
    std::wstring stateFile;
} host;

std::wstring Wide(const std::string& utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), length);
    return text;
}

void Log(const std::string& line)
{
    if (host.log) {
        const LRESULT index = SendMessageW(host.log, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(line).c_str()));
        SendMessageW(host.log, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    }
}

void Read()
{
    wchar_t ctype[64] = {};
    GetWindowTextW(host.ctype, ctype, 64);
    BSTR argument = SysAllocString(ctype);
    const HRESULT status = host.tavrix->Read_Card(argument);
    SysFreeString(argument);
    if (FAILED(status)) {
        const std::string line = "{\"fault\":\"" + FaultDescription(status) + "\"}";
        Log(line);
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
}

void SaveOrLoad(bool save)
{
    ComPtr<IPersistStreamInit> persist;
    ComPtr<IStream> file;
    HRESULT status = host.control.As(&persist);
    if (SUCCEEDED(status))
        status = SHCreateStreamOnFileEx(host.stateFile.c_str(),
                                        save ? STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE
                                             : STGM_READ | STGM_SHARE_DENY_WRITE,
                                        FILE_ATTRIBUTE_NORMAL, save, nullptr, &file);
    if (SUCCEEDED(status))
        status = save ? persist->Save(file.Get(), TRUE) : persist->Load(file.Get());
    char line[96];
    std::snprintf(line, sizeof line, "{\"%s\":\"0x%08lX\"}", save ? "saved" : "loaded", static_cast<unsigned long>(status));
    Log(line);
}

bool Screenshot(const std::wstring& path)
{
    RECT client;
    GetClientRect(host.frame, &client);
    const int width = client.right, height = client.bottom;
    HDC window = GetDC(host.frame);
    HDC memory = CreateCompatibleDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(window, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, window, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> dib(static_cast<size_t>(stride) * height);
    GetDIBits(memory, bitmap, 0, height, dib.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(host.frame, window);
    std::vector<uint8_t> rows;  // the DIB's rows without their padding
    for (int y = 0; y < height; ++y)
        rows.insert(rows.end(), dib.begin() + static_cast<size_t>(y) * stride,
                    dib.begin() + static_cast<size_t>(y) * stride + static_cast<size_t>(width) * 3);
    return WritePng(path, width, height, rows);
}

LRESULT CALLBACK FrameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == ReadButton)
            Read();
        else if (LOWORD(wParam) == SaveButton)
            SaveOrLoad(true);
        else if (LOWORD(wParam) == LoadButton)
            SaveOrLoad(false);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

HWND Child(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width, int height, int id)
{
    HWND child = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, host.frame,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    return child;
}

}  // namespace

int RunWindow(const WindowOptions& options)
{
    host.stateFile = options.stateFile;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = FrameProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"TavrixHostFrame";
    RegisterClassW(&windowClass);
    host.frame = CreateWindowW(L"TavrixHostFrame", L"tavrix-host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40, 560,
                               360, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    Child(L"STATIC", L"ctype", 0, 140, 18, 40, 20, 0);
    host.ctype = Child(L"EDIT", options.read ? options.readCtype.c_str() : L"EDY", WS_BORDER | ES_AUTOHSCROLL, 184, 16,
                       90, 22, CtypeField);
    Child(L"BUTTON", L"Read", BS_PUSHBUTTON, 284, 15, 70, 24, ReadButton);
    Child(L"BUTTON", L"Save", BS_PUSHBUTTON, 364, 15, 70, 24, SaveButton);
    Child(L"BUTTON", L"Load", BS_PUSHBUTTON, 444, 15, 70, 24, LoadButton);
    host.log = Child(L"LISTBOX", L"", WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 16, 84, 512, 220, LogList);
    ShowWindow(host.frame, SW_SHOW);
    UpdateWindow(host.frame);

    int exitCode = 0;
    try {
        host.control = CreateControl();
        host.control.As(&host.tavrix);
        host.control.As(&host.ole);
        const ComPtr<EventLog> events = new EventLog([](const std::string& line, DISPID event, int) {
            Log(line);
            if (event == 211) {
                std::printf("%s\n", line.c_str());
                std::fflush(stdout);
            }
        });
        ConnectEvents(host.control.Get(), events.Get());
        host.site = new HostSite(host.frame, ControlPosition);
        host.ole->SetClientSite(host.site.Get());
        host.ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, host.site.Get(), 0, host.frame, &ControlPosition);
        Pump();
        if (options.read)
            Read();
        Pump();
        if (!options.screenshot.empty()) {
            RedrawWindow(host.frame, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            Pump();
            Sleep(300);
            Pump();
            if (!Screenshot(options.screenshot))
                exitCode = 3;
        }
        if (!options.exitWhenDone) {
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        host.ole->Close(OLECLOSE_NOSAVE);
        host.ole->SetClientSite(nullptr);
    } catch (HRESULT status) {
        std::printf("{\"fault\":\"the control cannot be created: 0x%08lX\"}\n", static_cast<unsigned long>(status));
        exitCode = 2;
    }
    host.tavrix.Reset();
    host.ole.Reset();
    host.control.Reset();
    host.site.Reset();
    if (IsWindow(host.frame))
        DestroyWindow(host.frame);
    return exitCode;
}
