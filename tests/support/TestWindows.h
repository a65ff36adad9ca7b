// Small pieces the windowed tests share (tests only).
#pragma once

#include <windows.h>

// The procedure of a frame that does nothing of its own.
inline LRESULT CALLBACK PlainWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

// Dispatches what is waiting in this thread's queue.
inline void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}
