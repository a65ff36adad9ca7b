#include "ControlFactory.h"

#include <oleauto.h>
#include <wrl/client.h>

#include "Bstr.h"
#include "ControlObject.h"
#include "FactoryList.h"
#include "Fault.h"
#include "ServerModule.h"
#include "Tavrix_h.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD OwnMiscStatus = 0x12000;  // OLEMISC_SIMPLEFRAME | OLEMISC_ACTSLIKELABEL
// OLEMISC_RECOMPOSEONRESIZE | CANTLINKINSIDE | INSIDEOUT | ACTIVATEWHENVISIBLE | SETCLIENTSITEFIRST
constexpr DWORD ControlMiscStatus = 0x20191;

[[noreturn]] void StartupStops(const wchar_t* format)
{
    // "%s" names the control object's class.
    std::wstring message = format;
    message.replace(message.find(L"%s"), 2, ControlObject::ClassName);
    throw Fault(std::u16string(message.begin(), message.end()));
}

IID ImplementedType(ITypeInfo* coclass, const TYPEATTR& attr, INT wanted)
{
    for (UINT i = 0; i < attr.cImplTypes; ++i) {
        INT flags = 0;
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> implemented;
        TYPEATTR* implementedAttr = nullptr;
        if (FAILED(coclass->GetImplTypeFlags(i, &flags)) ||
            (flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) != wanted ||
            FAILED(coclass->GetRefTypeOfImplType(i, &reference)) ||
            FAILED(coclass->GetRefTypeInfo(reference, &implemented)) ||
            FAILED(implemented->GetTypeAttr(&implementedAttr)))
            continue;
        const IID iid = implementedAttr->guid;
        implemented->ReleaseTypeAttr(implementedAttr);
        return iid;
    }
    return GUID_NULL;
}

}  // namespace

ControlFactory::ControlFactory(ServerModule& owner) : Owner(owner), ClassID(CLSID_Tavrix)
{
    ITypeLib* library = owner.TypeLib();
    ComPtr<ITypeInfo> coclass;
    if (!library || FAILED(library->GetTypeInfoOfGuid(ClassID, &coclass)))
        StartupStops(L"%s クラスのタイプ情報がありません");
    Bstr name, description;
    coclass->GetDocumentation(MEMBERID_NIL, name.out(), description.out(), nullptr, nullptr);
    const std::u16string className = name.text(), classDescription = description.text();
    ClassName.assign(className.begin(), className.end());
    Description.assign(classDescription.begin(), classDescription.end());
    ErrorIID = IID_IUnknown;

    TYPEATTR* attr = nullptr;
    if (FAILED(coclass->GetTypeAttr(&attr)))
        StartupStops(L"%s クラスのタイプ情報が間違っています");
    const IID defaultInterface = ImplementedType(coclass.Get(), *attr, IMPLTYPEFLAG_FDEFAULT);
    EventIID = ImplementedType(coclass.Get(), *attr, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
    coclass->ReleaseTypeAttr(attr);
    if (IsEqualGUID(defaultInterface, GUID_NULL))
        StartupStops(L"%s クラスのタイプ情報が間違っています");
    if (!IsEqualGUID(defaultInterface, IID_ITavrix))  // the one interface the form implements
        StartupStops(L"%s クラスのディスパッチ インターフェイスがありません");
    ErrorIID = defaultInterface;
    MiscStatus = OwnMiscStatus | ControlMiscStatus;
    ToolboxBitmapID = 0;
    Verbs = {{OLEIVERB_PRIMARY, L"プロパティ"}};
    // Listed only once complete, so that a stopped start-up leaves no factory behind.
    FactoryList::Instance().Add(this);
}

ControlFactory::~ControlFactory() { FactoryList::Instance().Remove(this); }

std::wstring ControlFactory::ProgID() const
{
    return ClassName.empty() ? std::wstring() : Owner.ServerName() + L"." + ClassName;
}

HRESULT STDMETHODCALLTYPE ControlFactory::QueryInterface(REFIID iid, void** object)
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

ULONG STDMETHODCALLTYPE ControlFactory::AddRef() { return static_cast<ULONG>(++Owner.FactoryCount); }
ULONG STDMETHODCALLTYPE ControlFactory::Release() { return static_cast<ULONG>(--Owner.FactoryCount); }

HRESULT STDMETHODCALLTYPE ControlFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    ControlObject* created = nullptr;
    try {
        created = new ControlObject(*this, outer);
    } catch (...) {
        if (ShowErrors) {
            std::u16string message;
            try {
                throw;
            } catch (const Fault& fault) {
                message = fault.message();
            } catch (...) {
            }
            const std::u16string text = FaultBoxText(message);
            MessageBoxW(nullptr, std::wstring(text.begin(), text.end()).c_str(), L"Qiv エラー",
                        MB_OK | MB_ICONHAND | MB_SETFOREGROUND);
        }
        return E_UNEXPECTED;
    }
    // The object's own query: with an outer object, IID_IUnknown gives the inner unknown.
    created->InnerAddRef();
    const HRESULT result = created->InnerQueryInterface(iid, object);
    created->InnerRelease();  // destroys it when the query kept nothing
    return result;
}

HRESULT STDMETHODCALLTYPE ControlFactory::LockServer(BOOL lock)
{
    const HRESULT result = CoLockObjectExternal(static_cast<IClassFactory*>(this), lock, TRUE);
    if (lock)
        ++Owner.ObjectCount;
    else
        --Owner.ObjectCount;
    return result;
}
