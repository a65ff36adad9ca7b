#include "TypeInformation.h"

#include <mutex>  // std::lock_guard

#include "CardReader_h.h"
#include "ErrorReporting.h"
#include "LibraryState.h"
#include "Lock.h"
#include "ModuleFileName.h"

using Microsoft::WRL::ComPtr;

namespace {

// Objects on several apartment threads may be created at once; the first loads.
class Loaded {
public:
    ~Loaded()
    {
        // oleaut32 may be gone when the whole process ends: the process takes it all then.
        if (LibraryUnloadsWithProcess) {
            dispatchView_.Detach();
            vtableView_.Detach();
        }
    }

    ITypeInfo* View(bool vtable)
    {
        std::lock_guard<Lock> locked(lock_);
        if (!dispatchView_) {
            const ComPtr<ITypeLib> library = LoadOwnTypeLibrary();
            ComPtr<ITypeInfo> dispatchView, vtableView;
            HREFTYPE vtableType = 0;
            const HRESULT status = [&] {
                HRESULT s = library->GetTypeInfoOfGuid(IID_ICardReader, &dispatchView);
                if (SUCCEEDED(s))
                    s = dispatchView->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableType);
                if (SUCCEEDED(s))
                    s = dispatchView->GetRefTypeInfo(vtableType, &vtableView);
                return s;
            }();
            if (FAILED(status))
                throw PlatformFault(status, u"The type library of NorvaneCardReader.dll lacks ICardReader: " +
                                                StatusText(status));
            dispatchView_ = dispatchView;
            vtableView_ = vtableView;
        }
        return vtable ? vtableView_.Get() : dispatchView_.Get();
    }

private:
    Lock lock_;
    ComPtr<ITypeInfo> dispatchView_, vtableView_;
};

Loaded loaded;

}  // namespace

ComPtr<ITypeLib> LoadOwnTypeLibrary()
{
    const std::wstring file = ModuleFileName(LibraryInstance);
    ComPtr<ITypeLib> library;
    const HRESULT status = file.empty() ? TYPE_E_CANTLOADLIBRARY : LoadTypeLibEx(file.c_str(), REGKIND_NONE, &library);
    if (FAILED(status))
        throw PlatformFault(status, u"The type library of NorvaneCardReader.dll cannot be read: " + StatusText(status));
    return library;
}

ITypeInfo* CardReaderTypeInfo() { return loaded.View(false); }

ITypeInfo* CardReaderVtableTypeInfo() { return loaded.View(true); }
