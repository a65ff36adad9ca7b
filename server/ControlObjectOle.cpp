// The control object's embedding and control protocols: IOleObject, IOleControl,
// IQuickActivate, and the ambient properties it takes from its site.
#include <olectl.h>

#include <optional>

#include "Bstr.h"
#include "ControlFactory.h"
#include "ControlObject.h"
#include "DisplayResolution.h"
#include "FaultReporting.h"
#include "FontLink.h"
#include "ServerModule.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DISPID AmbientBackColor = -701, AmbientFont = -703, AmbientForeColor = -704, AmbientDisplayName = -702;
constexpr LONG HimetricPerInch = 2540;

// An ambient colour as the 32 bits it holds: containers give system colours as negative
// VT_I4 values, which a conversion to an unsigned type refuses.
std::optional<uint32_t> ColorBits(VARIANT& value)
{
    switch (V_VT(&value)) {
    case VT_I4:
        return static_cast<uint32_t>(V_I4(&value));
    case VT_UI4:
        return V_UI4(&value);
    case VT_INT:
        return static_cast<uint32_t>(V_INT(&value));
    case VT_UINT:
        return V_UINT(&value);
    default:
        if (SUCCEEDED(VariantChangeType(&value, &value, 0, VT_UI4)))
            return V_UI4(&value);
        return std::nullopt;
    }
}

// The screen's resolution as the library found it when it started.
int LibraryPixelsPerInch()
{
    static const int pixelsPerInch = ScreenPixelsPerInch();
    return pixelsPerInch;
}

}  // namespace

// IOleObject

