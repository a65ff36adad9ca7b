// Nothing heavy runs under the loader lock: the server starts on the first exported
// call, and only ends here.
#include <windows.h>

#include "ServerInstance.h"
#include "ServerModule.h"

HINSTANCE ServerInstance = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        ServerInstance = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        ShutDownServer(reserved != nullptr);
    }
    return TRUE;
}
