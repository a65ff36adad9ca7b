// Nothing heavy runs under the loader lock: the server's start-up waits for its first
// exported call.
#include <windows.h>

#include "ServerInstance.h"

HINSTANCE ServerInstance = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        ServerInstance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
