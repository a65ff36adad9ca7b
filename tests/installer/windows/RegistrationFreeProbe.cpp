// registration_free_probe: uses the control and the reader object the way an application that
// carries them without registration does, through COM alone, and prints one line for each thing
// it learns. The installer test runs it beside the SDK's manifests in a prefix where nothing of
// ours is registered, and compares the lines with what registration writes (tests only).
#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>

#include "../../../tools/tavrix-host/ControlHost.h"
#include "../../../tools/tavrix-host/HostSite.h"
#include "../../support/CrashGuard.h"
#include "Bstr.h"
#include "CardReader_h.h"
#include "Variant.h"

using Microsoft::WRL::ComPtr;

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string Guid(REFGUID guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
}

// A late-bound call by name, as a script makes it; its result in result.
HRESULT Call(IDispatch* object, const wchar_t* name, WORD kind, VARIANT* arguments, UINT count, VARIANT* result)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    const HRESULT status = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(status))
        return status;
    DISPPARAMS parameters{arguments, nullptr, count, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &parameters, result, nullptr, nullptr);
}

std::string Text(VARIANT* value)
{
    if (value->vt == VT_BOOL)
        return value->boolVal == VARIANT_TRUE ? "True" : value->boolVal ? "a bad Boolean" : "False";
    if (value->vt == VT_BSTR)
        return Narrow(std::wstring(value->bstrVal ? value->bstrVal : L""));
    return "of type " + std::to_string(value->vt);
}

// The reader object by its ProgID, called by name, as a script uses it. It creates its own
// control by CLSID: the activation context must answer for that too.
void UseCardReader()
{
    // (The class behind the ProgID is an alias that only the activation context knows, and the
    // object tells no class of its own: its interface shows what was created.)
    CLSID clsid{};
    ComPtr<IDispatch> reader;
    ComPtr<ICardReader> early;
    HRESULT status = CLSIDFromProgID(L"Norvane.CardReader", &clsid);
    if (SUCCEEDED(status))
        status = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&reader));
    const HRESULT answers = reader ? reader.As(&early) : E_NOINTERFACE;
    std::printf("reader created by progid %08lx, ICardReader %08lx\n", static_cast<unsigned long>(status),
                static_cast<unsigned long>(answers));
    ComPtr<IUnknown> byClsid;
    const HRESULT created = CoCreateInstance(CLSID_CardReader, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&byClsid));
    std::printf("reader create by clsid %08lx\n", static_cast<unsigned long>(created));

    ComPtr<ITypeLib> library;
    const HRESULT loaded = LoadRegTypeLib(LIBID_NorvaneCardReader, 1, 0, 0, &library);
    std::printf("reader type library 1.0 %08lx\n", static_cast<unsigned long>(loaded));
    if (!reader)
        return;

    Variant ctype, good, cardId;
    ctype.get()->vt = VT_BSTR;
    ctype.get()->bstrVal = Bstr(u"EDY").release();
    status = Call(reader.Get(), L"Read", DISPATCH_METHOD, ctype.get(), 1, good.get());
    std::printf("reader read %08lx %s\n", static_cast<unsigned long>(status), Text(good.get()).c_str());
    status = Call(reader.Get(), L"CardID", DISPATCH_PROPERTYGET, nullptr, 0, cardId.get());
    std::printf("reader card id %08lx %s\n", static_cast<unsigned long>(status), Text(cardId.get()).c_str());
}

LRESULT CALLBACK Plain(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int main()
{
    CrashGuard::Install();
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    // (The ProgID may give an alias of the class that only the activation context knows: the
    // object created through it tells its real class.)
    CLSID clsid{}, createdClass{};
    ComPtr<IPersist> byProgId;
    if (SUCCEEDED(CLSIDFromProgID(L"Tavrix.Tavrix", &clsid)) &&
        SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&byProgId))))
        byProgId->GetClassID(&createdClass);
    std::printf("created by progid %s\n", Guid(createdClass).c_str());

    ComPtr<IUnknown> control;
    const HRESULT created = CoCreateInstance(CLSID_Tavrix, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&control));
    std::printf("create by clsid %08lx\n", static_cast<unsigned long>(created));
    if (FAILED(created))
        return 1;

    DWORD misc = 0;
    const HRESULT status = OleRegGetMiscStatus(CLSID_Tavrix, DVASPECT_CONTENT, &misc);
    std::printf("misc status %lu (%08lx)\n", misc, static_cast<unsigned long>(status));

    ComPtr<ITypeLib> library;
    const HRESULT loaded = LoadRegTypeLib(LIBID_Tavrix, 1, 0, 0, &library);
    std::printf("type library 1.0 %08lx\n", static_cast<unsigned long>(loaded));

    const ComPtr<EventLog> events = new EventLog([](const std::string& line, DISPID, int) {
        std::printf("%s\n", line.c_str());
    });
    ConnectEvents(control.Get(), events.Get());
    ComPtr<ITavrix> tavrix;
    control.As(&tavrix);
    BSTR ctype = SysAllocString(L"EDY");
    std::printf("read %08lx\n", static_cast<unsigned long>(tavrix->Read_Card(ctype)));
    SysFreeString(ctype);

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Plain;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"RegistrationFreeProbe";
    RegisterClassW(&windowClass);
    HWND frame = CreateWindowW(L"RegistrationFreeProbe", L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    const RECT position{10, 10, 210, 110};
    const ComPtr<HostSite> site = new HostSite(frame, position);
    ComPtr<IOleObject> ole;
    control.As(&ole);
    ole->SetClientSite(site.Get());
    const HRESULT activated = ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, frame, &position);
    ComPtr<IOleInPlaceObject> inPlace;
    HWND window = nullptr;
    if (SUCCEEDED(control.As(&inPlace)))
        inPlace->GetWindow(&window);
    std::printf("in place %08lx, window %s\n", static_cast<unsigned long>(activated),
                window && GetParent(window) == frame ? "in the frame" : "none");
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    DestroyWindow(frame);

    UseCardReader();
    return 0;
}