HRESULT STDMETHODCALLTYPE ControlObject::SetClientSite(IOleClientSite* site)
{
    return Guard([&]() -> HRESULT {
        if (site) {
            if (clientSite_)
                return E_FAIL;
            clientSite_ = site;
            site->QueryInterface(IID_PPV_ARGS(&controlSite_));
            if (factory_.MiscStatus & OLEMISC_SIMPLEFRAME)
                site->QueryInterface(IID_PPV_ARGS(&simpleFrameSite_));
            site->QueryInterface(IID_PPV_ARGS(&ambientDispatch_));
            TakeAmbientProperties();
        } else {
            ambientDispatch_.Reset();
            simpleFrameSite_.Reset();
            controlSite_.Reset();
            clientSite_.Reset();
        }
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::GetClientSite(IOleClientSite** site)
{
    if (!site)
        return E_POINTER;
    *site = clientSite_.Get();
    if (*site)
        (*site)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT STDMETHODCALLTYPE ControlObject::Close(DWORD)
{
    return Guard([&]() -> HRESULT {
        // Never dirty, so nothing is saved; no hint window is ever shown.
        form_->RunDestroyNotification();
        return InPlaceDeactivate();
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ControlObject::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ControlObject::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ControlObject::GetClipboardData(DWORD, IDataObject** data)
{
    if (data)
        *data = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ControlObject::DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT)
{
    return Guard([&]() -> HRESULT {
        switch (verb) {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_PROPERTIES:
            ShowPropertyPages();
            return S_OK;
        case OLEIVERB_SHOW:
        case OLEIVERB_UIACTIVATE:
            return ActivateInPlace(true);
        case OLEIVERB_INPLACEACTIVATE:
            return ActivateInPlace(false);
        case OLEIVERB_HIDE:
            HideForm();
            return S_OK;
        default:
            for (const auto& known : factory_.Verbs)
                if (known.first == verb)
                    return S_OK;
            return OLEOBJ_S_INVALIDVERB;
        }
    });
}

void ControlObject::ShowPropertyPages()
{
    if (const ComPtr<IOleControlSite> site = controlSite_; site && site->ShowPropertyFrame() == S_OK)
        return;
    std::vector<CLSID> pages = PropertyPages();
    if (pages.empty())
        return;
    const ComPtr<IOleInPlaceFrame> frame = inPlaceFrame_;
    if (frame)
        frame->EnableModeless(FALSE);
    std::wstring caption;
    try {
        VARIANT name = Ambient(AmbientDisplayName);
        if (V_VT(&name) == VT_BSTR && V_BSTR(&name))
            caption = V_BSTR(&name);
        VariantClear(&name);
    } catch (...) {
    }
    IUnknown* self = &inner_;
    OleCreatePropertyFrame(GetActiveWindow(), 16, 16, caption.c_str(), 1, &self, static_cast<ULONG>(pages.size()),
                           pages.data(), GetSystemDefaultLCID(), 0, nullptr);
    if (frame)
        frame->EnableModeless(TRUE);
}

HRESULT STDMETHODCALLTYPE ControlObject::EnumVerbs(IEnumOLEVERB** verbs)
{
    if (!verbs)
        return E_POINTER;
    return OleRegEnumVerbs(factory_.ClassID, verbs);
}

HRESULT STDMETHODCALLTYPE ControlObject::Update() { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::IsUpToDate() { return S_OK; }

HRESULT STDMETHODCALLTYPE ControlObject::GetUserClassID(CLSID* classId)
{
    if (!classId)
        return E_POINTER;
    *classId = factory_.ClassID;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetUserType(DWORD form, LPOLESTR* userType)
{
    if (!userType)
        return E_POINTER;
    return OleRegGetUserType(factory_.ClassID, form, userType);
}

HRESULT STDMETHODCALLTYPE ControlObject::SetExtent(DWORD aspect, SIZEL* size)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!size)
        return E_POINTER;
    return Guard([&]() -> HRESULT {
        const int ppi = LibraryPixelsPerInch();
        const POINT position = form_->Position();
        form_->SetBounds(position.x, position.y, MulDiv(size->cx, ppi, HimetricPerInch),
                         MulDiv(size->cy, ppi, HimetricPerInch));
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::GetExtent(DWORD aspect, SIZEL* size)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!size)
        return E_POINTER;
    const int ppi = LibraryPixelsPerInch();
    const SIZE pixels = form_->Size();
    size->cx = MulDiv(pixels.cx, HimetricPerInch, ppi);
    size->cy = MulDiv(pixels.cy, HimetricPerInch, ppi);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::Advise(IAdviseSink* sink, DWORD* connection)
{
    return Guard([&]() -> HRESULT {
        if (!adviseHolder_)
            Check(CreateOleAdviseHolder(&adviseHolder_));
        return adviseHolder_->Advise(sink, connection);
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::Unadvise(DWORD connection)
{
    return Guard([&]() -> HRESULT {
        if (!adviseHolder_)
            Check(CreateOleAdviseHolder(&adviseHolder_));
        return adviseHolder_->Unadvise(connection);
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::EnumAdvise(IEnumSTATDATA** advise)
{
    if (!advise)
        return E_POINTER;
    *advise = nullptr;
    return Guard([&]() -> HRESULT {
        if (!adviseHolder_)
            Check(CreateOleAdviseHolder(&adviseHolder_));
        return adviseHolder_->EnumAdvise(advise);
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::GetMiscStatus(DWORD aspect, DWORD* status)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!status)
        return E_POINTER;
    *status = factory_.MiscStatus;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// IOleControl

HRESULT STDMETHODCALLTYPE ControlObject::GetControlInfo(CONTROLINFO* info)
{
    if (!info)
        return E_POINTER;
    info->cb = 16;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::OnMnemonic(MSG*)
{
    return Guard([&] { return ActivateInPlace(true); });
}

HRESULT STDMETHODCALLTYPE ControlObject::OnAmbientPropertyChange(DISPID)
{
    return Guard([&]() -> HRESULT {
        TakeAmbientProperties();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::FreezeEvents(BOOL freeze)
{
    eventsFrozen_ = freeze != FALSE;
    return S_OK;
}

// Ambient properties

VARIANT ControlObject::Ambient(DISPID dispid)
{
    const ComPtr<IDispatch> ambient = ambientDispatch_;
    if (!ambient)
        throw PlatformFault(E_UNEXPECTED, u"No ambient properties");
    VARIANT value;
    VariantInit(&value);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Check(ambient->Invoke(dispid, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr));
    return value;
}

void ControlObject::TakeAmbientProperties()
{
    if (!form_ || !ambientDispatch_)
        return;
    try {
        VARIANT color = Ambient(AmbientBackColor);
        if (const std::optional<uint32_t> bits = ColorBits(color))
            form_->OfferParentColor(*bits);
        VariantClear(&color);
    } catch (...) {
    }
    // The form's parent has the 3D look; the form draws no parent-dependent edges.
    try {
        FormFont offered;
        VARIANT foreground = Ambient(AmbientForeColor);
        if (const std::optional<uint32_t> bits = ColorBits(foreground))
            offered.setColor(*bits);
        VariantClear(&foreground);
        VARIANT font = Ambient(AmbientFont);
        ComPtr<IFont> platformFont;
        if ((V_VT(&font) == VT_DISPATCH || V_VT(&font) == VT_UNKNOWN) && V_UNKNOWN(&font))
            V_UNKNOWN(&font)->QueryInterface(IID_PPV_ARGS(&platformFont));
        VariantClear(&font);
        if (!platformFont)
            return;  // nothing to take the font from: no font is offered
        FontLink link(offered);
        link.Attach(platformFont.Get());
        form_->OfferParentFont(offered);
    } catch (...) {
    }
}

// IQuickActivate

HRESULT STDMETHODCALLTYPE ControlObject::QuickActivate(QACONTAINER* container, QACONTROL* control)
{
    return Guard([&]() -> HRESULT {
        if (!container || !control || control->cbSize < 24)
            return E_UNEXPECTED;
        *control = QACONTROL{};
        control->cbSize = 24;
        SetClientSite(container->pClientSite);
        if (container->pAdviseSink)
            SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
        ComPtr<IConnectionPoint> point;
        if (container->pPropertyNotifySink &&
            SUCCEEDED(FindConnectionPoint(IID_IPropertyNotifySink, &point)))
            point->Advise(container->pPropertyNotifySink, &control->dwPropNotifyCookie);
        point.Reset();
        if (container->pUnkEventSink && SUCCEEDED(FindConnectionPoint(factory_.EventIID, &point)))
            point->Advise(container->pUnkEventSink, &control->dwEventCookie);
        control->dwMiscStatus = factory_.MiscStatus;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::SetContentExtent(LPSIZEL size) { return SetExtent(DVASPECT_CONTENT, size); }
HRESULT STDMETHODCALLTYPE ControlObject::GetContentExtent(LPSIZEL size) { return GetExtent(DVASPECT_CONTENT, size); }
