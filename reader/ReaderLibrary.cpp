#include "ReaderLibrary.h"

#include <windows.h>

#include "CardRead.h"
#include "FileHandle.h"

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

template <typename Function>
void Resolve(HMODULE module, const char* name, Function& entryPoint)
{
    entryPoint = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
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
        if (IsFile(path)) {
            const std::optional<uint16_t> fileMachine = FileMachine(path);
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
