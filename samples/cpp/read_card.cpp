// Reads a card with the Tavrix control from C++, early bound through the header generated
// from the control's IDL, and prints what On_ReadData delivers.
//
//   read_card [ctype]
//
// Build it for the architecture of the control it uses: as a 32-bit program for bin\Norvane.ocx
// (x86), as a 64-bit program for bin\x64\Norvane.ocx (x64). Compile include\Tavrix_i.c with it.
// Exit status: 0 a good read, 1 a failed read (On_ReadData with Error 1), 2 the call failed.
#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <cstdio>

#include "Tavrix_h.h"

using Microsoft::WRL::ComPtr;

namespace {

// The event sink: IDispatch, answering for ITavrixEvents.
class Events : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, DIID_ITavrixEvents)) {
            *object = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the stack of Run
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID event, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        // On_ReadData(card_ID, Error, Message), its arguments reversed; the form's own events
        // (DISPIDs 201 to 210) arrive here too and are let pass.
        if (event != 211 || !parameters || parameters->cArgs != 3)
            return S_OK;
        const VARIANT& card = parameters->rgvarg[2];
        const VARIANT& code = parameters->rgvarg[1];
        const VARIANT& message = parameters->rgvarg[0];
        if (V_VT(&card) != VT_BSTR || V_VT(&code) != VT_I1 || V_VT(&message) != VT_BSTR)
            return DISP_E_TYPEMISMATCH;
        error = V_I1(&code);
        std::printf("On_ReadData: Error %d, card_ID %ls, %u characters of message\n", error,
                    V_BSTR(&card) ? V_BSTR(&card) : L"(empty)", SysStringLen(V_BSTR(&message)));
        return S_OK;
    }
    int error = -1;
};

int Failed(const char* what, HRESULT status)
{
    std::printf("%s: 0x%08lX\n", what, static_cast<unsigned long>(status));
    return 2;
}

int Run(const wchar_t* ctype)
{
    ComPtr<ITavrix> tavrix;
    HRESULT status = CoCreateInstance(CLSID_Tavrix, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&tavrix));
    if (FAILED(status))  // 0x80040154: not registered for this program's architecture
        return Failed("The control is not registered", status);

    Events events;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (FAILED(status = tavrix.As(&container)) ||
        FAILED(status = container->FindConnectionPoint(DIID_ITavrixEvents, &point)))
        return Failed("The control offers no events", status);
    // The control takes one sink: a second Advise gets CONNECT_E_CANNOTCONNECT.
    if (FAILED(status = point->Advise(&events, &cookie)))
        return Failed("The control refused the event sink", status);

    BSTR argument = SysAllocString(ctype);
    if (!argument) {
        point->Unadvise(cookie);
        return Failed("Out of memory", E_OUTOFMEMORY);
    }
    status = tavrix->Read_Card(argument);  // On_ReadData arrives before this returns
    SysFreeString(argument);
    if (FAILED(status)) {
        // The control leaves its text as error information; it answers S_FALSE for ITavrix in
        // ISupportErrorInfo, so ask for it here rather than rely on the interface's answer.
        ComPtr<IErrorInfo> info;
        BSTR description = nullptr;
        if (GetErrorInfo(0, &info) == S_OK)
            info->GetDescription(&description);
        std::printf("Read_Card failed: 0x%08lX, %u characters of description\n", static_cast<unsigned long>(status),
                    SysStringLen(description));
        SysFreeString(description);
    }
    point->Unadvise(cookie);
    return FAILED(status) ? 2 : events.error == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    wchar_t ctype[32] = L"EDY";
    if (argc > 1 && !MultiByteToWideChar(CP_ACP, 0, argv[1], -1, ctype, 32))
        return Failed("The card type is too long", HRESULT_FROM_WIN32(GetLastError()));
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return Failed("COM did not start", E_UNEXPECTED);
    const int result = Run(ctype);  // every reference released before COM ends
    CoUninitialize();
    return result;
}
