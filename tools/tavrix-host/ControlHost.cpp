#include "ControlHost.h"

#include <oleauto.h>

#include <cstdio>

#include "JsonText.h"

using Microsoft::WRL::ComPtr;

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

HMODULE ServerBesideProgram()
{
    static const HMODULE server = LoadLibraryW((ProgramFolder() + L"Norvane.ocx").c_str());
    return server;
}

ComPtr<IUnknown> CreateControl()
{
    ComPtr<IUnknown> control;
    HRESULT status = CoCreateInstance(CLSID_Tavrix, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&control));
    if (status == REGDB_E_CLASSNOTREG || status == REGDB_E_READREGDB) {
        // Not registered: the library beside the program serves it directly.
        const HMODULE server = ServerBesideProgram();
        const auto getClassObject = server ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
                                                 reinterpret_cast<void*>(GetProcAddress(server, "DllGetClassObject")))
                                           : nullptr;
        ComPtr<IClassFactory> factory;
        status = getClassObject ? getClassObject(CLSID_Tavrix, IID_IClassFactory,
                                                 reinterpret_cast<void**>(factory.GetAddressOf()))
                                : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
        if (SUCCEEDED(status))
            status = factory->CreateInstance(nullptr, IID_PPV_ARGS(&control));
    }
    if (FAILED(status))
        throw status;
    return control;
}

namespace {

std::u16string Text(const VARIANTARG& argument)
{
    if (V_VT(&argument) != VT_BSTR || !V_BSTR(&argument))
        return std::u16string();
    return std::u16string(reinterpret_cast<const char16_t*>(V_BSTR(&argument)), SysStringLen(V_BSTR(&argument)));
}

}  // namespace

HRESULT STDMETHODCALLTYPE EventLog::Invoke(DISPID event, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*,
                                           EXCEPINFO*, UINT*)
{
    static const char* const names[] = {"OnActivate", "OnClick",      "OnCreate",     "OnDblClick",
                                        "OnDestroy",  "OnDeactivate", "OnKeyPress",   "OnMouseEnter",
                                        "OnMouseLeave", "OnPaint",    "On_ReadData"};
    if (event < 201 || event > 211)
        return DISP_E_MEMBERNOTFOUND;
    std::string line = std::string("{\"event\":\"") + names[event - 201] + "\"";
    int error = 0;
    if (event == 211 && parameters && parameters->cArgs == 3) {
        // Reversed: Message, Error, card_ID.
        error = V_VT(&parameters->rgvarg[1]) == VT_I1 ? V_I1(&parameters->rgvarg[1]) : -1;
        line += ",\"card_ID\":" + JsonText(Text(parameters->rgvarg[2])) + ",\"Error\":" + std::to_string(error) +
                ",\"Message\":" + JsonText(Text(parameters->rgvarg[0]));
    } else if (event == 207 && parameters && parameters->cArgs == 1 &&
               V_VT(&parameters->rgvarg[0]) == (VT_I2 | VT_BYREF)) {
        line += ",\"Key\":" + std::to_string(*V_I2REF(&parameters->rgvarg[0]));
    }
    onEvent_(line + "}", event, error);
    return S_OK;
}

DWORD ConnectEvents(IUnknown* control, IDispatch* sink)
{
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    HRESULT status = control->QueryInterface(IID_PPV_ARGS(&container));
    if (SUCCEEDED(status))
        status = container->FindConnectionPoint(DIID_ITavrixEvents, &point);
    if (SUCCEEDED(status))
        status = point->Advise(sink, &cookie);
    if (FAILED(status))
        throw status;
    return cookie;
}

std::string FaultDescription(HRESULT status)
{
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) == S_OK) {
        BSTR description = nullptr;
        info->GetDescription(&description);
        if (description) {
            const std::u16string text(reinterpret_cast<const char16_t*>(description), SysStringLen(description));
            SysFreeString(description);
            const std::string json = JsonText(text);
            return json.substr(1, json.size() - 2);
        }
    }
    char hex[32];
    std::snprintf(hex, sizeof hex, "error 0x%08lX", static_cast<unsigned long>(status));
    return hex;
}
