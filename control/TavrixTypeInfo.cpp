#include "TavrixTypeInfo.h"

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include "ModuleFileName.h"
#include "Tavrix_h.h"

using Microsoft::WRL::ComPtr;

namespace {

struct Views {
    ComPtr<ITypeLib> library;
    ComPtr<ITypeInfo> dispatch, vtable;
};

Views Load()
{
    Views views;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&Load), &module))
        return views;
    const std::wstring path = ModuleFileName(module);
    if (path.empty() || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &views.library)) ||
        FAILED(views.library->GetTypeInfoOfGuid(IID_ITavrix, &views.dispatch)))
        return views;
    HREFTYPE vtable = 0;
    if (FAILED(views.dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable)) ||
        FAILED(views.dispatch->GetRefTypeInfo(vtable, &views.vtable)))
        views.vtable = views.dispatch;
    return views;
}

const Views& Loaded()
{
    static const Views views = Load();
    return views;
}

}  // namespace

ITypeLib* TavrixTypeLibrary() { return Loaded().library.Get(); }
ITypeInfo* TavrixTypeInfo() { return Loaded().dispatch.Get(); }
ITypeInfo* TavrixVtableTypeInfo() { return Loaded().vtable.Get(); }
