#include "EventSinkRelay.h"

#include "FaultReporting.h"

EventSinkRelay::EventSinkRelay(IUnknown* sink, REFIID eventsIid) : eventsIid_(eventsIid)
{
    Check(sink->QueryInterface(eventsIid, reinterpret_cast<void**>(sink_.GetAddressOf())));
}

HRESULT STDMETHODCALLTYPE EventSinkRelay::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, eventsIid_)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return sink_->QueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE EventSinkRelay::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE EventSinkRelay::Release()
{
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE EventSinkRelay::GetTypeInfoCount(UINT* count) { return sink_->GetTypeInfoCount(count); }

HRESULT STDMETHODCALLTYPE EventSinkRelay::GetTypeInfo(UINT index, LCID locale, ITypeInfo** info)
{
    return sink_->GetTypeInfo(index, locale, info);
}

HRESULT STDMETHODCALLTYPE EventSinkRelay::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                                        DISPID* ids)
{
    return sink_->GetIDsOfNames(iid, names, count, locale, ids);
}

HRESULT STDMETHODCALLTYPE EventSinkRelay::Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                                 DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                                 UINT* argumentError)
{
    // Keep the sink for the call: its handler may disconnect it.
    const Microsoft::WRL::ComPtr<IDispatch> sink = sink_;
    sink->Invoke(member, iid, locale, flags, parameters, result, exception, argumentError);
    return S_OK;
}
