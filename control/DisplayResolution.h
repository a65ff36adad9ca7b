// The display's resolution in pixels per inch.
#pragma once

#include <windows.h>

inline int ScreenPixelsPerInch()
{
    HDC screen = GetDC(nullptr);
    const int pixelsPerInch = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return pixelsPerInch > 0 ? pixelsPerInch : 96;
}
