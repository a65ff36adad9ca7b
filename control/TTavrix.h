// TTavrix: the control's form. A small window without child controls, its attributes
// exposed through ITavrix, ten of its notifications forwarded as events to the sink in
// FEvents, and the card read command.
//
// The form shares the identity of the object that owns it (the controller): its
// IUnknown and IDispatch go there.
#pragma once

#include <windows.h>

#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FaultReporting.h"
#include "FontLink.h"
#include "FormFont.h"
#include "FormState.h"
#include "GdiObject.h"
#include "Tavrix_h.h"

class TTavrix final : public ITavrix {
public:
    // Gives the window the form's window is made under when it has none, or no window for
    // a hidden top-level one; asked at each need, since a window kept from before may be gone.
    using ParentWindow = std::function<HWND()>;
    // controller: the owner whose identity the form shares.
    TTavrix(IUnknown* controller, ParentWindow parent);
    ~TTavrix();
    TTavrix(const TTavrix&) = delete;
    TTavrix& operator=(const TTavrix&) = delete;

    // Connects the ten form notifications to their event forwarders.
    void Initialize();
    // The event connection point's sink changed: a sink, or none when disconnected.
    // A sink that is no ITavrixEvents is a fault. The first change that brings a sink
    // runs the creation notification.
    void SinkChanged(IUnknown* sink);

    HWND window() const { return window_; }
    // The window, made under the form's last parent if it has none now.
    HWND EnsureWindow();
    void DestroyWindowNow();
    bool visible() const { return state_.visible; }
    // Shows or hides the form; the change passes through the form's window.
    void SetVisible(bool visible);

    // Every message to the form's window passes through the hook, which decides whether
    // and how to pass it on to the form's own handling.
    using PassOn = std::function<LRESULT(UINT, WPARAM, LPARAM)>;
    using MessageHook = std::function<LRESULT(UINT, WPARAM, LPARAM, const PassOn&)>;
    void SetMessageHook(MessageHook hook) { hook_ = std::move(hook); }
    // Places the form; the bounds become its explicit bounds.
    void SetBounds(int left, int top, int width, int height);
    // The form's size in pixels.
    SIZE Size() const { return SIZE{state_.bounds.width, state_.bounds.height}; }
    POINT Position() const { return POINT{state_.bounds.left, state_.bounds.top}; }
    // The destruction notification; OnDestroy reaches the sink at most once in the form's life.
    void RunDestroyNotification();
    // The container's colour and font, offered as the parent's: the form takes them only
    // where it follows its parent, which it does not.
    void OfferParentColor(uint32_t color);
    void OfferParentFont(const FormFont& font);
    // The property pages the form offers: none.
    std::vector<CLSID> PropertyPages() const { return {}; }

    // The stored form: the attributes a property stream records. A load reads a stream into
    // a copy of them and the form applies the finished copy at once.
    const FormState& state() const { return state_; }
    // Takes every attribute of loaded, each change with its effect on the window, in the
    // order a stream lists them; the window is rebuilt once at most.
    void ApplyLoaded(const FormState& loaded);
    // The height in pixels of the text "0" in the form's font.
    int32_t TextHeight() const;
    // The resolution the form reports: its own, or the screen's when it is not scaled.
    int32_t EffectivePixelsPerInch() const;
    // Draws the form's client area into a device context at its origin.
    void PaintTo(HDC dc);
    // Draws the window, border (PRF_NONCLIENT) and client (PRF_CLIENT), with its top-left
    // at the device context's origin.
    void PrintTo(HDC dc, DWORD parts);
    // The notification behind OnKeyPress: the character as the handlers leave it; 0
    // means the key press is discarded.
    void KeyPress(wchar_t& key);

