// Norvane.ocx loaded into the test process, without registration (tests only).
#pragma once

#include <windows.h>

#include <wrl/client.h>

#include "ChildProcess.h"
#include "Tavrix_h.h"

class ServerLibrary {
public:
    static HMODULE Module()
    {
        static const HMODULE module = LoadLibraryW((ProgramFolder() + L"Norvane.ocx").c_str());
        return module;
    }

    template <typename Function>
    static Function Export(const char* name)
    {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(Module(), name)));
    }

    static Microsoft::WRL::ComPtr<IClassFactory> Factory()
    {
        Microsoft::WRL::ComPtr<IClassFactory> factory;
        Export<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(
            CLSID_Tavrix, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
        return factory;
    }

    template <typename Interface>
    static Microsoft::WRL::ComPtr<Interface> Create()
    {
        Microsoft::WRL::ComPtr<Interface> control;
        Factory()->CreateInstance(nullptr, __uuidof(Interface), reinterpret_cast<void**>(control.GetAddressOf()));
        return control;
    }

    static HRESULT CanUnloadNow() { return Export<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow")(); }
    static HRESULT Register() { return Export<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer")(); }
    static HRESULT Unregister() { return Export<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer")(); }
};
