// Stands in for the control object that owns a form and whose identity the form shares
// (tests only). Deleting the last reference destroys the form.
#pragma once

#include <windows.h>

#include <memory>

#include "../../base/ComObject.h"
#include "TTavrix.h"

class FormHost final : public ComObject<IUnknown, &IID_IUnknown> {
public:
    explicit FormHost(HWND parent = nullptr)
        : form(std::make_unique<TTavrix>(this, [parent] { return parent; }))
    {
        form->Initialize();
        ++alive;
    }
    ~FormHost() override
    {
        // As the control object does: the form goes first, while the host is whole. The form
        // may still take and give back references to its host as it goes: the count, at zero
        // here, is held at one so that it cannot reach zero a second time.
        AddRef();
        form.reset();
        --alive;
    }

    // IUnknown is the host; the form's interfaces are the form's, counted on the host.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (ComObject::QueryInterface(iid, object) == S_OK)
            return S_OK;
        if (!IsEqualIID(iid, IID_ITavrix) && !IsEqualIID(iid, IID_IDispatch))
            return E_NOINTERFACE;
        *object = static_cast<ITavrix*>(form.get());
        AddRef();
        return S_OK;
    }

    std::unique_ptr<TTavrix> form;
    static inline int alive = 0;
};
