// The control's ProgID: the source of its error information and its registered name.
#pragma once

constexpr wchar_t TavrixProgId[] = L"Tavrix.Tavrix";
