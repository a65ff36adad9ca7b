// A container's client site for tests: client site, control site and ambient properties,
// recording what the control asks of it (tests only).
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <vector>

#include "../../base/ComObject.h"

class TestSite final : public ComObject<IOleClientSite, &IID_IOleClientSite>, public IOleControlSite, public IDispatch {
public:
    int saveObjectCalls = 0;
    int showPropertyFrameCalls = 0;
    HRESULT showPropertyFrameResult = E_NOTIMPL;
    std::vector<DISPID> ambientReads;
    bool answersAmbients = true;
    OLE_COLOR backColor = 0x00FF00FF;
    bool userMode = true;
    DWORD lastModifiers = ~0u;
    int translateAcceleratorCalls = 0;
    // Further interfaces of the same site, answered first (an in-place site, say).
    std::function<bool(REFIID, void**)> moreInterfaces;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (moreInterfaces && moreInterfaces(iid, object))
            return S_OK;
        if (ComObject::QueryInterface(iid, object) == S_OK)
            return S_OK;
        if (IsEqualIID(iid, IID_IOleControlSite))
            *object = static_cast<IOleControlSite*>(this);
        else if (IsEqualIID(iid, IID_IDispatch) && answersAmbients)
            *object = static_cast<IDispatch*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    // The one count, whichever interface it is asked through.
    ULONG STDMETHODCALLTYPE AddRef() override { return ComObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return ComObject::Release(); }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override
    {
        ++saveObjectCalls;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override
    {
        *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override
    {
        *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleControlSite
    HRESULT STDMETHODCALLTYPE OnControlInfoChanged() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch** control) override
    {
        *control = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*, DWORD modifiers) override
    {
        ++translateAcceleratorCalls;
        lastModifiers = modifiers;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE OnFocus(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override
    {
        ++showPropertyFrameCalls;
        return showPropertyFrameResult;
    }

    // IDispatch: the ambient properties
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override
    {
        ambientReads.push_back(dispid);
        if (!result)
            return E_POINTER;
        VariantInit(result);
        switch (dispid) {
        case DISPID_AMBIENT_BACKCOLOR:
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(backColor);
            return S_OK;
        case DISPID_AMBIENT_FORECOLOR:
            V_VT(result) = VT_I4;
            V_I4(result) = 0;
            return S_OK;
        case DISPID_AMBIENT_USERMODE:
            V_VT(result) = VT_BOOL;
            V_BOOL(result) = userMode ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }
};

// The references held on an object now: AddRef and Release both answer the count.
template <typename Object>
ULONG ReferencesOf(Object* object)
{
    object->AddRef();
    return object->Release();
}

// A property-notification sink that does nothing (tests only).
class QuietPropertySink final : public ComObject<IPropertyNotifySink, &IID_IPropertyNotifySink> {
public:
    HRESULT STDMETHODCALLTYPE OnChanged(DISPID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID) override { return S_OK; }
};
