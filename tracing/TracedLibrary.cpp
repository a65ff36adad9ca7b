#include "TracedLibrary.h"

#include <mutex>  // std::lock_guard

#include "Lock.h"
#include "ModuleFileName.h"
#include "TraceFormat.h"

namespace {

Lock bindingLock;
TracedBinding binding;
bool attempted = false;

template <typename Function>
void Resolve(HMODULE module, const char* name, Function& entryPoint)
{
    entryPoint = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

void Load()
{
    const std::wstring folder = OwnFolder();
    if (folder.empty()) {
        binding.loadError = ERROR_BAD_PATHNAME;
        return;
    }
    const std::wstring path = folder + L"felica.dll" + trace_format::TracedSuffix;
    // Its own dependencies come from its own folder, as they would where it was installed.
    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) {
        binding.loadError = GetLastError();
        return;
    }
    ReaderEntryPoints& e = binding.entryPoints;
    Resolve(module, "initialize_library", e.initialize_library);
    Resolve(module, "dispose_library", e.dispose_library);
    Resolve(module, "open_reader_writer_auto", e.open_reader_writer_auto);
    Resolve(module, "close_reader_writer", e.close_reader_writer);
    Resolve(module, "polling_and_get_card_information", e.polling_and_get_card_information);
    Resolve(module, "read_block_without_encryption", e.read_block_without_encryption);
    Resolve(module, "get_last_error_type", e.get_last_error_type);
    binding.loaded = true;
}

}  // namespace

std::wstring OwnFolder()
{
    HMODULE own = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&OwnFolder), &own))
        return std::wstring();
    const std::wstring path = ModuleFileName(own);
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

TracedBinding Traced(bool retry)
{
    const std::lock_guard<Lock> guard(bindingLock);
    if (!binding.loaded && (!attempted || retry)) {
        attempted = true;
        Load();
    }
    return binding;
}

std::string NotForwardedReason(const TracedBinding& traced, const char* entryPoint)
{
    if (!traced.loaded)
        return "no library to stand in for: felica.dll.traced beside the tracing library cannot be loaded (error " +
               std::to_string(traced.loadError) + ")";
    return std::string("the library it stands in for lacks the entry point ") + entryPoint;
}
