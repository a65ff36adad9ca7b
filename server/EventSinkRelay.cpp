#include "EventSinkRelay.h"

#include "FaultReporting.h"

EventSinkRelay::EventSinkRelay(IUnknown* sink, REFIID eventsIid) : eventsIid_(eventsIid)
{
    Check(sink->QueryInterface(eventsIid, reinterpret_cast<void**>(sink_.GetAddressOf())));
}

// Answers for itself as IDispatch and as the events interface; anything else is the sink's.
HRESULT STDMETHODCALLTYPE EventSinkRelay::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (ComObject::QueryInterface(iid, object) == S_OK || Answer(iid, eventsIid_, object))
        return S_OK;
    return sink_->QueryInterface(iid, object);
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
