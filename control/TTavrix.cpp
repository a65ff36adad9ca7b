#include "TTavrix.h"

#include <oleauto.h>

#include <mutex>  // std::lock_guard
#include <set>
#include <string>

#include "Bstr.h"
#include "DisplayResolution.h"
#include "FormNames.h"
#include "Lock.h"
#include "FaultReporting.h"
#include "RaiseEvent.h"
#include "ReaderLibrary.h"
#include "TavrixTypeInfo.h"

using Microsoft::WRL::ComPtr;

namespace {

enum EventId : DISPID {
    OnActivate = 201, OnClick, OnCreate, OnDblClick, OnDestroy, OnDeactivate, OnKeyPress, OnMouseEnter,
    OnMouseLeave, OnPaint, OnReadData
};
constexpr WORD ParameterlessEventFlags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
constexpr uint8_t PopupAuto = 1;

VARIANT_BOOL Bool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

template <typename T>
void Out(T* out, T value)
{
    if (!out)
        throw Fault(u"Invalid pointer");
    *out = value;
}

// The text is copied only once the out-pointer is known to be good: a copy made first would leak.
void OutText(BSTR* out, const std::u16string& text)
{
    if (!out)
        throw Fault(u"Invalid pointer");
    *out = Bstr(text).release();
}

std::u16string Text(BSTR text)
{
    return text ? std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text)) : std::u16string();
}

// The forms registered as dock sites in this process, whose forms live on several threads.
class DockSiteList {
public:
    void Add(const TTavrix* form)
    {
        const std::lock_guard<Lock> guard(lock_);
        sites_.insert(form);
    }
    void Remove(const TTavrix* form)
    {
        const std::lock_guard<Lock> guard(lock_);
        sites_.erase(form);
    }

private:
    Lock lock_;
    std::set<const TTavrix*> sites_;
};

DockSiteList& DockSites()
{
    static DockSiteList sites;
    return sites;
}

}  // namespace

TTavrix::TTavrix(IUnknown* controller, ParentWindow parent)
    : controller_(controller), parent_(std::move(parent)), font_(ScreenPixelsPerInch())
{
    // The stored description was made at 96 pixels per inch; the form takes the display's.
    const int32_t screen = ScreenPixelsPerInch();
    if (screen != 96)
        font_.setHeight(MulDiv32(font_.height(), screen, 96));
    pixelsPerInch_ = screen;
    fontHeightAtLastLoad_ = font_.height();
    componentName_ = FormNames::Claim(this, u"Tavrix");
    font_.onChange = [this] { FontChanged(); };
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
    DockSites().Remove(this);
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
    if (parentColor_ && color != color_) {
        color_ = color;
        Repaint();
    }
}

void TTavrix::OfferParentFont(const FormFont& font)
{
    if (parentFont_) {
        font_.assign(font.name(), font.size(), font.style(), font.charset());
        font_.setColor(font.color());
    }
}

void TTavrix::Initialize()
{
    onActivate_ = [this] { Raise(OnActivate); };
    onClick_ = [this] { Raise(OnClick); };
    onCreate_ = [this] { Raise(OnCreate); };
    onDblClick_ = [this] { Raise(OnDblClick); };
    onDeactivate_ = [this] { Raise(OnDeactivate); };
    onDestroy_ = [this] { Raise(OnDestroy); };
    onKeyPress_ = [this](wchar_t& key) {
        short value = static_cast<short>(key);
        if (const ComPtr<ITavrixEvents> sink = FEvents) {
            VARIANTARG argument;
            V_VT(&argument) = VT_I2 | VT_BYREF;
            V_I2REF(&argument) = &value;
            RaiseEvent(sink.Get(), OnKeyPress, DISPATCH_METHOD, &argument, 1);
        }
        key = static_cast<wchar_t>(value);
    };
    onMouseEnter_ = [this] { Raise(OnMouseEnter); };
    onMouseLeave_ = [this] { Raise(OnMouseLeave); };
    onPaint_ = [this] { Raise(OnPaint); };
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
    ITypeInfo* type = TavrixVtableTypeInfo();
    if (!type)
        return E_UNEXPECTED;
    // A put may come as put or putref; the type information picks the accessor there is.
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
        flags |= DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
    return type->Invoke(static_cast<ITavrix*>(this), member, flags, parameters, result, exception, argumentError);
}