    // IUnknown and IDispatch: the controller's.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    // ITavrix, in slot order.
    HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_AutoScroll(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_AutoScroll(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_AutoSize(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_AutoSize(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_AxBorderStyle(TxActiveFormBorderStyle *value) override;
    HRESULT STDMETHODCALLTYPE put_AxBorderStyle(TxActiveFormBorderStyle value) override;
    HRESULT STDMETHODCALLTYPE get_BorderWidth(LONG *value) override;
    HRESULT STDMETHODCALLTYPE put_BorderWidth(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_Caption(BSTR *value) override;
    HRESULT STDMETHODCALLTYPE put_Caption(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_Color(OLE_COLOR *value) override;
    HRESULT STDMETHODCALLTYPE put_Color(OLE_COLOR value) override;
    HRESULT STDMETHODCALLTYPE get_Font(IFontDisp **value) override;
    HRESULT STDMETHODCALLTYPE put_Font(IFontDisp *value) override;
    HRESULT STDMETHODCALLTYPE putref_Font(IFontDisp **reference) override;
    HRESULT STDMETHODCALLTYPE get_KeyPreview(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_KeyPreview(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_PixelsPerInch(LONG *value) override;
    HRESULT STDMETHODCALLTYPE put_PixelsPerInch(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_PrintScale(TxPrintScale *value) override;
    HRESULT STDMETHODCALLTYPE put_PrintScale(TxPrintScale value) override;
    HRESULT STDMETHODCALLTYPE get_Scaled(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_Scaled(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_Active(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE get_DropTarget(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_DropTarget(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_HelpFile(BSTR *value) override;
    HRESULT STDMETHODCALLTYPE put_HelpFile(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_PopupMode(TxPopupMode *value) override;
    HRESULT STDMETHODCALLTYPE put_PopupMode(TxPopupMode value) override;
    HRESULT STDMETHODCALLTYPE get_ScreenSnap(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_ScreenSnap(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_SnapBuffer(LONG *value) override;
    HRESULT STDMETHODCALLTYPE put_SnapBuffer(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_DockSite(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_DockSite(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_DoubleBuffered(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_DoubleBuffered(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_AlignDisabled(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE get_MouseInClient(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE get_VisibleDockClientCount(LONG *value) override;
    HRESULT STDMETHODCALLTYPE get_ParentDoubleBuffered(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_ParentDoubleBuffered(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_UseDockManager(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_UseDockManager(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_ExplicitLeft(LONG *value) override;
    HRESULT STDMETHODCALLTYPE get_ExplicitTop(LONG *value) override;
    HRESULT STDMETHODCALLTYPE get_ExplicitWidth(LONG *value) override;
    HRESULT STDMETHODCALLTYPE get_ExplicitHeight(LONG *value) override;
    HRESULT STDMETHODCALLTYPE get_AlignWithMargins(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_AlignWithMargins(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_ParentCustomHint(VARIANT_BOOL *value) override;
    HRESULT STDMETHODCALLTYPE put_ParentCustomHint(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE Read_Card(BSTR ctype) override;

private:
    using Notification = std::function<void()>;

    // The ITavrix guard, with the controller kept alive for the whole call: the events a
    // call raises run container code that may drop the container's last reference.
    template <typename Body>
    HRESULT Guard(Body&& body) noexcept
    {
        Microsoft::WRL::ComPtr<IUnknown> keepAlive;
        if (live_)
            keepAlive = controller_;
        return ReportingGuard(std::forward<Body>(body));
    }

    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Handles a message sent to window: the form's window when it came, which a handler of
    // the form's events may have replaced by the time the handling ends.
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateWindowIn(HWND parent);
    void RebuildWindow();
    void RebuildNow();
    DWORD WindowStyle(bool child) const;
    DWORD WindowExStyle() const;
    COLORREF BackgroundColor() const;
    void Repaint();
    void Realign();
    void UpdateScrollRanges();
    void SizeToContent();
    RECT ContentBounds() const;
    void FontChanged();
    // The changes an accessor and a load share: each takes a new value and, when it
    // differs, has its effect on the window.
    void Place(const FormBounds& bounds);
    void ChangeAlignWithMargins(bool value);
    void ChangeAutoSize(bool value);
    void ChangeBorderStyle(uint8_t style);
    void ChangeBorderWidth(int32_t width);
    void ChangeCaption(const std::u16string& caption);
    void ChangeColor(uint32_t color);
    void ChangeAutoScroll(bool value);
    void ChangeEnabled(bool value);
    void TakePopupMode(uint8_t mode);  // without the rebuild it needs
    void ChangePopupMode(uint8_t mode);
    void ChangeDockSite(bool value);
    void ChangeDoubleBuffered(bool value);
    void ChangeUseDockManager(bool value);
    FontLink& Link();
    void Raise(DISPID event);
    static void Notify(const Notification& notification);
    IDispatch* ControllerDispatch();

    IUnknown* controller_;
    MessageHook hook_;
    HWND window_ = nullptr;
    ParentWindow parent_;
    Microsoft::WRL::ComPtr<ITavrixEvents> FEvents;
    unsigned sinkChanges_ = 0;

    // Attributes.
    FormState state_;
    std::unique_ptr<FontLink> fontLink_;
    GdiObject<HFONT> fontHandle_;
    HWND popupParent_ = nullptr;       // set explicitly
    HWND foundPopupParent_ = nullptr;  // found by the form itself
    bool active_ = false, mouseInClient_ = false, mouseDown_ = false;
    bool destroying_ = false, rebuilding_ = false;
    // Between construction and destruction, a message holds a reference to the
    // controller; outside that span its count may be zero and must not be touched.
    bool live_ = false;
    int alignDisabled_ = 0;
    struct DockManager {
        std::vector<HWND> clients;
    };
    std::unique_ptr<DockManager> dockManager_;
    std::vector<HWND> dockClients_;  // controls docked in the form

    // The form's notifications; Initialize connects them to the forwarders.
    Notification onActivate_, onClick_, onCreate_, onDblClick_, onDeactivate_, onDestroy_, onMouseEnter_,
        onMouseLeave_, onPaint_;
    std::function<void(wchar_t&)> onKeyPress_;
};
