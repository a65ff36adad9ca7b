// Texts for tavrix-host's messages: UTF-8 from UTF-16, and a Windows error as its number and text.
#pragma once

#include <windows.h>

#include <string>

inline std::string Utf8Text(const std::wstring& text)
{
    std::string utf8(text.size() * 3, '\0');
    utf8.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                        utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

inline std::string WindowsErrorText(DWORD error)
{
    wchar_t text[256] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 256, nullptr);
    std::wstring shown(text);
    while (!shown.empty() && (shown.back() == L'\n' || shown.back() == L'\r' || shown.back() == L'.'))
        shown.pop_back();
    return "Windows error " + std::to_string(error) + (shown.empty() ? "" : ": " + Utf8Text(shown));
}
