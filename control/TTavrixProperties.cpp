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
        const std::u16string caption = BstrText(value);
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
    return Guard([&] { helpFile_ = BstrText(value); });
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
            AddDockSite(this);
        else
            RemoveDockSite(this);
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
