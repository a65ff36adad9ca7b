// The names under which the object is known, for registration and for error information.
#pragma once

constexpr wchar_t CardReaderProgId[] = L"Norvane.CardReader";
constexpr wchar_t CardReaderClassName[] = L"Norvane Card Reader";
constexpr wchar_t CardReaderInterfaceName[] = L"ICardReader";
