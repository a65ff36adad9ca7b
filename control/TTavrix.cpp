// TTavrix: the form's life, its identity and dispatch (the controller's), and its events.
#include "TTavrix.h"

#include <oleauto.h>

#include <string>

#include "DisplayResolution.h"
#include "DockSites.h"
#include "FaultReporting.h"
#include "FormNames.h"
#include "RaiseEvent.h"
#include "TavrixTypeInfo.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr WORD ParameterlessEventFlags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

}  // namespace

TTavrix::TTavrix(IUnknown* controller, ParentWindow parent)
    : controller_(controller), parent_(std::move(parent)), state_(ScreenPixelsPerInch())
{
    state_.componentName = FormNames::Claim(this, u"Tavrix");
    state_.font.onChange = [this] { FontChanged(); };
    FontChanged();
    try {
        CreateWindowIn(parent_ ? parent_() : nullptr);
    } catch (...) {
        FormNames::Release(this);  // no destructor runs for a form that was never made
        throw;
    }
    Notify(onCreate_);  // no forwarder is connected yet: reaches nobody
    live_ = true;
}

TTavrix::~TTavrix()
{
    live_ = false;
    destroying_ = true;
    RunDestroyNotification();
    onActivate_ = onClick_ = onCreate_ = onDblClick_ = onDeactivate_ = onMouseEnter_ = onMouseLeave_ = onPaint_ =
        nullptr;
    onKeyPress_ = nullptr;
    RemoveDockSite(this);
    FormNames::Release(this);
    if (window_)
        DestroyWindow(window_);
}

void TTavrix::RunDestroyNotification()
{
    const Notification notification = std::move(onDestroy_);
    onDestroy_ = nullptr;
    Notify(notification);
}

void TTavrix::OfferParentColor(uint32_t color)
{
    if (state_.parentColor && color != state_.color) {
        state_.color = color;
        Repaint();
    }
}

void TTavrix::OfferParentFont(const FormFont& font)
{
    if (state_.parentFont) {
        state_.font.assign(font.name(), font.size(), font.style(), font.charset());
        state_.font.setColor(font.color());
    }
}

void TTavrix::Initialize()
{
    onActivate_ = [this] { Raise(DISPID_OnActivate); };
    onClick_ = [this] { Raise(DISPID_OnClick); };
    onCreate_ = [this] { Raise(DISPID_OnCreate); };
    onDblClick_ = [this] { Raise(DISPID_OnDblClick); };
    onDeactivate_ = [this] { Raise(DISPID_OnDeactivate); };
    onDestroy_ = [this] { Raise(DISPID_OnDestroy); };
    onKeyPress_ = [this](wchar_t& key) {
        short value = static_cast<short>(key);
        if (const ComPtr<ITavrixEvents> sink = FEvents) {
            VARIANTARG argument;
            V_VT(&argument) = VT_I2 | VT_BYREF;
            V_I2REF(&argument) = &value;
            RaiseEvent(sink.Get(), DISPID_OnKeyPress, DISPATCH_METHOD, &argument, 1);
        }
        key = static_cast<wchar_t>(value);
    };
    onMouseEnter_ = [this] { Raise(DISPID_OnMouseEnter); };
    onMouseLeave_ = [this] { Raise(DISPID_OnMouseLeave); };
    onPaint_ = [this] { Raise(DISPID_OnPaint); };
}

void TTavrix::SinkChanged(IUnknown* sink)
{
    const bool first = sinkChanges_++ == 0;
    if (!sink) {
        FEvents.Reset();
        return;
    }
    ComPtr<ITavrixEvents> events;
    Check(sink->QueryInterface(DIID_ITavrixEvents, reinterpret_cast<void**>(events.GetAddressOf())));
    FEvents = events;
    if (first)
        Notify(onCreate_);
}

void TTavrix::Raise(DISPID event)
{
    // The sink may disconnect itself while it handles the event.
    if (const ComPtr<ITavrixEvents> sink = FEvents)
        RaiseEvent(sink.Get(), event, ParameterlessEventFlags, nullptr, 0);
}

void TTavrix::Notify(const Notification& notification)
{
    if (notification)
        notification();
}

void TTavrix::KeyPress(wchar_t& key)
{
    if (onKeyPress_)
        onKeyPress_(key);
}

// IUnknown and IDispatch

HRESULT STDMETHODCALLTYPE TTavrix::QueryInterface(REFIID iid, void** object)
{
    return controller_->QueryInterface(iid, object);
}
ULONG STDMETHODCALLTYPE TTavrix::AddRef() { return controller_->AddRef(); }
ULONG STDMETHODCALLTYPE TTavrix::Release() { return controller_->Release(); }

HRESULT STDMETHODCALLTYPE TTavrix::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = TavrixTypeInfo() ? 1 : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TTavrix::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    ITypeInfo* type = TavrixTypeInfo();
    if (!type)
        return E_UNEXPECTED;
    type->AddRef();
    *info = type;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TTavrix::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    ITypeInfo* type = TavrixVtableTypeInfo();
    return type ? DispGetIDsOfNames(type, names, count, ids) : E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE TTavrix::Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                          VARIANT* result, EXCEPINFO* exception, UINT* argumentError)
{
    // Read_Card is the call a host repeats for every card, and the type information's generic
    // dispatch costs more than the rest of the command's own work: the plain form of the call
    // goes straight to the method, with a failure reported as the generic way reports it.
    // Any other form (another argument type, a named argument) takes the generic way.
    if (member == DISPID_Read_Card && (flags & DISPATCH_METHOD) && parameters && parameters->cArgs == 1 &&
        parameters->cNamedArgs == 0 && V_VT(&parameters->rgvarg[0]) == VT_BSTR)
        return DispatchStatus(Read_Card(V_BSTR(&parameters->rgvarg[0])), exception);
    ITypeInfo* type = TavrixVtableTypeInfo();
    if (!type)
        return E_UNEXPECTED;
    // A put may come as put or putref; the type information picks the accessor there is.
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
        flags |= DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
    return type->Invoke(static_cast<ITavrix*>(this), member, flags, parameters, result, exception, argumentError);
}

// Helpers shared by the accessors

int32_t TTavrix::EffectivePixelsPerInch() const
{
    return state_.pixelsPerInch != 0 ? state_.pixelsPerInch : ScreenPixelsPerInch();
}

FontLink& TTavrix::Link()
{
    if (!fontLink_)
        fontLink_ = std::make_unique<FontLink>(state_.font, controller_);
    return *fontLink_;
}

void TTavrix::FontChanged()
{
    const FontStyle style = state_.font.style();
    fontHandle_ = GdiObject<HFONT>(CreateFontW(state_.font.height(), 0, 0, 0, style.bold ? FW_BOLD : FW_NORMAL,
                                               style.italic, style.underline, style.strikeOut, state_.font.charset(),
                                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                               DEFAULT_PITCH, std::wstring(state_.font.name().begin(), state_.font.name().end()).c_str()));
    if (fontLink_)
        fontLink_->Changed();
    Repaint();
}
