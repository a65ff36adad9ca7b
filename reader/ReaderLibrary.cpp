#include "ReaderLibrary.h"

#include <windows.h>

#include "CardRead.h"

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

ReaderEntryPoints LoadReaderLibrary()
{
    for (const wchar_t* path : ReaderLibraryPaths) {
        if (IsFile(path)) {
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
