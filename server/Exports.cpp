// The five entry points a host calls. Each starts the server on first use.
#include <windows.h>

#include <olectl.h>

#include <string>

#include "ControlFactory.h"
#include "FactoryList.h"
#include "ServerModule.h"

namespace {

bool IsUser(LPCWSTR commandLine)
{
    // "user" with only the letters A to Z folded; the whole text must match.
    if (!commandLine)
        return false;
    const wchar_t* word = L"user";
    for (size_t i = 0; i < 4; ++i) {
        wchar_t c = commandLine[i];
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != word[i])
            return false;
    }
    return commandLine[4] == L'\0';
}

HRESULT UpdateRegistry(bool doRegister)
{
    // A stopped start-up would register a class nobody can create, or report a removal
    // that never happened.
    ServerModule* server = Server();
    if (!server || !server->Started)
        return E_FAIL;
    try {
        server->UpdateRegistry(doRegister);
        return S_OK;
    } catch (...) {
        return E_FAIL;  // no message and no error information
    }
}

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    Server();
    ControlFactory* factory = FactoryList::Instance().Find(classId);
    if (!factory)
        return CLASS_E_CLASSNOTAVAILABLE;
    return factory->QueryInterface(iid, object);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    const ServerModule* server = Server();
    return !server || (server->ObjectCount == 0 && server->FactoryCount == 0) ? S_OK : S_FALSE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() { return UpdateRegistry(true); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return UpdateRegistry(false); }

HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine)
{
    Server();
    const bool remembered = PerUserRegistration;
    PerUserRegistration = IsUser(commandLine);
    HRESULT result;
    if (install) {
        result = DllRegisterServer();
        if (result == E_FAIL)
            DllUnregisterServer();  // takes back what the failed registration wrote
    } else {
        result = DllUnregisterServer();
    }
    PerUserRegistration = remembered;
    return result;
}

}  // extern "C"
