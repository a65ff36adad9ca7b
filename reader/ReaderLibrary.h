// The process-wide binding of the installed FeliCa reader library (Windows only).
#pragma once

#include <string_view>

#include "CardData.h"
#include "ReaderEntryPoints.h"

// Searched in this order at every read; the first existing file is loaded, unless it is a
// library for another processor (a 32-bit one in a 64-bit process, or the other way round),
// which is passed over. Each build looks first where 64-bit Windows keeps the libraries of its
// own processor: x86 under "Program Files (x86)", x64 under "Program Files".
constexpr const wchar_t* ReaderLibraryPathProgramFilesX86 =
    L"C:\\Program Files (x86)\\Common Files\\Sony Shared\\FeliCaLibrary\\felica.dll";
constexpr const wchar_t* ReaderLibraryPathProgramFiles =
    L"C:\\Program Files\\Common Files\\Sony Shared\\FeliCaLibrary\\felica.dll";
#if defined(_WIN64)
constexpr const wchar_t* ReaderLibraryPaths[] = {ReaderLibraryPathProgramFiles, ReaderLibraryPathProgramFilesX86};
#else
constexpr const wchar_t* ReaderLibraryPaths[] = {ReaderLibraryPathProgramFilesX86, ReaderLibraryPathProgramFiles};
#endif

// Loads the library from the first path that names a file of this process's processor and
// resolves its seven entry points. When neither path names one the earlier binding stands; the library
// is never unloaded, so resolved entry points stay valid for the life of the process.
// Gives the entry points as they stand afterwards.
ReaderEntryPoints LoadReaderLibrary();

// One card read with the installed library.
void ReadCard(std::u16string_view ctype, TCard_Data& card);