// Properties

HRESULT STDMETHODCALLTYPE TTavrix::get_Visible(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(visible_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_Visible(VARIANT_BOOL value)
{
    return Guard([&] { SetVisible(value != 0); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_AutoScroll(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(autoScroll_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_AutoScroll(VARIANT_BOOL value)
{
    return Guard([&] {
        if ((value != 0) == autoScroll_)
            return;
        autoScroll_ = value != 0;
        UpdateScrollRanges();
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_AutoSize(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(autoSize_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_AutoSize(VARIANT_BOOL value)
{
    return Guard([&] {
        if ((value != 0) == autoSize_)
            return;
        autoSize_ = value != 0;
        if (autoSize_)
            SizeToContent();
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_AxBorderStyle(TxActiveFormBorderStyle* value)
{
    return Guard([&] { Out(value, static_cast<TxActiveFormBorderStyle>(borderStyle_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_AxBorderStyle(TxActiveFormBorderStyle value)
{
    return Guard([&] {
        const uint8_t style = static_cast<uint8_t>(value);
        if (style == borderStyle_)
            return;
        borderStyle_ = style;
        RebuildWindow();
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_BorderWidth(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(borderWidth_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_BorderWidth(LONG value)
{
    return Guard([&] {
        if (value == borderWidth_)
            return;
        borderWidth_ = value;
        Realign();
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_Caption(BSTR* value)
{
    return Guard([&] { OutText(value, caption_); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_Caption(BSTR value)
{
    return Guard([&] {
        const std::u16string caption = Text(value);
        if (caption == caption_)
            return;
        caption_ = caption;
        if (window_)
            SetWindowTextW(window_, std::wstring(caption_.begin(), caption_.end()).c_str());
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_Color(OLE_COLOR* value)
{
    return Guard([&] { Out(value, static_cast<OLE_COLOR>(color_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_Color(OLE_COLOR value)
{
    return Guard([&] {
        if (value == color_)
            return;
        color_ = value;
        Repaint();
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_Font(IFontDisp** value)
{
    return Guard([&] {
        if (!value)
            throw Fault(u"Invalid pointer");
        FontLink& link = Link();
        if (!link.attached())
            link.Make();
        ComPtr<IFontDisp> font;
        if (FAILED(link.attached()->QueryInterface(IID_IFontDisp, reinterpret_cast<void**>(font.GetAddressOf()))))
            throw Fault(u"Interface not supported");
        *value = font.Detach();
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_Font(IFontDisp* value)
{
    return Guard([&] {
        ComPtr<IFont> font;
        if (value && FAILED(value->QueryInterface(IID_IFont, reinterpret_cast<void**>(font.GetAddressOf()))))
            throw Fault(u"Interface not supported");
        Link().Attach(font.Get());
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::putref_Font(IFontDisp** reference)
{
    if (!reference)
        return Guard([] { throw Fault(u"Invalid pointer"); });
    return put_Font(*reference);
}

HRESULT STDMETHODCALLTYPE TTavrix::get_KeyPreview(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(keyPreview_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_KeyPreview(VARIANT_BOOL value)
{
    return Guard([&] { keyPreview_ = value != 0; });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_PixelsPerInch(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(EffectivePixelsPerInch())); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_PixelsPerInch(LONG value)
{
    return Guard([&] {
        if (value != EffectivePixelsPerInch() && (value == 0 || value > 35))
            pixelsPerInch_ = value;
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_PrintScale(TxPrintScale* value)
{
    return Guard([&] { Out(value, static_cast<TxPrintScale>(printScale_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_PrintScale(TxPrintScale value)
{
    return Guard([&] { printScale_ = static_cast<uint8_t>(value); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_Scaled(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(pixelsPerInch_ != 0)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_Scaled(VARIANT_BOOL value)
{
    return Guard([&] {
        if ((value != 0) == (pixelsPerInch_ != 0))
            return;
        pixelsPerInch_ = value ? ScreenPixelsPerInch() : 0;
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_Active(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(active_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_DropTarget(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(dropTarget_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_DropTarget(VARIANT_BOOL value)
{
    return Guard([&] { dropTarget_ = value != 0; });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_HelpFile(BSTR* value)
{
    return Guard([&] { OutText(value, helpFile_); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_HelpFile(BSTR value)
{
    return Guard([&] { helpFile_ = Text(value); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_PopupMode(TxPopupMode* value)
{
    return Guard([&] { Out(value, static_cast<TxPopupMode>(popupMode_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_PopupMode(TxPopupMode value)
{
    return Guard([&] {
        const uint8_t mode = static_cast<uint8_t>(value);
        if (mode == popupMode_)
            return;
        popupMode_ = mode;
        if (mode == PopupAuto)
            popupParent_ = nullptr;
        foundPopupParent_ = nullptr;
        if (window_)
            RebuildWindow();
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_ScreenSnap(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(screenSnap_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_ScreenSnap(VARIANT_BOOL value)
{
    return Guard([&] { screenSnap_ = value != 0; });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_SnapBuffer(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(snapBuffer_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_SnapBuffer(LONG value)
{
    return Guard([&] { snapBuffer_ = value; });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_DockSite(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(dockSite_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_DockSite(VARIANT_BOOL value)
{
    return Guard([&] {
        if ((value != 0) == dockSite_)
            return;
        dockSite_ = value != 0;
        if (dockSite_)
            DockSites().Add(this);
        else
            DockSites().Remove(this);
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_DoubleBuffered(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(doubleBuffered_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_DoubleBuffered(VARIANT_BOOL value)
{
    return Guard([&] {
        if ((value != 0) == doubleBuffered_)
            return;
        doubleBuffered_ = value != 0;
        parentDoubleBuffered_ = false;
        Repaint();
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_AlignDisabled(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(alignDisabled_ > 0)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_MouseInClient(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(mouseInClient_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_VisibleDockClientCount(LONG* value)
{
    return Guard([&] {
        LONG visible = 0;
        for (HWND client : dockClients_)
            visible += IsWindowVisible(client) ? 1 : 0;
        Out(value, visible);
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_ParentDoubleBuffered(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(parentDoubleBuffered_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_ParentDoubleBuffered(VARIANT_BOOL value)
{
    // The form's parent is the container's window, never a control of ours whose
    // buffering it could take over.
    return Guard([&] { parentDoubleBuffered_ = value != 0; });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_UseDockManager(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(useDockManager_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_UseDockManager(VARIANT_BOOL value)
{
    return Guard([&] {
        if ((value != 0) == useDockManager_)
            return;
        useDockManager_ = value != 0;
        if (useDockManager_ && !dockManager_)
            dockManager_ = std::make_unique<DockManager>();
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_Enabled(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(enabled_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_Enabled(VARIANT_BOOL value)
{
    return Guard([&] {
        if ((value != 0) == enabled_)
            return;
        enabled_ = value != 0;
        if (window_)
            EnableWindow(window_, enabled_);
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_ExplicitLeft(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(explicitBounds_.left)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_ExplicitTop(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(explicitBounds_.top)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_ExplicitWidth(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(explicitBounds_.width)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_ExplicitHeight(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(explicitBounds_.height)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_AlignWithMargins(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(alignWithMargins_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_AlignWithMargins(VARIANT_BOOL value)
{
    return Guard([&] {
        if ((value != 0) == alignWithMargins_)
            return;
        alignWithMargins_ = value != 0;
        Realign();
    });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_ParentCustomHint(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(parentCustomHint_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_ParentCustomHint(VARIANT_BOOL value)
{
    return Guard([&] { parentCustomHint_ = value != 0; });
}

// The card read command

HRESULT STDMETHODCALLTYPE TTavrix::Read_Card(BSTR ctype)
{
    return Guard([&] {
        TCard_Data card;
        ReadCard(Text(ctype), card);
        // The handler may disconnect its sink: it stays until the call ends.
        const ComPtr<ITavrixEvents> sink = FEvents;
        if (!sink)
            return;

        std::u16string cardId, message;
        signed char error = 1;
        if (card.C_Error) {
            message = card.Err_Mes;
        } else if (!card.card_ID.empty()) {
            cardId = card.card_ID;
            error = 0;
        } else {
            message = u"カードが読み取れません";
        }
        const Bstr cardIdArgument(cardId), messageArgument(message);
        VARIANTARG arguments[3];  // reversed: Message, Error, card_ID
        V_VT(&arguments[0]) = VT_BSTR;
        V_BSTR(&arguments[0]) = messageArgument.get();
        V_VT(&arguments[1]) = VT_I1;
        V_I1(&arguments[1]) = error;
        V_VT(&arguments[2]) = VT_BSTR;
        V_BSTR(&arguments[2]) = cardIdArgument.get();
        RaiseEvent(sink.Get(), OnReadData, DISPATCH_METHOD, arguments, 3);
    });
}

// Helpers shared by the accessors

int32_t TTavrix::EffectivePixelsPerInch() const
{
    return pixelsPerInch_ != 0 ? pixelsPerInch_ : ScreenPixelsPerInch();
}

FontLink& TTavrix::Link()
{
    if (!fontLink_)
        fontLink_ = std::make_unique<FontLink>(font_, controller_);
    return *fontLink_;
}

void TTavrix::FontChanged()
{
    const FontStyle style = font_.style();
    fontHandle_ = GdiObject<HFONT>(CreateFontW(font_.height(), 0, 0, 0, style.bold ? FW_BOLD : FW_NORMAL,
                                               style.italic, style.underline, style.strikeOut, font_.charset(),
                                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                               DEFAULT_PITCH, std::wstring(font_.name().begin(), font_.name().end()).c_str()));
    if (fontLink_)
        fontLink_->Changed();
    Repaint();
}

// The stored form

FormSnapshot TTavrix::Snapshot() const
{
    FormSnapshot form;
    form.instanceName = componentName_;
    form.tag = tag_;
    form.alignWithMargins = alignWithMargins_;
    form.left = bounds_.left;
    form.top = bounds_.top;
    form.width = bounds_.width;
    form.height = bounds_.height;
    form.parentCustomHint = parentCustomHint_;
    form.autoSize = autoSize_;
    form.axBorderStyle = borderStyle_;
    form.borderWidth = borderWidth_;
    form.caption = caption_;
    form.color = color_;
    form.followsParentColor = parentColor_;
    form.followsParentFont = parentFont_;
    form.fontCharset = font_.charset();
    form.fontColor = font_.color();
    form.fontHeight = font_.height();
    form.fontName = font_.name();
    const FontStyle style = font_.style();
    form.fontStyle = (style.bold ? FontStyleBit::Bold : 0) | (style.italic ? FontStyleBit::Italic : 0) |
                     (style.underline ? FontStyleBit::Underline : 0) | (style.strikeOut ? FontStyleBit::StrikeOut : 0);
    form.keyPreview = keyPreview_;
    form.oldCreateOrder = oldCreateOrder_;
    form.printScale = printScale_;
    form.scaled = pixelsPerInch_ != 0;
    form.explicitWidth = explicitBounds_.width;
    form.explicitHeight = explicitBounds_.height;
    form.pixelsPerInch = EffectivePixelsPerInch();
    form.textHeight = TextHeight();
    return form;
}

int32_t TTavrix::TextHeight() const
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, fontHandle_.get());
    SIZE size{};
    GetTextExtentPoint32W(dc, L"0", 1, &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size.cy;
}

void TTavrix::SetInstanceName(const std::u16string& name) { componentName_ = FormNames::Claim(this, name); }

void TTavrix::Set(FormProperty property, const StoredValue& value)
{
    const VARIANT_BOOL flag = value.boolean ? VARIANT_TRUE : VARIANT_FALSE;
    const int32_t number = static_cast<int32_t>(value.integer);
    FontStyle style = font_.style();
    switch (property) {
    case FormProperty::Tag: tag_ = number; break;
    case FormProperty::AlignWithMargins: put_AlignWithMargins(flag); break;
    case FormProperty::Left: SetBounds(number, bounds_.top, bounds_.width, bounds_.height); break;
    case FormProperty::Top: SetBounds(bounds_.left, number, bounds_.width, bounds_.height); break;
    case FormProperty::Width: SetBounds(bounds_.left, bounds_.top, number, bounds_.height); break;
    case FormProperty::Height: SetBounds(bounds_.left, bounds_.top, bounds_.width, number); break;
    case FormProperty::ParentCustomHint: put_ParentCustomHint(flag); break;
    case FormProperty::AutoSize: put_AutoSize(flag); break;
    case FormProperty::AxBorderStyle: put_AxBorderStyle(static_cast<TxActiveFormBorderStyle>(number)); break;
    case FormProperty::BorderWidth: put_BorderWidth(number); break;
    case FormProperty::Caption: put_Caption(Bstr(value.text).get()); break;
    case FormProperty::Color: put_Color(static_cast<OLE_COLOR>(number)); break;
    case FormProperty::FontCharset: font_.setCharset(static_cast<uint8_t>(number)); break;
    case FormProperty::FontColor: font_.setColor(static_cast<uint32_t>(number)); break;
    case FormProperty::FontHeight: font_.setHeight(number); break;
    case FormProperty::FontName: font_.setName(value.text); break;
    case FormProperty::FontSize: font_.setSize(number); break;
    case FormProperty::FontStyle:
        style = FontStyle{(number & FontStyleBit::Bold) != 0, (number & FontStyleBit::Italic) != 0,
                          (number & FontStyleBit::Underline) != 0, (number & FontStyleBit::StrikeOut) != 0};
        font_.setStyle(style);
        break;
    case FormProperty::KeyPreview: put_KeyPreview(flag); break;
    case FormProperty::OldCreateOrder: oldCreateOrder_ = value.boolean; break;
    case FormProperty::PrintScale: put_PrintScale(static_cast<TxPrintScale>(number)); break;
    case FormProperty::Scaled: put_Scaled(flag); break;
    case FormProperty::PixelsPerInch:
        if (pixelsPerInch_ != 0)  // while loading, only a scaled form takes a resolution
            put_PixelsPerInch(number);
        break;
    case FormProperty::AutoScroll: put_AutoScroll(flag); break;
    case FormProperty::Visible: put_Visible(flag); break;
    case FormProperty::Enabled: put_Enabled(flag); break;
    case FormProperty::DropTarget: put_DropTarget(flag); break;
    case FormProperty::HelpFile: put_HelpFile(Bstr(value.text).get()); break;
    case FormProperty::PopupMode: put_PopupMode(static_cast<TxPopupMode>(number)); break;
    case FormProperty::ScreenSnap: put_ScreenSnap(flag); break;
    case FormProperty::SnapBuffer: put_SnapBuffer(number); break;
    case FormProperty::DockSite: put_DockSite(flag); break;
    case FormProperty::DoubleBuffered: put_DoubleBuffered(flag); break;
    case FormProperty::ParentDoubleBuffered: put_ParentDoubleBuffered(flag); break;
    case FormProperty::UseDockManager: put_UseDockManager(flag); break;
    case FormProperty::TextHeight: break;  // used once all records are read
    case FormProperty::ExplicitLeft: explicitBounds_.left = number; break;
    case FormProperty::ExplicitTop: explicitBounds_.top = number; break;
    case FormProperty::ExplicitWidth: explicitBounds_.width = number; break;
    case FormProperty::ExplicitHeight: explicitBounds_.height = number; break;
    case FormProperty::IsControl:
    case FormProperty::DesignSize: break;  // meaningful only for forms used as controls in a design
    case FormProperty::IgnoreFontProperty: parentFont_ = value.boolean; break;
    }
}

void TTavrix::FinishLoad(int32_t storedTextHeight)
{
    if (pixelsPerInch_ != 0 && storedTextHeight > 0) {
        const int32_t screen = ScreenPixelsPerInch();
        if (font_.height() != fontHeightAtLastLoad_ && pixelsPerInch_ != screen)
            font_.setHeight(MulDiv32(font_.height(), screen, pixelsPerInch_));
        pixelsPerInch_ = screen;
        // The form has no scroll ranges, constraints or child controls to scale by the
        // change of text height.
    }
    fontHeightAtLastLoad_ = font_.height();
}
