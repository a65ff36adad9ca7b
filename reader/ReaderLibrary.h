// The process-wide binding of the installed FeliCa reader library (Windows only).
#pragma once

#include <string_view>

#include "CardData.h"
#include "ReaderEntryPoints.h"

// Searched in this order at every read; the first existing file is loaded.
constexpr const wchar_t* ReaderLibraryPaths[] = {
    L"C:\\Program Files (x86)\\Common Files\\Sony Shared\\FeliCaLibrary\\felica.dll",
    L"C:\\Program Files\\Common Files\\Sony Shared\\FeliCaLibrary\\felica.dll",
};

// Loads the library from the first path that names a file and resolves its seven
// entry points. When neither path names a file the earlier binding stands; the library
// is never unloaded, so resolved entry points stay valid for the life of the process.
// Gives the entry points as they stand afterwards.
ReaderEntryPoints LoadReaderLibrary();

// One card read with the installed library.
void ReadCard(std::u16string_view ctype, TCard_Data& card);
