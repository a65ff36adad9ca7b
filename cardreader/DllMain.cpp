// Nothing heavy runs under the loader lock: the type library loads on first need, from an
// exported call.
#include <windows.h>

#include "LibraryState.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        LibraryInstance = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        LibraryUnloadsWithProcess = reserved != nullptr;
    }
    return TRUE;
}
