// A small COM object of ours: it answers IUnknown and one interface, counts its references
// and deletes itself when the last one goes. A class that answers more overrides
// QueryInterface and calls Answer for each interface it has.
#pragma once

#include <windows.h>

#include <atomic>

template <typename Interface, const IID* InterfaceId>
class ComObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (Answer(iid, IID_IUnknown, object) || Answer(iid, *InterfaceId, object))
            return S_OK;
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~ComObject() = default;

    // Gives this object as Interface, with a reference, when iid is the one asked for.
    bool Answer(REFIID iid, REFIID answered, void** object)
    {
        if (!IsEqualIID(iid, answered))
            return false;
        *object = static_cast<Interface*>(this);
        AddRef();
        return true;
    }

private:
    std::atomic<ULONG> references_{0};
};
