// The control object's IPersistPropertyBag: one named value per read-write property of
// ITavrix, got and put through the control's own IDispatch.
#include "ControlObject.h"

#include <oleauto.h>

#include <string>
#include <vector>

#include "Bstr.h"
#include "DiscardsErrorInfo.h"
#include "FaultReporting.h"
#include "TavrixTypeInfo.h"
#include "Variant.h"

namespace {

struct BagProperty {
    DISPID dispid;
    std::wstring name;
};

// Derived from the type information on every call: the properties with both a get without
// parameters and a put or putref, in the order of the members, each once.
std::vector<BagProperty> BagProperties()
{
    ITypeInfo* type = TavrixTypeInfo();
    if (!type)
        throw PlatformFault(E_UNEXPECTED, u"No type information");
    TYPEATTR* attr = nullptr;
    Check(type->GetTypeAttr(&attr));
    const WORD count = attr->cFuncs;
    type->ReleaseTypeAttr(attr);

    struct Member {
        DISPID dispid;
        bool get, put;
    };
    std::vector<Member> members;
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* desc = nullptr;
        Check(type->GetFuncDesc(i, &desc));
        const bool get = desc->invkind == INVOKE_PROPERTYGET && desc->cParams == 0;
        const bool put = (desc->invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) && desc->cParams <= 1;
        members.push_back(Member{desc->memid, get, put});
        type->ReleaseFuncDesc(desc);
    }
    std::vector<BagProperty> properties;
    for (const Member& member : members) {
        if (!member.get && !member.put)
            continue;
        bool counterpart = false, listed = false;
        for (const Member& other : members)
            counterpart |= other.dispid == member.dispid && (member.get ? other.put : other.get);
        for (const BagProperty& property : properties)
            listed |= property.dispid == member.dispid;
        if (!counterpart || listed)
            continue;
        Bstr name;
        Check(type->GetDocumentation(member.dispid, name.out(), nullptr, nullptr, nullptr));
        properties.push_back(BagProperty{member.dispid, std::wstring(name.get(), SysStringLen(name.get()))});
    }
    return properties;
}

}  // namespace

HRESULT STDMETHODCALLTYPE ControlObject::Load(IPropertyBag* bag, IErrorLog* log)
{
    if (!bag)
        return E_POINTER;
    return Guard([&]() -> HRESULT {
        const DiscardsErrorInfo discarded;
        ITavrix& dispatch = *form_;
        for (const BagProperty& property : BagProperties()) {
            Variant value;
            if (bag->Read(property.name.c_str(), value.get(), log) == S_OK) {
                DISPID named = DISPID_PROPERTYPUT;
                DISPPARAMS parameters{value.get(), &named, 1, 1};
                dispatch.Invoke(property.dispid, IID_NULL, 0, DISPATCH_PROPERTYPUT, &parameters, nullptr, nullptr,
                                nullptr);  // a put that fails skips the property
            }
        }
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::Save(IPropertyBag* bag, BOOL, BOOL)
{
    if (!bag)
        return E_POINTER;
    return Guard([&]() -> HRESULT {
        ITavrix& dispatch = *form_;
        for (const BagProperty& property : BagProperties()) {
            Variant value;
            DISPPARAMS none{nullptr, nullptr, 0, 0};
            Check(dispatch.Invoke(property.dispid, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.get(), nullptr,
                                  nullptr));
            bag->Write(property.name.c_str(), value.get());  // a failed write does not stop the save
        }
        return S_OK;
    });
}
