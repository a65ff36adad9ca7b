// TTavrix: the ITavrix property accessors, in slot order.
#include "TTavrix.h"

#include <oleauto.h>

#include <string>

#include "Bstr.h"
#include "DisplayResolution.h"
#include "DockSites.h"
#include "FaultReporting.h"

using Microsoft::WRL::ComPtr;

namespace {

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

}  // namespace

HRESULT STDMETHODCALLTYPE TTavrix::get_Visible(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(state_.visible)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_Visible(VARIANT_BOOL value)
{
    return Guard([&] { SetVisible(value != 0); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_AutoScroll(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(state_.autoScroll)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_AutoScroll(VARIANT_BOOL value)
{
    return Guard([&] { ChangeAutoScroll(value != 0); });
}

void TTavrix::ChangeAutoScroll(bool value)
{
    if (value == state_.autoScroll)
        return;
    state_.autoScroll = value;
    UpdateScrollRanges();
}

HRESULT STDMETHODCALLTYPE TTavrix::get_AutoSize(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(state_.autoSize)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_AutoSize(VARIANT_BOOL value)
{
    return Guard([&] { ChangeAutoSize(value != 0); });
}

void TTavrix::ChangeAutoSize(bool value)
{
    if (value == state_.autoSize)
        return;
    state_.autoSize = value;
    if (value)
        SizeToContent();
}

HRESULT STDMETHODCALLTYPE TTavrix::get_AxBorderStyle(TxActiveFormBorderStyle* value)
{
    return Guard([&] { Out(value, static_cast<TxActiveFormBorderStyle>(state_.borderStyle)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_AxBorderStyle(TxActiveFormBorderStyle value)
{
    return Guard([&] { ChangeBorderStyle(static_cast<uint8_t>(value)); });
}

void TTavrix::ChangeBorderStyle(uint8_t style)
{
    if (style == state_.borderStyle)
        return;
    state_.borderStyle = style;
    RebuildWindow();
}

HRESULT STDMETHODCALLTYPE TTavrix::get_BorderWidth(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(state_.borderWidth)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_BorderWidth(LONG value)
{
    return Guard([&] { ChangeBorderWidth(value); });
}

void TTavrix::ChangeBorderWidth(int32_t width)
{
    if (width == state_.borderWidth)
        return;
    state_.borderWidth = width;
    Realign();
}

HRESULT STDMETHODCALLTYPE TTavrix::get_Caption(BSTR* value)
{
    return Guard([&] { OutText(value, state_.caption); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_Caption(BSTR value)
{
    return Guard([&] { ChangeCaption(BstrText(value)); });
}

void TTavrix::ChangeCaption(const std::u16string& caption)
{
    if (caption == state_.caption)
        return;
    state_.caption = caption;
    if (window_)
        SetWindowTextW(window_, std::wstring(caption.begin(), caption.end()).c_str());
}

HRESULT STDMETHODCALLTYPE TTavrix::get_Color(OLE_COLOR* value)
{
    return Guard([&] { Out(value, static_cast<OLE_COLOR>(state_.color)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_Color(OLE_COLOR value)
{
    return Guard([&] { ChangeColor(value); });
}

void TTavrix::ChangeColor(uint32_t color)
{
    if (color == state_.color)
        return;
    state_.color = color;
    Repaint();
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
    return Guard([&] { Out(value, Bool(state_.keyPreview)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_KeyPreview(VARIANT_BOOL value)
{
    return Guard([&] { state_.keyPreview = value != 0; });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_PixelsPerInch(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(EffectivePixelsPerInch())); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_PixelsPerInch(LONG value)
{
    return Guard([&] { state_.SetPixelsPerInch(value, EffectivePixelsPerInch()); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_PrintScale(TxPrintScale* value)
{
    return Guard([&] { Out(value, static_cast<TxPrintScale>(state_.printScale)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_PrintScale(TxPrintScale value)
{
    return Guard([&] { state_.printScale = static_cast<uint8_t>(value); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_Scaled(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(state_.pixelsPerInch != 0)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_Scaled(VARIANT_BOOL value)
{
    return Guard([&] { state_.SetScaled(value != 0, ScreenPixelsPerInch()); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_Active(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(active_)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_DropTarget(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(state_.dropTarget)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_DropTarget(VARIANT_BOOL value)
{
    return Guard([&] { state_.dropTarget = value != 0; });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_HelpFile(BSTR* value)
{
    return Guard([&] { OutText(value, state_.helpFile); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_HelpFile(BSTR value)
{
    return Guard([&] { state_.helpFile = BstrText(value); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_PopupMode(TxPopupMode* value)
{
    return Guard([&] { Out(value, static_cast<TxPopupMode>(state_.popupMode)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_PopupMode(TxPopupMode value)
{
    return Guard([&] { ChangePopupMode(static_cast<uint8_t>(value)); });
}

void TTavrix::TakePopupMode(uint8_t mode)
{
    if (mode == state_.popupMode)
        return;
    state_.popupMode = mode;
    if (mode == PopupAuto)
        popupParent_ = nullptr;
    foundPopupParent_ = nullptr;
}

void TTavrix::ChangePopupMode(uint8_t mode)
{
    if (mode == state_.popupMode)
        return;
    TakePopupMode(mode);
    if (window_)
        RebuildWindow();
}

HRESULT STDMETHODCALLTYPE TTavrix::get_ScreenSnap(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(state_.screenSnap)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_ScreenSnap(VARIANT_BOOL value)
{
    return Guard([&] { state_.screenSnap = value != 0; });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_SnapBuffer(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(state_.snapBuffer)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_SnapBuffer(LONG value)
{
    return Guard([&] { state_.snapBuffer = value; });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_DockSite(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(state_.dockSite)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_DockSite(VARIANT_BOOL value)
{
    return Guard([&] { ChangeDockSite(value != 0); });
}

void TTavrix::ChangeDockSite(bool value)
{
    if (value == state_.dockSite)
        return;
    state_.dockSite = value;
    if (value)
        AddDockSite(this);
    else
        RemoveDockSite(this);
}

HRESULT STDMETHODCALLTYPE TTavrix::get_DoubleBuffered(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(state_.doubleBuffered)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_DoubleBuffered(VARIANT_BOOL value)
{
    return Guard([&] { ChangeDoubleBuffered(value != 0); });
}

void TTavrix::ChangeDoubleBuffered(bool value)
{
    if (state_.SetDoubleBuffered(value))
        Repaint();
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
    return Guard([&] { Out(value, Bool(state_.parentDoubleBuffered)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_ParentDoubleBuffered(VARIANT_BOOL value)
{
    // The form's parent is the container's window, never a control of ours whose
    // buffering it could take over.
    return Guard([&] { state_.parentDoubleBuffered = value != 0; });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_UseDockManager(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(state_.useDockManager)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_UseDockManager(VARIANT_BOOL value)
{
    return Guard([&] { ChangeUseDockManager(value != 0); });
}

void TTavrix::ChangeUseDockManager(bool value)
{
    if (value == state_.useDockManager)
        return;
    state_.useDockManager = value;
    if (value && !dockManager_)
        dockManager_ = std::make_unique<DockManager>();
}

HRESULT STDMETHODCALLTYPE TTavrix::get_Enabled(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(state_.enabled)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_Enabled(VARIANT_BOOL value)
{
    return Guard([&] { ChangeEnabled(value != 0); });
}

void TTavrix::ChangeEnabled(bool value)
{
    if (value == state_.enabled)
        return;
    state_.enabled = value;
    if (window_)
        EnableWindow(window_, value);
}

HRESULT STDMETHODCALLTYPE TTavrix::get_ExplicitLeft(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(state_.explicitBounds.left)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_ExplicitTop(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(state_.explicitBounds.top)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_ExplicitWidth(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(state_.explicitBounds.width)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_ExplicitHeight(LONG* value)
{
    return Guard([&] { Out(value, static_cast<LONG>(state_.explicitBounds.height)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::get_AlignWithMargins(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(state_.alignWithMargins)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_AlignWithMargins(VARIANT_BOOL value)
{
    return Guard([&] { ChangeAlignWithMargins(value != 0); });
}

void TTavrix::ChangeAlignWithMargins(bool value)
{
    if (value == state_.alignWithMargins)
        return;
    state_.alignWithMargins = value;
    Realign();
}

HRESULT STDMETHODCALLTYPE TTavrix::get_ParentCustomHint(VARIANT_BOOL* value)
{
    return Guard([&] { Out(value, Bool(state_.parentCustomHint)); });
}

HRESULT STDMETHODCALLTYPE TTavrix::put_ParentCustomHint(VARIANT_BOOL value)
{
    return Guard([&] { state_.parentCustomHint = value != 0; });
}
