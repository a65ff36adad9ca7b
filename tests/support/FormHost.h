// Stands in for the control object that owns a form and whose identity the form shares
// (tests only). Deleting the last reference destroys the form.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "TTavrix.h"

class FormHost final : public IUnknown {
public:
    FormHost() : form(std::make_unique<TTavrix>(this)) { ++alive; }
    ~FormHost() { --alive; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
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
