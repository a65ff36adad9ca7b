// The control object's persistence protocols. The property stream, storage and property
// bag formats are not built yet: loading and saving answer E_NOTIMPL until they are.
#include "ControlFactory.h"
#include "ControlObject.h"

HRESULT STDMETHODCALLTYPE ControlObject::GetClassID(CLSID* classId)
{
    if (!classId)
        return E_POINTER;
    *classId = factory_.ClassID;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::IsDirty() { return S_FALSE; }  // the control keeps no unsaved state
HRESULT STDMETHODCALLTYPE ControlObject::Load(IStream*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::Save(IStream*, BOOL) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ControlObject::GetSizeMax(ULARGE_INTEGER* size)
{
    if (size)
        size->QuadPart = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ControlObject::InitNew() { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::InitNew(IStorage*) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::Load(IStorage*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::Save(IStorage*, BOOL) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::SaveCompleted(IStorage*) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::HandsOffStorage() { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::Load(IPropertyBag*, IErrorLog*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::Save(IPropertyBag*, BOOL, BOOL) { return E_NOTIMPL; }
