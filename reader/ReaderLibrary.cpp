#include "ReaderLibrary.h"

#include <windows.h>

#include "CardRead.h"
#include "FileHandle.h"
#include "LibraryMachine.h"

namespace {

// Written only by LoadReaderLibrary, which runs under the read lock.
struct ReaderLibrary {
    HMODULE module = nullptr;
    ReaderEntryPoints entryPoints;
} readerLibrary;

bool IsFile(const wchar_t* path)
{
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// False only for an image built for another processor: a file whose header cannot be read is
// left to LoadLibraryW to judge, as before.
bool IsForThisProcess(const wchar_t* path)
{
    const FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return true;
    const auto machine = LibraryMachine([&file](uint64_t offset, uint8_t* bytes, size_t count) -> size_t {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        return ReadFile(file.get(), bytes, static_cast<DWORD>(count), &read, &at) ? read : 0;
    });
    return !machine || *machine == ProcessMachine;
}

template <typename Function>
void Resolve(HMODULE module, const char* name, Function& entryPoint)
{
    entryPoint = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

ReaderEntryPoints LoadReaderLibrary()
{
    for (const wchar_t* path : ReaderLibraryPaths) {
        if (IsFile(path) && IsForThisProcess(path)) {
            if (HMODULE module = LoadLibraryW(path))
                readerLibrary.module = module;
            break;
        }
    }
    if (HMODULE module = readerLibrary.module) {
        ReaderEntryPoints& e = readerLibrary.entryPoints;
        Resolve(module, "initialize_library", e.initialize_library);
        Resolve(module, "dispose_library", e.dispose_library);
        Resolve(module, "open_reader_writer_auto", e.open_reader_writer_auto);
        Resolve(module, "close_reader_writer", e.close_reader_writer);
        Resolve(module, "polling_and_get_card_information", e.polling_and_get_card_information);
        Resolve(module, "read_block_without_encryption", e.read_block_without_encryption);
        Resolve(module, "get_last_error_type", e.get_last_error_type);
    }
    return readerLibrary.entryPoints;
}

void ReadCard(std::u16string_view ctype, TCard_Data& card)
{
    ReadCard(LoadReaderLibrary, ctype, card);
}
