#include "ClassFactory.h"

#include <wrl/client.h>

#include "CardReader.h"
#include "ErrorReporting.h"
#include "LibraryState.h"
#include "TypeInformation.h"

using Microsoft::WRL::ComPtr;

namespace {

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++LibraryUsers); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--LibraryUsers); }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return StatusGuard([&] {
            // An object whose type library cannot be read could not be called late bound:
            // none is made.
            CardReaderTypeInfo();
            const ComPtr<CardReader> reader(new CardReader);
            return reader->QueryInterface(iid, object);
        });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock)
            ++LibraryUsers;
        else
            --LibraryUsers;
        return S_OK;
    }
};

}  // namespace

IClassFactory& CardReaderFactory()
{
    static Factory factory;
    return factory;
}
