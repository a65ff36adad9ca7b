// The control object's in-place activation, view and data protocols.
// In-place activation in a container's window, drawing and the metafile picture are not
// built yet: these methods answer E_NOTIMPL until they are.
#include "ControlObject.h"
#include "FaultReporting.h"

HRESULT ControlObject::ActivateInPlace(bool) { return E_NOTIMPL; }

void ControlObject::HideForm()
{
    if (HWND window = form_->window())
        ShowWindow(window, SW_HIDE);
}

// IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject

HRESULT STDMETHODCALLTYPE ControlObject::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = form_->window();
    return *window ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE ControlObject::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::InPlaceDeactivate() { return S_OK; }  // never in place yet
HRESULT STDMETHODCALLTYPE ControlObject::UIDeactivate() { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::SetObjectRects(LPCRECT, LPCRECT) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::ReactivateAndUndo() { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::TranslateAccelerator(LPMSG) { return S_FALSE; }
HRESULT STDMETHODCALLTYPE ControlObject::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::EnableModeless(BOOL) { return S_OK; }

// IViewObject, IViewObject2

HRESULT STDMETHODCALLTYPE ControlObject::Draw(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, HDC, LPCRECTL, LPCRECTL,
                                              BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    return E_NOTIMPL;
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
    viewAdviseAspects_ = aspects;
    viewAdviseFlags_ = flags;
    viewAdviseSink_ = sink;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    if (aspects)
        *aspects = viewAdviseAspects_;
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

HRESULT STDMETHODCALLTYPE ControlObject::GetData(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
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

HRESULT STDMETHODCALLTYPE ControlObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::DUnadvise(DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ControlObject::EnumDAdvise(IEnumSTATDATA** advise)
{
    if (advise)
        *advise = nullptr;
    return E_NOTIMPL;
}
