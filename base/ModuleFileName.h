// The one place that knows how a module's file name is read, and its length limit.
#pragma once

#include <windows.h>

#include <string>

// The full long path of the module's file; the path as reported when it has no long form;
// empty when it is longer than the platform's 260 characters (the type library load takes
// no more).
inline std::wstring ModuleFileName(HMODULE module)
{
    wchar_t reported[262];
    const DWORD length = GetModuleFileNameW(module, reported, 262);
    if (length == 0 || length >= 262)
        return std::wstring();
    wchar_t longForm[260];
    const DWORD longLength = GetLongPathNameW(reported, longForm, 260);
    if (longLength == 0 || longLength >= 260)
        return std::wstring(reported, length);
    return std::wstring(longForm, longLength);
}
