// Stands in for the control object that owns a form and whose identity the form shares
// (tests only). Deleting the last reference destroys the form.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "TTavrix.h"

class FormHost final : public IUnknown {
public:
    explicit FormHost(HWND parent = nullptr)
        : form(std::make_unique<TTavrix>(this, [parent] { return parent; }))
    {
        form->Initialize();
        ++alive;
    }
    ~FormHost()
    {
        // As the control object does: the form goes first, while the host is whole.
        references = 1;
        form.reset();
        --alive;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *object = static_cast<IUnknown*>(this);
        } else if (IsEqualIID(iid, IID_ITavrix) || IsEqualIID(iid, IID_IDispatch)) {
            *object = static_cast<ITavrix*>(form.get());
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }

    std::unique_ptr<TTavrix> form;
    std::atomic<ULONG> references{0};
    static inline int alive = 0;
};
