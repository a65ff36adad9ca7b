// One connection point of the control object and its connections enumerator.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <functional>
#include <vector>

class ConnectionPoint final : public IConnectionPoint {
public:
    // Connecting (a sink) or disconnecting (null); raises a fault to refuse a sink.
    using SinkChangeStep = std::function<void(IUnknown* sink)>;

    // owner: the control object's controlling unknown, which counts this point's references.
    ConnectionPoint(IUnknown* owner, IConnectionPointContainer* container, REFIID iid, bool singleSink,
                    SinkChangeStep step);

    REFIID iid() const { return iid_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

    // Slots keep their place: a cookie is a slot's index plus one.
    std::vector<Microsoft::WRL::ComPtr<IUnknown>> slots;

private:
    IUnknown* owner_;
    IConnectionPointContainer* container_;
    const IID iid_;
    const bool singleSink_;
    SinkChangeStep step_;
};
