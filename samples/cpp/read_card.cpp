// Reads a card with the Tavrix control from C++, early bound through the header generated
// from the control's IDL, and prints what On_ReadData delivers.
//
//   read_card [ctype]
#include <windows.h>

#include <ocidl.h>

#include <cstdio>

#include "Tavrix_h.h"

// The event sink: IDispatch, answering for ITavrixEvents.
class Events : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, DIID_ITavrixEvents)) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the stack of main
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID event, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        if (event == 211 && parameters->cArgs == 3) {  // On_ReadData(card_ID, Error, Message), reversed
            const BSTR card = V_BSTR(&parameters->rgvarg[2]);
            const BSTR message = V_BSTR(&parameters->rgvarg[0]);
            error = V_I1(&parameters->rgvarg[1]);
            std::printf("On_ReadData: Error %d, card_ID %ls, %u characters of message\n", error,
                        card ? card : L"(empty)", message ? SysStringLen(message) : 0u);
        }
        return S_OK;
    }
    int error = -1;
};

int main(int argc, char** argv)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ITavrix* tavrix = nullptr;
    HRESULT status = CoCreateInstance(CLSID_Tavrix, nullptr, CLSCTX_INPROC_SERVER, IID_ITavrix,
                                      reinterpret_cast<void**>(&tavrix));
    if (FAILED(status)) {
        std::printf("The control is not registered: 0x%08lX\n", static_cast<unsigned long>(status));
        return 2;
    }

    Events events;
    IConnectionPointContainer* container = nullptr;
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;
    tavrix->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    container->FindConnectionPoint(DIID_ITavrixEvents, &point);
    point->Advise(&events, &cookie);

    wchar_t ctype[32] = L"EDY";
    if (argc > 1)
        MultiByteToWideChar(CP_ACP, 0, argv[1], -1, ctype, 32);
    BSTR argument = SysAllocString(ctype);
    status = tavrix->Read_Card(argument);  // On_ReadData arrives before this returns
    SysFreeString(argument);
    if (FAILED(status)) {
        IErrorInfo* info = nullptr;
        BSTR description = nullptr;
        if (GetErrorInfo(0, &info) == S_OK) {
            info->GetDescription(&description);
            info->Release();
        }
        std::printf("Read_Card failed: 0x%08lX, %u characters of description\n", static_cast<unsigned long>(status),
                    description ? SysStringLen(description) : 0u);
        SysFreeString(description);
    }

    point->Unadvise(cookie);
    point->Release();
    container->Release();
    tavrix->Release();
    CoUninitialize();
    return FAILED(status) ? 2 : events.error == 0 ? 0 : 1;
}
