// The process-wide binding of the installed FeliCa reader library (Windows only).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "CardData.h"
#include "LibraryMachine.h"
#include "ReaderEntryPoints.h"

constexpr const wchar_t* ReaderLibraryPathProgramFilesX86 =
    L"C:\\Program Files (x86)\\Common Files\\Sony Shared\\FeliCaLibrary\\felica.dll";
constexpr const wchar_t* ReaderLibraryPathProgramFiles =
    L"C:\\Program Files\\Common Files\\Sony Shared\\FeliCaLibrary\\felica.dll";

// The paths a build for the machine searches, in its order. Each build looks first where 64-bit
// Windows keeps the libraries of its own processor: x86 under "Program Files (x86)", x64 under
// "Program Files".
constexpr std::array<const wchar_t*, 2> ReaderLibrarySearchOrder(uint16_t machine)
{
    if (machine == MachineAmd64)
        return {ReaderLibraryPathProgramFiles, ReaderLibraryPathProgramFilesX86};
    return {ReaderLibraryPathProgramFilesX86, ReaderLibraryPathProgramFiles};
}
constexpr std::array<const wchar_t*, 2> ReaderLibraryPaths = ReaderLibrarySearchOrder(ProcessMachine);

// The machine of a library file, from its image header; none when the header cannot be read
// or is no image header.
std::optional<uint16_t> FileMachine(const wchar_t* path);

// The library a build for the machine takes: the first of its paths that names a file (a
// directory does not count), unless that file is a library for another processor (a 32-bit one
// in a 64-bit process, or the other way round), which is passed over. A file whose header cannot
// be read is taken, and left to LoadLibraryW to judge. Null when no path qualifies. A file's header
// is read again only when its size or times changed since the last search.
const wchar_t* ChosenReaderLibrary(uint16_t machine);

// Loads the library ChosenReaderLibrary gives for this process and resolves its seven entry
// points. When there is none the earlier binding stands; the library is never unloaded, so
// resolved entry points stay valid for the life of the process. Gives the entry points as they
// stand afterwards.
ReaderEntryPoints LoadReaderLibrary();

// One card read with the installed library.
void ReadCard(std::u16string_view ctype, TCard_Data& card);
