// The control object in its container's window: in-place and UI activation, the message
// hook on the form's window, keyboard handling, and the drawing and picture interfaces.
#include <olectl.h>

#include "ControlFactory.h"
#include "ControlObject.h"
#include "FaultReporting.h"
#include "FormMessages.h"
#include "GdiObject.h"
#include "ParkingWindow.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT ReflectedFirst = ReflectedMessageBase, ReflectedLast = ReflectedMessageBase + 0x3FF;
// The modifier flags of IOleControlSite::TranslateAccelerator.
constexpr DWORD KeyModShift = 1, KeyModControl = 2, KeyModAlt = 4;

}  // namespace

// Activation

HRESULT ControlObject::ActivateInPlace(bool uiActivate)
{
    // Every call below reaches the container, and the focus raises OnActivate: a handler may
    // close the control, clear its site or deactivate it. The calls go through references
    // held here, and each step first checks that the control is still where it was.
    form_->SetVisible(true);
    if (!inPlaceActive_) {
        const ComPtr<IOleClientSite> client = clientSite_;
        ComPtr<IOleInPlaceSite> site;
        bool told = false;  // OnInPlaceActivate succeeded
        try {
            if (!client)
                throw PlatformFault(E_FAIL, u"No client site");
            Check(client->QueryInterface(IID_PPV_ARGS(&site)));
            inPlaceSite_ = site;
            if (site->CanInPlaceActivate() != S_OK)
                throw PlatformFault(E_FAIL, u"The site refuses in-place activation");
            Check(site->OnInPlaceActivate());
            told = true;
            HWND parent = nullptr;
            Check(site->GetWindow(&parent));
            RECT position{}, clip{};
            OLEINPLACEFRAMEINFO frameInfo{};
            frameInfo.cb = 20;
            ComPtr<IOleInPlaceFrame> frame;
            ComPtr<IOleInPlaceUIWindow> uiWindow;
            Check(site->GetWindowContext(&frame, &uiWindow, &position, &clip, &frameInfo));
            if (!frame)
                throw PlatformFault(E_FAIL, u"The site gives no frame");
            inPlaceFrame_ = frame;
            inPlaceUIWindow_ = uiWindow;
            form_->SetBounds(position.left, position.top, position.right - position.left,
                             position.bottom - position.top);
            SetParent(form_->EnsureWindow(), parent);
            form_->SetVisible(true);
            inPlaceActive_ = true;
            client->ShowObject();
        } catch (...) {
            inPlaceActive_ = false;
            inPlaceUIWindow_.Reset();
            inPlaceFrame_.Reset();
            inPlaceSite_.Reset();
            if (told)
                site->OnInPlaceDeactivate();
            return HandleFault(std::current_exception());
        }
    }
    if (uiActivate && !uiActive_) {
        const ComPtr<IOleInPlaceSite> site = inPlaceSite_;
        const ComPtr<IOleInPlaceFrame> frame = inPlaceFrame_;
        const ComPtr<IOleInPlaceUIWindow> uiWindow = inPlaceUIWindow_;
        const auto stillInPlace = [&] { return inPlaceActive_ && inPlaceSite_ == site && inPlaceFrame_ == frame; };
        if (!site || !frame || !stillInPlace())
            return S_OK;  // undone by the container while it was told
        uiActive_ = true;
        site->OnUIActivate();
        if (!stillInPlace() || !uiActive_)
            return S_OK;
        SetFocus(form_->window());
        if (!stillInPlace() || !uiActive_)
            return S_OK;
        IOleInPlaceActiveObject* active = this;
        frame->SetActiveObject(active, nullptr);
        if (uiWindow)
            uiWindow->SetActiveObject(active, nullptr);
        frame->SetBorderSpace(nullptr);
        if (uiWindow)
            uiWindow->SetBorderSpace(nullptr);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::UIDeactivate()
{
    return Guard([&]() -> HRESULT {
        if (uiActive_) {
            uiActive_ = false;
            const ComPtr<IOleInPlaceSite> site = inPlaceSite_;
            const ComPtr<IOleInPlaceFrame> frame = inPlaceFrame_;
            const ComPtr<IOleInPlaceUIWindow> uiWindow = inPlaceUIWindow_;
            if (uiWindow)
                uiWindow->SetActiveObject(nullptr, nullptr);
            if (frame)
                frame->SetActiveObject(nullptr, nullptr);
            if (site)
                site->OnUIDeactivate(FALSE);
        }
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::InPlaceDeactivate()
{
    return Guard([&]() -> HRESULT {
        if (inPlaceActive_) {
            inPlaceActive_ = false;
            UIDeactivate();
            HideForm();
            if (HWND window = form_->window())
                SetParent(window, ParkingWindow());
            inPlaceUIWindow_.Reset();
            inPlaceFrame_.Reset();
            const ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
            inPlaceSite_.Reset();
            if (site)
                site->OnInPlaceDeactivate();
        }
        HideForm();
        return S_OK;
    });
}

void ControlObject::HideForm() { form_->SetVisible(false); }

// The form asked for a new window while in its container's: build it again in place.
void ControlObject::RecreateControlWindow()
{
    HWND window = form_->window();
    if (!window)
        return;
    const bool wasUiActive = uiActive_;
    HWND previous = ::GetWindow(window, GW_HWNDPREV);
    InPlaceDeactivate();
    form_->DestroyWindowNow();
    if (ActivateInPlace(wasUiActive) == S_OK)
        SetWindowPos(form_->window(), previous, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

HRESULT STDMETHODCALLTYPE ControlObject::SetObjectRects(LPCRECT position, LPCRECT clip)
{
    if (!position || !clip)
        return E_POINTER;
    return Guard([&]() -> HRESULT {
        if (HWND window = form_->window()) {
            RECT visible;
            if (IntersectRect(&visible, position, clip) && !EqualRect(&visible, position)) {
                OffsetRect(&visible, -position->left, -position->top);
                SetWindowRgn(window, CreateRectRgnIndirect(&visible), TRUE);  // the window owns the region
            } else {
                SetWindowRgn(window, nullptr, TRUE);
            }
            InvalidateRect(window, nullptr, TRUE);
        }
        form_->SetBounds(position->left, position->top, position->right - position->left,
                         position->bottom - position->top);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::ReactivateAndUndo() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ControlObject::OnFrameWindowActivate(BOOL)
{
    return Guard([&] { return ActivateInPlace(true); });
}

HRESULT STDMETHODCALLTYPE ControlObject::OnDocWindowActivate(BOOL activate)
{
    return Guard([&] { return activate ? ActivateInPlace(true) : S_OK; });
}

HRESULT STDMETHODCALLTYPE ControlObject::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::EnableModeless(BOOL) { return S_OK; }

HRESULT STDMETHODCALLTYPE ControlObject::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = form_->window();
    return *window ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE ControlObject::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// Keyboard

bool ControlObject::IsOwnWindow(HWND window) const
{
    HWND form = form_->window();
    return form && window && (window == form || IsChild(form, window));
}

HRESULT STDMETHODCALLTYPE ControlObject::TranslateAccelerator(LPMSG message)
{
    return Guard([&]() -> HRESULT {
        if (!message)
            return E_POINTER;
        if (message->message >= WM_KEYFIRST && message->message <= WM_KEYLAST && IsOwnWindow(message->hwnd)) {
            // The form has no child controls of its own: the window object is the form.
            HWND window = form_->window();
            const WPARAM key = message->wParam;
            if (message->message == WM_KEYDOWN && SendMessageW(window, FormMessage::ChildKey, key, 0))
                return S_OK;
            LRESULT mask = 0;
            if (key == VK_TAB)
                mask = DLGC_WANTTAB;
            else if (key == VK_RETURN || key == VK_ESCAPE || key == VK_CANCEL || key == VK_EXECUTE)
                mask = DLGC_WANTALLKEYS;
            else if (key >= VK_PRIOR && key <= VK_DOWN)
                mask = DLGC_WANTARROWS;
            if (mask && (SendMessageW(window, FormMessage::WantSpecialKey, key, 0) ||
                         (SendMessageW(window, WM_GETDLGCODE, 0, 0) & mask))) {
                TranslateMessage(message);
                DispatchMessageW(message);
                return S_OK;
            }
            if (message->message == WM_KEYDOWN && GetParent(window) &&
                SendMessageW(window, FormMessage::DialogKey, message->wParam, message->lParam))
                return S_OK;
        }
        const ComPtr<IOleControlSite> site = controlSite_;
        if (!site)
            return S_FALSE;
        DWORD modifiers = 0;
        if (GetKeyState(VK_SHIFT) < 0)
            modifiers |= KeyModShift;
        if (GetKeyState(VK_CONTROL) < 0)
            modifiers |= KeyModControl;
        if (GetKeyState(VK_MENU) < 0)
            modifiers |= KeyModAlt;
        return site->TranslateAccelerator(message, modifiers);
    });
}

// The message hook on the form's window

LRESULT ControlObject::HookMessage(UINT message, WPARAM wParam, LPARAM lParam, const TTavrix::PassOn& passOn)
{
    // passOn runs the form's handlers and so the container's events, which may clear the
    // site: both filters go to the simple frame site as it was when the message came.
    const ComPtr<ISimpleFrameSite> frameSite =
        (message < FormMessage::First || message > FormMessage::Last) && inPlaceActive_ ? simpleFrameSite_ : nullptr;
    HWND window = form_->window();
    LRESULT result = 0;
    DWORD cookie = 0;
    if (frameSite && frameSite->PreMessageFilter(window, message, wParam, lParam, &result, &cookie) == S_FALSE)
        return result;

    switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        result = passOn(message, wParam, lParam);
        if (const ComPtr<IOleControlSite> site = controlSite_)
            site->OnFocus(message == WM_SETFOCUS);
        break;
    case FormMessage::VisibleChanged:
        if (!wParam)
            UIDeactivate();
        result = passOn(message, wParam, lParam);
        break;
    case FormMessage::RecreateWindow:
        if (inPlaceActive_) {
            RecreateControlWindow();
            return 0;  // the window is gone: nothing more for it
        }
        result = passOn(message, wParam, lParam);
        NotifyViewChange();
        break;
    case WM_SETTEXT:
    case FormMessage::Invalidate:
        result = passOn(message, wParam, lParam);
        if (!inPlaceActive_)
            NotifyViewChange();
        break;
    case WM_NCHITTEST:
        result = passOn(message, wParam, lParam);
        if (result == HTTRANSPARENT)
            result = HTCLIENT;
        break;
    case WM_MOUSEACTIVATE:
        result = passOn(message, wParam, lParam);
        if (!uiActive_ && (result == MA_ACTIVATE || result == MA_ACTIVATEANDEAT) && ambientDispatch_) {
            // A failed read is a fault of this message: shown, and the control stays inactive.
            VARIANT userMode = Ambient(DISPID_AMBIENT_USERMODE);
            const bool running = SUCCEEDED(VariantChangeType(&userMode, &userMode, 0, VT_BOOL)) && V_BOOL(&userMode);
            VariantClear(&userMode);
            if (running)
                ActivateInPlace(true);
        }
        break;
    default:
        if (message >= ReflectedFirst && message <= ReflectedLast)
            result = passOn(FormMessage::ReflectedBase + (message - ReflectedFirst), wParam, lParam);
        else
            result = passOn(message, wParam, lParam);
        break;
    }

    if (frameSite && IsWindow(window))
        frameSite->PostMessageFilter(window, message, wParam, lParam, &result, cookie);
    return result;
}

// IViewObject, IViewObject2

void ControlObject::NotifyViewChange()
{
    if (!viewAdviseSink_)
        return;
    const ComPtr<IAdviseSink> sink = viewAdviseSink_;
    sink->OnViewChange(DVASPECT_CONTENT, -1);
    if (viewAdviseFlags_ & ADVF_ONLYONCE)
        viewAdviseSink_.Reset();
}

HRESULT STDMETHODCALLTYPE ControlObject::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC draw,
                                              LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                              ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!draw || !bounds)
        return E_INVALIDARG;
    return Guard([&]() -> HRESULT {
        const bool wasVisible = form_->visible();
        form_->SetVisible(true);
        HWND window = form_->EnsureWindow();
        ShowWindow(window, SW_SHOWNORMAL);
        POINT corners[2] = {{bounds->left, bounds->top}, {bounds->right, bounds->bottom}};
        LPtoDP(draw, corners, 2);
        const int saved = SaveDC(draw);
        SetViewportOrgEx(draw, 0, 0, nullptr);
        SetWindowOrgEx(draw, 0, 0, nullptr);
        SetMapMode(draw, MM_TEXT);
        // At the form's own size: the size of the bounds does not scale the picture.
        SetViewportOrgEx(draw, corners[0].x, corners[0].y, nullptr);
        SendMessageW(window, WM_PRINT, reinterpret_cast<WPARAM>(draw),
                     PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
        RestoreDC(draw, saved);
        form_->SetVisible(wasVisible);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors)
{
    if (colors)
        *colors = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ControlObject::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ControlObject::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink)
{
    if (!(aspects & DVASPECT_CONTENT))
        return DV_E_DVASPECT;
    return Guard([&]() -> HRESULT {
        viewAdviseFlags_ = flags;
        viewAdviseSink_ = sink;
        if (flags & ADVF_PRIMEFIRST)
            NotifyViewChange();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    if (aspects)
        *aspects = DVASPECT_CONTENT;
    if (flags)
        *flags = viewAdviseFlags_;
    if (sink) {
        *sink = viewAdviseSink_.Get();
        if (*sink)
            (*sink)->AddRef();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return GetExtent(aspect, size);
}

// IDataObject

HRESULT STDMETHODCALLTYPE ControlObject::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    if (!format || !medium)
        return E_POINTER;
    if (!(format->tymed & TYMED_MFPICT))
        return DV_E_FORMATETC;
    return Guard([&]() -> HRESULT {
        SIZEL extent{};
        Check(GetExtent(DVASPECT_CONTENT, &extent));
        HDC metafile = CreateMetaFileW(nullptr);
        if (!metafile)
            return E_UNEXPECTED;
        SetWindowOrgEx(metafile, 0, 0, nullptr);
        SetWindowExtEx(metafile, extent.cx, extent.cy, nullptr);

        const bool wasVisible = form_->visible();
        form_->SetVisible(true);
        HWND window = form_->EnsureWindow();
        const SIZE pixels = form_->Size();
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        {
            const GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen, pixels.cx, pixels.cy));
            HGDIOBJ old = SelectObject(memory, bitmap.get());
            SendMessageW(window, WM_PRINT, reinterpret_cast<WPARAM>(memory),
                         PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
            StretchBlt(metafile, 0, 0, extent.cx, extent.cy, memory, 0, 0, pixels.cx, pixels.cy, SRCCOPY);
            SelectObject(memory, old);
        }
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        form_->SetVisible(wasVisible);

        HMETAFILE picture = CloseMetaFile(metafile);
        if (!picture)
            return E_UNEXPECTED;
        HGLOBAL memoryHandle = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(METAFILEPICT));
        if (!memoryHandle) {
            DeleteMetaFile(picture);
            return STG_E_MEDIUMFULL;
        }
        auto* pict = static_cast<METAFILEPICT*>(GlobalLock(memoryHandle));
        pict->mm = MM_ANISOTROPIC;
        pict->xExt = extent.cx;
        pict->yExt = extent.cy;
        pict->hMF = picture;
        GlobalUnlock(memoryHandle);
        medium->tymed = TYMED_MFPICT;
        medium->hMetaFilePict = memoryHandle;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::QueryGetData(FORMATETC*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ControlObject::EnumFormatEtc(DWORD, IEnumFORMATETC** formats)
{
    if (formats)
        *formats = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ControlObject::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                                                 DWORD* connection)
{
    return Guard([&]() -> HRESULT {
        if (!dataAdviseHolder_)
            Check(CreateDataAdviseHolder(&dataAdviseHolder_));
        return dataAdviseHolder_->Advise(static_cast<IDataObject*>(this), format, flags, sink, connection);
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::DUnadvise(DWORD connection)
{
    return dataAdviseHolder_ ? dataAdviseHolder_->Unadvise(connection) : OLE_E_NOCONNECTION;
}

HRESULT STDMETHODCALLTYPE ControlObject::EnumDAdvise(IEnumSTATDATA** advise)
{
    if (!advise)
        return E_POINTER;
    *advise = nullptr;
    return dataAdviseHolder_ ? dataAdviseHolder_->EnumAdvise(advise) : E_FAIL;
}
