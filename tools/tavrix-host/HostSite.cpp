#include "HostSite.h"

HRESULT STDMETHODCALLTYPE HostFrame::QueryInterface(REFIID iid, void** object)
{
    if (object && (Answer(iid, IID_IOleWindow, object) || Answer(iid, IID_IOleInPlaceUIWindow, object)))
        return S_OK;
    return ComObject::QueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE HostSite::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (ComObject::QueryInterface(iid, object) == S_OK)
        return S_OK;
    if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite))
        *object = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(iid, IID_IOleControlSite))
        *object = static_cast<IOleControlSite*>(this);
    else if (IsEqualIID(iid, IID_IDispatch))
        *object = static_cast<IDispatch*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE HostSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                                     LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info)
{
    *frame = new HostFrame(window_);
    (*frame)->AddRef();
    *document = nullptr;
    *position = position_;
    GetClientRect(window_, clip);
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = window_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE HostSite::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                           EXCEPINFO*, UINT*)
{
    if (!result)
        return E_POINTER;
    VariantInit(result);
    switch (dispid) {
    case DISPID_AMBIENT_USERMODE:
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = VARIANT_TRUE;
        return S_OK;
    case DISPID_AMBIENT_BACKCOLOR:
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(0x80000000 | COLOR_WINDOW);
        return S_OK;
    case DISPID_AMBIENT_FORECOLOR:
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(0x80000000 | COLOR_WINDOWTEXT);
        return S_OK;
    case DISPID_AMBIENT_DISPLAYNAME:
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocString(L"Tavrix");
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}
