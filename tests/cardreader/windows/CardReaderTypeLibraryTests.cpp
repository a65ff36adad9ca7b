// The type library inside NorvaneCardReader.dll, read as a Basic host reads it (LoadTypeLibEx,
// nothing registered): every member a VBA or VB6 program can declare, with English help. Reads
// the library beside it, or the file NORVANE_CARD_READER_FILE names (a 64-bit run can read the
// x86 build's where x86 programs cannot run).
#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../../../base/Bstr.h"
#include "../../support/ChildProcess.h"
#include "../../support/TypeDescriptions.h"
#include "CardReader_h.h"

using Microsoft::WRL::ComPtr;

namespace {

std::wstring LibraryFile()
{
    wchar_t named[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"NORVANE_CARD_READER_FILE", named, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(named, length) : ProgramFolder() + L"NorvaneCardReader.dll";
}

std::string Narrow(const std::u16string& text) { return std::filesystem::path(text).string(); }

std::u16string Name(ITypeInfo* info, MEMBERID member)
{
    Bstr name;
    info->GetDocumentation(member, name.out(), nullptr, nullptr, nullptr);
    return name.text();
}

std::u16string HelpString(ITypeInfo* info, MEMBERID member)
{
    Bstr text;
    info->GetDocumentation(member, nullptr, text.out(), nullptr, nullptr);
    return text.text();
}

bool English(const std::u16string& text)
{
    if (text.empty())
        return false;
    for (char16_t c : text)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

// Whether Basic has a type for it: what a parameter, a property or a result may be.
bool BasicType(const TYPEDESC& type, bool result)
{
    switch (type.vt) {
    case VT_BSTR:
    case VT_BOOL:
    case VT_I2:
    case VT_I4:
    case VT_VARIANT:
    case VT_DISPATCH:
        return true;
    case VT_HRESULT:
    case VT_VOID:
        return result;
    case VT_PTR:  // by reference: an out parameter, or ByRef
        return !result && type.lptdesc && type.lptdesc->vt != VT_PTR && BasicType(*type.lptdesc, false);
    default:
        return false;
    }
}

std::string TypeText(const TYPEDESC& type)
{
    return type.vt == VT_PTR && type.lptdesc ? TypeText(*type.lptdesc) + "*" : "VARTYPE " + std::to_string(type.vt);
}

TEST(CardReaderTypeLibrary, EveryMemberHasABasicTypeAndEnglishHelp)
{
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(LibraryFile().c_str(), REGKIND_NONE, &library), S_OK);
    Bstr libraryHelp;
    ASSERT_EQ(library->GetDocumentation(-1, nullptr, libraryHelp.out(), nullptr, nullptr), S_OK);
    EXPECT_TRUE(English(libraryHelp.text())) << Narrow(libraryHelp.text());

    std::set<std::u16string> members;
    for (UINT index = 0; index < library->GetTypeInfoCount(); ++index) {
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(library->GetTypeInfo(index, &info), S_OK);
        // A dual interface's members are checked on its vtable view, which lists its own
        // members without those of IDispatch.
        {
            const Lent<TYPEATTR> attr = Attr(info.Get());
            if (attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL)) {
                HREFTYPE vtable = 0;
                ComPtr<ITypeInfo> view;
                ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable), S_OK);
                ASSERT_EQ(info->GetRefTypeInfo(vtable, &view), S_OK);
                info = view;
            }
        }
        const Lent<TYPEATTR> attr = Attr(info.Get());
        const std::u16string typeName = Name(info.Get(), MEMBERID_NIL);
        SCOPED_TRACE(Narrow(typeName));
        EXPECT_TRUE(English(HelpString(info.Get(), MEMBERID_NIL))) << "help string of the type";
        for (UINT f = 0; f < attr->cFuncs; ++f) {
            const Lent<FUNCDESC> func = Func(info.Get(), f);
            const std::u16string member = Name(info.Get(), func->memid);
            members.insert(typeName + u"." + member);
            EXPECT_TRUE(BasicType(func->elemdescFunc.tdesc, true))
                << Narrow(member) << " returns " << TypeText(func->elemdescFunc.tdesc);
            for (SHORT p = 0; p < func->cParams; ++p)
                EXPECT_TRUE(BasicType(func->lprgelemdescParam[p].tdesc, false))
                    << Narrow(member) << " parameter " << p << " is " << TypeText(func->lprgelemdescParam[p].tdesc);
            EXPECT_TRUE(English(HelpString(info.Get(), func->memid))) << "help string of " << Narrow(member);
        }
        for (UINT v = 0; v < attr->cVars; ++v) {
            const Lent<VARDESC> var = Var(info.Get(), v);
            const std::u16string member = Name(info.Get(), var->memid);
            members.insert(typeName + u"." + member);
            EXPECT_TRUE(BasicType(var->elemdescVar.tdesc, false))
                << Narrow(member) << " is " << TypeText(var->elemdescVar.tdesc);
        }
    }
    // The walk reached the surface callers use (a property appears once, as its getter).
    for (const char16_t* expected : {u"ICardReader.Read", u"ICardReader.CardID", u"ICardReader.ErrorCode",
                                     u"ICardReader.Message"})
        EXPECT_EQ(members.count(expected), 1u) << Narrow(expected);
}

TEST(CardReaderTypeLibrary, TheInterfaceIsDualAndTheClassCreatable)
{
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(LibraryFile().c_str(), REGKIND_NONE, &library), S_OK);
    ComPtr<ITypeInfo> dispatchView, coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ICardReader, &dispatchView), S_OK);
    EXPECT_TRUE(Attr(dispatchView.Get())->wTypeFlags & TYPEFLAG_FDUAL);
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_CardReader, &coclass), S_OK);
    const Lent<TYPEATTR> attr = Attr(coclass.Get());
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE);
    ASSERT_EQ(attr->cImplTypes, 1);
    HREFTYPE implemented = 0;
    ComPtr<ITypeInfo> interfaceInfo;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &implemented), S_OK);
    ASSERT_EQ(coclass->GetRefTypeInfo(implemented, &interfaceInfo), S_OK);
    EXPECT_TRUE(IsEqualIID(Attr(interfaceInfo.Get())->guid, IID_ICardReader));
}

}  // namespace
