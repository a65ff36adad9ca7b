// The four entry points a host calls.
#include <windows.h>

#include "CardReader_h.h"
#include "ClassFactory.h"
#include "LibraryState.h"
#include "Registration.h"

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(classId, CLSID_CardReader))
        return CLASS_E_CLASSNOTAVAILABLE;
    return CardReaderFactory().QueryInterface(iid, object);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return LibraryUsers == 0 ? S_OK : S_FALSE; }

HRESULT STDAPICALLTYPE DllRegisterServer() { return UpdateRegistration(true); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return UpdateRegistration(false); }

}  // extern "C"
