// EventSinkRelay: stands between the form and the container's event sink. Every event
// passes to the sink unchanged; whatever the sink answers, the event counts as delivered.
#pragma once

#include <windows.h>

#include <wrl/client.h>

#include "ComObject.h"

class EventSinkRelay final : public ComObject<IDispatch, &IID_IDispatch> {
public:
    // Queries sink for the events interface; a sink without it is a PlatformFault.
    EventSinkRelay(IUnknown* sink, REFIID eventsIid);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

private:
    Microsoft::WRL::ComPtr<IDispatch> sink_;
    const IID eventsIid_;
};
