#include "ReaderLibrary.h"

#include <windows.h>

#include <cstring>
#include <mutex>  // std::lock_guard

#include "CardRead.h"
#include "EntryPointBinding.h"
#include "FileHandle.h"
#include "Lock.h"
#include "RememberedMachine.h"

namespace {

// Written only by LoadReaderLibrary, which runs under the read lock.
struct ReaderLibrary {
    HMODULE module = nullptr;
    ReaderEntryPoints entryPoints;
} readerLibrary;

// What the header of the file at each of the two paths said; a search can also run outside a
// read (tavrix-host's diagnosis), so the answers have a lock of their own.
Lock rememberedLock;
RememberedMachine rememberedMachines[2];

uint64_t Wide(DWORD high, DWORD low)
{
    return uint64_t{high} << 32 | low;
}

// The stamp of the file at the path; none when the path names no file (a directory does not count).
std::optional<FileStamp> StampOfFile(const wchar_t* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return FileStamp{Wide(data.nFileSizeHigh, data.nFileSizeLow),
                     Wide(data.ftCreationTime.dwHighDateTime, data.ftCreationTime.dwLowDateTime),
                     Wide(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime)};
}

// The machine of the library file at one of the two paths, read again only when the file changed.
std::optional<uint16_t> RememberedFileMachine(const wchar_t* path, const FileStamp& stamp)
{
    RememberedMachine& remembered = rememberedMachines[std::wcscmp(path, ReaderLibraryPathProgramFiles) == 0 ? 0 : 1];
    const std::lock_guard<Lock> locked(rememberedLock);
    return remembered.Of(stamp, [path] { return FileMachine(path); });
}

}  // namespace

std::optional<uint16_t> FileMachine(const wchar_t* path)
{
    const FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    return LibraryMachine([&file](uint64_t offset, uint8_t* bytes, size_t count) -> size_t {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        return ReadFile(file.get(), bytes, static_cast<DWORD>(count), &read, &at) ? read : 0;
    });
}

const wchar_t* ChosenReaderLibrary(uint16_t machine)
{
    for (const wchar_t* path : ReaderLibrarySearchOrder(machine)) {
        if (const std::optional<FileStamp> stamp = StampOfFile(path)) {
            const std::optional<uint16_t> fileMachine = RememberedFileMachine(path, *stamp);
            if (!fileMachine || *fileMachine == machine)
                return path;
        }
    }
    return nullptr;
}

ReaderEntryPoints LoadReaderLibrary()
{
    if (const wchar_t* path = ChosenReaderLibrary(ProcessMachine)) {
        if (HMODULE module = LoadLibraryW(path))
            readerLibrary.module = module;
    }
    if (HMODULE module = readerLibrary.module)
        BindEntryPoints(module, readerLibrary.entryPoints);
    return readerLibrary.entryPoints;
}

void ReadCard(std::u16string_view ctype, TCard_Data& card)
{
    ReadCard(LoadReaderLibrary, ctype, card);
}
