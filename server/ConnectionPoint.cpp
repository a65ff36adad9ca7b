#include "ConnectionPoint.h"

#include <olectl.h>

#include <atomic>

#include "ComObject.h"
#include "FaultReporting.h"

using Microsoft::WRL::ComPtr;

namespace {

// Walks a point's occupied slots up to the count it had when the walk began. It holds a
// reference on the control object for as long as it lives.
class ConnectionsEnumerator final : public ComObject<IEnumConnections, &IID_IEnumConnections> {
public:
    ConnectionsEnumerator(IUnknown* owner, ConnectionPoint& point, size_t position)
        : owner_(owner), point_(point), position_(position), end_(point.slots.size())
    {
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, CONNECTDATA* data, ULONG* fetched) override
    {
        if (!data && count > 0)
            return E_POINTER;
        ULONG handed = 0;
        for (; handed < count && Advance(); ++handed) {
            data[handed].pUnk = point_.slots[position_].Get();
            data[handed].pUnk->AddRef();
            data[handed].dwCookie = static_cast<DWORD>(position_ + 1);
            ++position_;
        }
        if (fetched)
            *fetched = handed;
        return handed == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        for (ULONG skipped = 0; skipped < count; ++skipped) {
            if (!Advance())
                return S_FALSE;
            ++position_;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumConnections** clone) override
    {
        if (!clone)
            return E_POINTER;
        *clone = nullptr;
        return HandlingGuard([&] {
            ComPtr<IEnumConnections> made = new ConnectionsEnumerator(owner_.Get(), point_, position_);
            *clone = made.Detach();
            return S_OK;
        });
    }

private:
    // Moves to the next occupied slot before the end; false when there is none.
    bool Advance()
    {
        while (position_ < end_ && position_ < point_.slots.size() && !point_.slots[position_])
            ++position_;
        return position_ < end_ && position_ < point_.slots.size();
    }

    ComPtr<IUnknown> owner_;
    ConnectionPoint& point_;
    size_t position_;
    const size_t end_;
};

}  // namespace

ConnectionPoint::ConnectionPoint(IUnknown* owner, IConnectionPointContainer* container, REFIID iid, bool singleSink,
                                 SinkChangeStep step)
    : owner_(owner), container_(container), iid_(iid), singleSink_(singleSink), step_(std::move(step))
{
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ConnectionPoint::AddRef() { return owner_->AddRef(); }
ULONG STDMETHODCALLTYPE ConnectionPoint::Release() { return owner_->Release(); }

HRESULT STDMETHODCALLTYPE ConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (!iid)
        return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    if (!container)
        return E_POINTER;
    *container = container_;
    container_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    // The sink change raises OnCreate, whose handler may drop the container's last reference.
    const ComPtr<IUnknown> keepAlive(owner_);
    return HandlingGuard([&]() -> HRESULT {
        if (!cookie)
            return E_POINTER;
        if (!sink)
            return E_UNEXPECTED;
        if (singleSink_ && !slots.empty() && slots[0])
            return CONNECT_E_CANNOTCONNECT;
        if (step_)
            step_(sink);
        size_t slot = 0;
        while (slot < slots.size() && slots[slot])
            ++slot;
        if (slot == slots.size())
            slots.emplace_back();
        slots[slot] = sink;
        *cookie = static_cast<DWORD>(slot + 1);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::Unadvise(DWORD cookie)
{
    const ComPtr<IUnknown> keepAlive(owner_);
    return HandlingGuard([&]() -> HRESULT {
        if (cookie == 0 || cookie > slots.size() || !slots[cookie - 1])
            return CONNECT_E_NOCONNECTION;
        if (step_)
            step_(nullptr);
        // Released after the slot is emptied: the sink's release may call back in.
        const ComPtr<IUnknown> released = std::move(slots[cookie - 1]);
        slots[cookie - 1].Reset();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::EnumConnections(IEnumConnections** connections)
{
    if (!connections)
        return E_POINTER;
    *connections = nullptr;
    return HandlingGuard([&] {
        ComPtr<IEnumConnections> made = new ConnectionsEnumerator(owner_, *this, 0);
        *connections = made.Detach();
        return S_OK;
    });
}
