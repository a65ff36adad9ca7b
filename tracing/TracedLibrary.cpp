#include "TracedLibrary.h"

#include <mutex>  // std::lock_guard

#include "EntryPointBinding.h"
#include "Lock.h"
#include "ModuleFileName.h"
#include "TraceFormat.h"

namespace {

Lock bindingLock;
TracedBinding binding;
bool attempted = false;

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
    BindEntryPoints(module, binding.entryPoints);
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
