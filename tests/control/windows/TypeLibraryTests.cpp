// The type library inside Norvane.ocx, as LoadTypeLibEx reads it, against the declared
// automation surface. Runs with the Japanese ANSI code page, in which the library keeps
// its texts. Reads the Norvane.ocx beside it, or the file NORVANE_TYPELIB_FILE names: the
// test command points a 64-bit run at the x86 build where x86 programs cannot run.
#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../../../base/Bstr.h"
#include "../../../reader/ReaderLibrary.h"
#include "../../support/ChildProcess.h"
#include "../../support/TypeDescriptions.h"
#include "Tavrix_h.h"

using Microsoft::WRL::ComPtr;

namespace {

const GUID Stdole2 = {0x00020430, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID IFontDispIid = {0xBEF6E003, 0xA874, 0x101A, {0x8B, 0xBA, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}};

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

struct Doc {
    std::wstring name, text, helpFile;
    DWORD helpContext = 0;
    bool hasText = false, hasHelpFile = false;
};

template <typename Source>
Doc Document(Source* source, MEMBERID member)
{
    Bstr name, text, helpFile;
    Doc d;
    EXPECT_HRESULT_SUCCEEDED(source->GetDocumentation(member, name.out(), text.out(), &d.helpContext, helpFile.out()));
    d.name = Wide(name.text());
    d.text = Wide(text.text());
    d.hasText = text.get() != nullptr;
    d.helpFile = Wide(helpFile.text());
    d.hasHelpFile = helpFile.get() != nullptr;
    return d;
}

ComPtr<ITypeInfo> Referred(ITypeInfo* info, HREFTYPE reference)
{
    ComPtr<ITypeInfo> referred;
    EXPECT_HRESULT_SUCCEEDED(info->GetRefTypeInfo(reference, &referred));
    return referred;
}

bool FromStdole2(ITypeInfo* info)
{
    ComPtr<ITypeLib> library;
    UINT index = 0;
    if (FAILED(info->GetContainingTypeLib(&library, &index)))
        return false;
    TLIBATTR* attr = nullptr;
    library->GetLibAttr(&attr);
    const bool stdole2 = IsEqualGUID(attr->guid, Stdole2) && attr->wMajorVerNum == 2 && attr->wMinorVerNum == 0;
    library->ReleaseTLibAttr(attr);
    return stdole2;
}

// "VT_BOOL*", "stdole2.IFontDisp**", "TxPrintScale": how the tables below name a type.
std::string Describe(ITypeInfo* info, const TYPEDESC& type)
{
    switch (type.vt) {
    case VT_PTR:
        return Describe(info, *type.lptdesc) + "*";
    case VT_USERDEFINED: {
        const ComPtr<ITypeInfo> referred = Referred(info, type.hreftype);
        if (!referred)
            return "?";
        const std::wstring name = Document(referred.Get(), MEMBERID_NIL).name;
        return (FromStdole2(referred.Get()) ? "stdole2." : "") + std::string(name.begin(), name.end());
    }
    case VT_BOOL: return "VT_BOOL";
    case VT_I1: return "VT_I1";
    case VT_I2: return "VT_I2";
    case VT_I4: return "VT_I4";
    case VT_INT: return "VT_INT";
    case VT_BSTR: return "VT_BSTR";
    case VT_HRESULT: return "VT_HRESULT";
    case VT_VOID: return "VT_VOID";
    default: return "vt" + std::to_string(type.vt);
    }
}

std::vector<std::wstring> Names(ITypeInfo* info, MEMBERID member)
{
    BSTR raw[8] = {};
    UINT count = 0;
    EXPECT_HRESULT_SUCCEEDED(info->GetNames(member, raw, 8, &count));
    std::vector<std::wstring> names;
    for (UINT i = 0; i < count; ++i) {
        Bstr owned;
        *owned.out() = raw[i];
        names.push_back(Wide(owned.text()));
    }
    return names;
}

std::wstring LibraryFile()
{
    wchar_t named[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"NORVANE_TYPELIB_FILE", named, MAX_PATH) - 1u < MAX_PATH - 1u)
        return named;
    return ProgramFolder() + L"Norvane.ocx";
}

class TypeLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(GetACP(), 932u) << "the library's texts are read in the Japanese code page";
        std::printf("type library of %ls\n", LibraryFile().c_str());
        ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(LibraryFile().c_str(), REGKIND_NONE, &library));
    }
    static void TearDownTestSuite() { library.Reset(); }

    static ComPtr<ITypeInfo> Type(const GUID& guid)
    {
        ComPtr<ITypeInfo> info;
        EXPECT_HRESULT_SUCCEEDED(library->GetTypeInfoOfGuid(guid, &info));
        return info;
    }

    // The vtable view of the dual interface, where its slots are.
    static ComPtr<ITypeInfo> VtableView()
    {
        HREFTYPE reference = 0;
        EXPECT_HRESULT_SUCCEEDED(Type(IID_ITavrix)->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference));
        return Referred(Type(IID_ITavrix).Get(), reference);
    }

    static ComPtr<ITypeLib> library;
};
ComPtr<ITypeLib> TypeLibrary::library;

TEST_F(TypeLibrary, TravelsAsLanguageNeutralResourceOne)
{
    HMODULE module = LoadLibraryExW(LibraryFile().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FindResourceExW(module, L"TYPELIB", MAKEINTRESOURCEW(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)),
              nullptr);
    FreeLibrary(module);
}

TEST_F(TypeLibrary, LibraryAttributes)
{
    TLIBATTR* attr = nullptr;
    ASSERT_HRESULT_SUCCEEDED(library->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_Tavrix));
    const GUID declared = {0xB50F7C64, 0x6888, 0x4FBE, {0xB1, 0xD6, 0xEF, 0xFB, 0xF4, 0x89, 0x9B, 0xF2}};
    EXPECT_TRUE(IsEqualGUID(attr->guid, declared));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0u);
    // The system of the file that carries it; a 32-bit and a 64-bit library register side by side.
    const uint16_t machine = FileMachine(LibraryFile().c_str()).value_or(0);
    ASSERT_TRUE(machine == MachineI386 || machine == MachineAmd64) << machine;
    EXPECT_EQ(attr->syskind, machine == MachineAmd64 ? SYS_WIN64 : SYS_WIN32);
    // The loader adds LIBFLAG_FHASDISKIMAGE to a library it read from a file.
    EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, LIBFLAG_FCONTROL);
    library->ReleaseTLibAttr(attr);

    const Doc doc = Document(library.Get(), MEMBERID_NIL);
    EXPECT_EQ(doc.name, L"Tavrix");
    EXPECT_FALSE(doc.hasText);
    EXPECT_FALSE(doc.hasHelpFile);
    EXPECT_EQ(doc.helpContext, 0u);
}

TEST_F(TypeLibrary, SevenTypesInOrder)
{
    const struct {
        const wchar_t* name;
        TYPEKIND kind;
        GUID guid;
    } types[] = {
        {L"ITavrix", TKIND_DISPATCH, IID_ITavrix},
        {L"ITavrixEvents", TKIND_DISPATCH, DIID_ITavrixEvents},
        {L"Tavrix", TKIND_COCLASS, CLSID_Tavrix},
        {L"TxActiveFormBorderStyle", TKIND_ENUM, {0xB94DCEE0, 0xCB3B, 0x4942, {0xBA, 0x17, 0xDE, 0x17, 0x7E, 0x95, 0x33, 0xA0}}},
        {L"TxPrintScale", TKIND_ENUM, {0xCB23D32B, 0x53A5, 0x4C94, {0x93, 0x85, 0x1F, 0xEF, 0x0E, 0xC8, 0x53, 0x01}}},
        {L"TxMouseButton", TKIND_ENUM, {0x2DA04D95, 0xA51E, 0x4A83, {0x9F, 0x58, 0x99, 0xE7, 0xE2, 0x49, 0xEB, 0x13}}},
        {L"TxPopupMode", TKIND_ENUM, {0x6D83BF5E, 0xC8F6, 0x464F, {0xB7, 0x12, 0xB3, 0x95, 0xFC, 0x6B, 0x93, 0xA7}}},
    };
    ASSERT_EQ(library->GetTypeInfoCount(), std::size(types));
    for (UINT i = 0; i < std::size(types); ++i) {
        ComPtr<ITypeInfo> info;
        ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfo(i, &info));
        EXPECT_EQ(Document(info.Get(), MEMBERID_NIL).name, types[i].name) << i;
        EXPECT_EQ(Attr(info.Get())->typekind, types[i].kind) << i;
        EXPECT_TRUE(IsEqualGUID(Attr(info.Get())->guid, types[i].guid)) << i;
    }
    const GUID declaredIid = {0x5DBE1F87, 0xE736, 0x4443, {0xB7, 0x57, 0xBA, 0xB3, 0x73, 0x28, 0x7F, 0xF9}};
    const GUID declaredDiid = {0x1447472F, 0xC7A6, 0x4651, {0x8C, 0xDC, 0x43, 0xB5, 0x16, 0xB4, 0xC6, 0xD8}};
    const GUID declaredClsid = {0x9989C1FE, 0x0F81, 0x4696, {0xAB, 0x1F, 0x1D, 0x78, 0x01, 0x26, 0xE8, 0x5B}};
    EXPECT_TRUE(IsEqualGUID(IID_ITavrix, declaredIid));
    EXPECT_TRUE(IsEqualGUID(DIID_ITavrixEvents, declaredDiid));
    EXPECT_TRUE(IsEqualGUID(CLSID_Tavrix, declaredClsid));
}

TEST_F(TypeLibrary, DualInterfaceAttributes)
{
    // The dispatch view reads back without TYPEFLAG_FOLEAUTOMATION; the vtable view keeps it.
    EXPECT_EQ(Attr(Type(IID_ITavrix).Get())->wTypeFlags, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE);
    const ComPtr<ITypeInfo> vtable = VtableView();
    const Lent<TYPEATTR> attr = Attr(vtable.Get());
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attr->wTypeFlags, 0x1140);
    EXPECT_EQ(attr->wMajorVerNum, 0);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->cFuncs, 58);
    // The table's size is stored for the pointers of the file's own system.
    EXPECT_EQ(attr->cbSizeVft, 65 * (FileMachine(LibraryFile().c_str()).value_or(0) == MachineAmd64 ? 8 : 4));
    ASSERT_EQ(attr->cImplTypes, 1);

    const std::wstring help = Document(vtable.Get(), MEMBERID_NIL).text;
    const std::wstring prefix = L"Tavrix Control ";
    EXPECT_EQ(help.substr(0, prefix.size()), prefix);
    EXPECT_NE(help.find(L"\u306e\u30c7\u30a3\u30b9\u30d1\u30c3\u30c1"), std::wstring::npos)  // のディスパッチ
        << "the Japanese phrase naming the dispatch interface";

    HREFTYPE base = 0;
    ASSERT_HRESULT_SUCCEEDED(vtable->GetRefTypeOfImplType(0, &base));
    const ComPtr<ITypeInfo> dispatch = Referred(vtable.Get(), base);
    EXPECT_EQ(Document(dispatch.Get(), MEMBERID_NIL).name, L"IDispatch");
    EXPECT_TRUE(IsEqualGUID(Attr(dispatch.Get())->guid, IID_IDispatch));
    EXPECT_TRUE(FromStdole2(dispatch.Get()));
}

enum Kind { Get, Put, PutRef, Method };

struct Member {
    int slot;
    const char* name;
    Kind kind;
    MEMBERID dispid;
    const char* parameterType;
    bool hidden;
};

const Member Members[] = {
    {7, "Visible", Get, 201, "VT_BOOL*", true},
    {8, "Visible", Put, 201, "VT_BOOL", true},
    {9, "AutoScroll", Get, 202, "VT_BOOL*", false},
    {10, "AutoScroll", Put, 202, "VT_BOOL", false},
    {11, "AutoSize", Get, 203, "VT_BOOL*", false},
    {12, "AutoSize", Put, 203, "VT_BOOL", false},
    {13, "AxBorderStyle", Get, 204, "TxActiveFormBorderStyle*", false},
    {14, "AxBorderStyle", Put, 204, "TxActiveFormBorderStyle", false},
    {15, "BorderWidth", Get, 205, "VT_I4*", false},
    {16, "BorderWidth", Put, 205, "VT_I4", false},
    {17, "Caption", Get, -518, "VT_BSTR*", false},
    {18, "Caption", Put, -518, "VT_BSTR", false},
    {19, "Color", Get, -501, "stdole2.OLE_COLOR*", false},
    {20, "Color", Put, -501, "stdole2.OLE_COLOR", false},
    {21, "Font", Get, -512, "stdole2.IFontDisp**", false},
    {22, "Font", Put, -512, "stdole2.IFontDisp*", false},
    {23, "Font", PutRef, -512, "stdole2.IFontDisp**", false},
    {24, "KeyPreview", Get, 206, "VT_BOOL*", false},
    {25, "KeyPreview", Put, 206, "VT_BOOL", false},
    {26, "PixelsPerInch", Get, 207, "VT_I4*", false},
    {27, "PixelsPerInch", Put, 207, "VT_I4", false},
    {28, "PrintScale", Get, 208, "TxPrintScale*", false},
    {29, "PrintScale", Put, 208, "TxPrintScale", false},
    {30, "Scaled", Get, 209, "VT_BOOL*", false},
    {31, "Scaled", Put, 209, "VT_BOOL", false},
    {32, "Active", Get, 210, "VT_BOOL*", true},
    {33, "DropTarget", Get, 211, "VT_BOOL*", true},
    {34, "DropTarget", Put, 211, "VT_BOOL", true},
    {35, "HelpFile", Get, 212, "VT_BSTR*", true},
    {36, "HelpFile", Put, 212, "VT_BSTR", true},
    {37, "PopupMode", Get, 213, "TxPopupMode*", true},
    {38, "PopupMode", Put, 213, "TxPopupMode", true},
    {39, "ScreenSnap", Get, 214, "VT_BOOL*", true},
    {40, "ScreenSnap", Put, 214, "VT_BOOL", true},
    {41, "SnapBuffer", Get, 215, "VT_I4*", true},
    {42, "SnapBuffer", Put, 215, "VT_I4", true},
    {43, "DockSite", Get, 216, "VT_BOOL*", true},
    {44, "DockSite", Put, 216, "VT_BOOL", true},
    {45, "DoubleBuffered", Get, 217, "VT_BOOL*", true},
    {46, "DoubleBuffered", Put, 217, "VT_BOOL", true},
    {47, "AlignDisabled", Get, 218, "VT_BOOL*", true},
    {48, "MouseInClient", Get, 219, "VT_BOOL*", true},
    {49, "VisibleDockClientCount", Get, 220, "VT_I4*", true},
    {50, "ParentDoubleBuffered", Get, 221, "VT_BOOL*", true},
    {51, "ParentDoubleBuffered", Put, 221, "VT_BOOL", true},
    {52, "UseDockManager", Get, 222, "VT_BOOL*", true},
    {53, "UseDockManager", Put, 222, "VT_BOOL", true},
    {54, "Enabled", Get, -514, "VT_BOOL*", true},
    {55, "Enabled", Put, -514, "VT_BOOL", true},
    {56, "ExplicitLeft", Get, 223, "VT_I4*", true},
    {57, "ExplicitTop", Get, 224, "VT_I4*", true},
    {58, "ExplicitWidth", Get, 225, "VT_I4*", true},
    {59, "ExplicitHeight", Get, 226, "VT_I4*", true},
    {60, "AlignWithMargins", Get, 227, "VT_BOOL*", false},
    {61, "AlignWithMargins", Put, 227, "VT_BOOL", false},
    {62, "ParentCustomHint", Get, 228, "VT_BOOL*", false},
    {63, "ParentCustomHint", Put, 228, "VT_BOOL", false},
    {64, "Read_Card", Method, 229, "VT_BSTR", false},
};

TEST_F(TypeLibrary, EveryMemberInItsSlot)
{
    const ComPtr<ITypeInfo> vtable = VtableView();
    ASSERT_EQ(Attr(vtable.Get())->cFuncs, std::size(Members));
    for (UINT i = 0; i < std::size(Members); ++i) {
        const Member& m = Members[i];
        const Lent<FUNCDESC> f = Func(vtable.Get(), i);
        SCOPED_TRACE(std::string(m.name) + " in slot " + std::to_string(m.slot));
        const INVOKEKIND kinds[] = {INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF, INVOKE_FUNC};
        // Slots are counted in pointers of the loading process, whichever file the library came from.
        EXPECT_EQ(f->oVft, m.slot * static_cast<int>(sizeof(void*)));
        EXPECT_EQ(f->invkind, kinds[m.kind]);
        EXPECT_EQ(f->memid, m.dispid);
        EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(f->callconv, CC_STDCALL);
        EXPECT_EQ(f->wFuncFlags, m.hidden ? FUNCFLAG_FHIDDEN : 0);
        EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
        EXPECT_EQ(f->cParamsOpt, 0);
        ASSERT_EQ(f->cParams, 1);
        const ELEMDESC& parameter = f->lprgelemdescParam[0];
        EXPECT_EQ(Describe(vtable.Get(), parameter.tdesc), m.parameterType);
        EXPECT_EQ(parameter.paramdesc.wParamFlags,
                  m.kind == Get ? PARAMFLAG_FOUT | PARAMFLAG_FRETVAL : PARAMFLAG_FIN);

        const Doc doc = Document(vtable.Get(), f->memid);
        EXPECT_EQ(std::string(doc.name.begin(), doc.name.end()), m.name);
        EXPECT_FALSE(doc.hasText);
        EXPECT_EQ(doc.helpContext, 0u);
        // A lookup by id finds the first accessor: the getter's Value, or the method's own parameter.
        const std::vector<std::wstring> names = Names(vtable.Get(), f->memid);
        ASSERT_EQ(names.size(), 2u);
        EXPECT_EQ(names[1], m.kind == Method ? L"ctype" : L"Value");
    }
}

TEST_F(TypeLibrary, NameLookupGivesTheDeclaredDispids)
{
    const struct {
        const wchar_t* name;
        MEMBERID dispid;
    } lookups[] = {{L"Caption", -518}, {L"Color", -501}, {L"Font", -512}, {L"Enabled", -514},
                   {L"Visible", 201},  {L"Read_Card", 229}, {L"read_card", 229}, {L"ExplicitHeight", 226}};
    const ComPtr<ITypeInfo> dispatch = Type(IID_ITavrix);
    for (const auto& lookup : lookups) {
        LPOLESTR name = const_cast<LPOLESTR>(lookup.name);
        MEMBERID dispid = 0;
        EXPECT_HRESULT_SUCCEEDED(dispatch->GetIDsOfNames(&name, 1, &dispid)) << lookup.name;
        EXPECT_EQ(dispid, lookup.dispid) << lookup.name;
    }
    LPOLESTR unknown = const_cast<LPOLESTR>(L"Read_Cards");
    MEMBERID dispid = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(&unknown, 1, &dispid), DISP_E_UNKNOWNNAME);
}

TEST_F(TypeLibrary, EventInterface)
{
    const ComPtr<ITypeInfo> events = Type(DIID_ITavrixEvents);
    const Lent<TYPEATTR> attr = Attr(events.Get());
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FDISPATCHABLE);
    EXPECT_EQ(attr->wMajorVerNum, 0);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->cImplTypes, 0) << "IDispatch is implied, not recorded";
    EXPECT_EQ(Document(events.Get(), MEMBERID_NIL).text, L"Events interface for Tavrix Control");

    struct Parameter {
        const char* type;
        USHORT flags;
        const wchar_t* name;
    };
    const struct {
        const wchar_t* name;
        MEMBERID dispid;
        const char* result;
        std::vector<Parameter> parameters;
    } expected[] = {
        {L"OnActivate", 201, "VT_VOID", {}},
        {L"OnClick", 202, "VT_VOID", {}},
        {L"OnCreate", 203, "VT_VOID", {}},
        {L"OnDblClick", 204, "VT_VOID", {}},
        {L"OnDestroy", 205, "VT_VOID", {}},
        {L"OnDeactivate", 206, "VT_VOID", {}},
        {L"OnKeyPress", 207, "VT_VOID", {{"VT_I2*", PARAMFLAG_FIN | PARAMFLAG_FOUT, L"Key"}}},
        {L"OnMouseEnter", 208, "VT_VOID", {}},
        {L"OnMouseLeave", 209, "VT_VOID", {}},
        {L"OnPaint", 210, "VT_VOID", {}},
        {L"On_ReadData", 211, "VT_HRESULT",
         {{"VT_BSTR", PARAMFLAG_FIN, L"card_ID"}, {"VT_I1", PARAMFLAG_FIN, L"Error"}, {"VT_BSTR", PARAMFLAG_FIN, L"Message"}}},
    };
    ASSERT_EQ(attr->cFuncs, std::size(expected));
    for (UINT i = 0; i < std::size(expected); ++i) {
        const auto& e = expected[i];
        SCOPED_TRACE(std::wstring(e.name).size());
        const Lent<FUNCDESC> f = Func(events.Get(), i);
        EXPECT_EQ(f->memid, e.dispid);
        EXPECT_EQ(f->funckind, FUNC_DISPATCH);
        EXPECT_EQ(f->invkind, INVOKE_FUNC);
        EXPECT_EQ(f->callconv, CC_STDCALL);
        EXPECT_EQ(Describe(events.Get(), f->elemdescFunc.tdesc), e.result);
        ASSERT_EQ(f->cParams, static_cast<SHORT>(e.parameters.size()));
        const std::vector<std::wstring> names = Names(events.Get(), f->memid);
        ASSERT_EQ(names.size(), e.parameters.size() + 1);
        EXPECT_EQ(names[0], e.name);
        for (size_t p = 0; p < e.parameters.size(); ++p) {
            EXPECT_EQ(Describe(events.Get(), f->lprgelemdescParam[p].tdesc), e.parameters[p].type);
            EXPECT_EQ(f->lprgelemdescParam[p].paramdesc.wParamFlags, e.parameters[p].flags);
            EXPECT_EQ(names[p + 1], e.parameters[p].name);
        }
    }
}

TEST_F(TypeLibrary, Coclass)
{
    const ComPtr<ITypeInfo> coclass = Type(CLSID_Tavrix);
    const Lent<TYPEATTR> attr = Attr(coclass.Get());
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL);
    EXPECT_EQ(attr->wMajorVerNum, 0);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(Document(coclass.Get(), MEMBERID_NIL).text, L"Tavrix Control");
    ASSERT_EQ(attr->cImplTypes, 2);
    const struct {
        GUID iid;
        INT flags;
    } implemented[] = {{IID_ITavrix, IMPLTYPEFLAG_FDEFAULT}, {DIID_ITavrixEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
    for (UINT i = 0; i < 2; ++i) {
        HREFTYPE reference = 0;
        ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeOfImplType(i, &reference));
        EXPECT_TRUE(IsEqualGUID(Attr(Referred(coclass.Get(), reference).Get())->guid, implemented[i].iid)) << i;
        INT flags = 0;
        ASSERT_HRESULT_SUCCEEDED(coclass->GetImplTypeFlags(i, &flags));
        EXPECT_EQ(flags, implemented[i].flags) << i;
    }
}

TEST_F(TypeLibrary, Enumerations)
{
    const struct {
        const wchar_t* name;
        std::vector<std::pair<const wchar_t*, LONG>> constants;
    } enumerations[] = {
        {L"TxActiveFormBorderStyle", {{L"afbNone", 0}, {L"afbSingle", 1}, {L"afbSunken", 2}, {L"afbRaised", 3}}},
        {L"TxPrintScale", {{L"poNone", 0}, {L"poProportional", 1}, {L"poPrintToFit", 2}}},
        {L"TxMouseButton", {{L"mbLeft", 0}, {L"mbRight", 1}, {L"mbMiddle", 2}}},
        {L"TxPopupMode", {{L"pmNone", 0}, {L"pmAuto", 1}, {L"pmExplicit", 2}}},
    };
    for (UINT t = 0; t < std::size(enumerations); ++t) {
        const auto& e = enumerations[t];
        ComPtr<ITypeInfo> info;
        ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfo(3 + t, &info));
        const Lent<TYPEATTR> attr = Attr(info.Get());
        EXPECT_EQ(Document(info.Get(), MEMBERID_NIL).name, e.name);
        EXPECT_EQ(attr->wTypeFlags, 0);
        EXPECT_EQ(attr->wMajorVerNum, 0);
        EXPECT_EQ(attr->wMinorVerNum, 0);
        EXPECT_EQ(attr->cbSizeInstance, 4u);
        ASSERT_EQ(attr->cVars, e.constants.size());
        for (UINT c = 0; c < e.constants.size(); ++c) {
            const Lent<VARDESC> v = Var(info.Get(), c);
            const Doc doc = Document(info.Get(), v->memid);
            EXPECT_EQ(doc.name, e.constants[c].first);
            EXPECT_EQ(doc.text, e.constants[c].first) << "a constant's help string is its name";
            EXPECT_EQ(v->varkind, VAR_CONST);
            ASSERT_NE(v->lpvarValue, nullptr);
            VARIANT value;
            VariantInit(&value);
            ASSERT_HRESULT_SUCCEEDED(VariantChangeType(&value, v->lpvarValue, 0, VT_I4));
            EXPECT_EQ(V_I4(&value), e.constants[c].second);
            EXPECT_TRUE(V_VT(v->lpvarValue) == VT_I4 || V_VT(v->lpvarValue) == VT_INT);
        }
    }
}

// widl leaves its name, version and build time as library custom data: no two builds
// of one commit would be the same bytes.
TEST_F(TypeLibrary, NoCustomData)
{
    const auto expectNone = [](auto get, const std::string& where) {
        CUSTDATA data{};
        ASSERT_HRESULT_SUCCEEDED(get(&data)) << where;
        EXPECT_EQ(data.cCustData, 0u) << where;
        ClearCustData(&data);
    };
    ComPtr<ITypeLib2> library2;
    ASSERT_HRESULT_SUCCEEDED(library.As(&library2));
    expectNone([&](CUSTDATA* d) { return library2->GetAllCustData(d); }, "library");

    std::vector<ComPtr<ITypeInfo>> types{VtableView()};
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        types.emplace_back();
        ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfo(i, &types.back()));
    }
    for (const ComPtr<ITypeInfo>& type : types) {
        const std::wstring name = Document(type.Get(), MEMBERID_NIL).name;
        const std::string where(name.begin(), name.end());
        ComPtr<ITypeInfo2> info;
        ASSERT_HRESULT_SUCCEEDED(type.As(&info));
        const Lent<TYPEATTR> attr = Attr(type.Get());
        expectNone([&](CUSTDATA* d) { return info->GetAllCustData(d); }, where);
        for (UINT f = 0; f < attr->cFuncs; ++f) {
            const std::string function = where + " function " + std::to_string(f);
            expectNone([&](CUSTDATA* d) { return info->GetAllFuncCustData(f, d); }, function);
            for (SHORT p = 0; p < Func(type.Get(), f)->cParams; ++p)
                expectNone([&](CUSTDATA* d) { return info->GetAllParamCustData(f, p, d); },
                           function + " parameter " + std::to_string(p));
        }
        for (UINT v = 0; v < attr->cVars; ++v)
            expectNone([&](CUSTDATA* d) { return info->GetAllVarCustData(v, d); },
                       where + " variable " + std::to_string(v));
        for (UINT t = 0; t < attr->cImplTypes; ++t)
            expectNone([&](CUSTDATA* d) { return info->GetAllImplTypeCustData(t, d); },
                       where + " implemented " + std::to_string(t));
    }
}

// IFontDisp is stdole2's alias of its font dispinterface.
TEST_F(TypeLibrary, FontTypeIsTheFontDispatchInterface)
{
    const ComPtr<ITypeInfo> vtable = VtableView();
    const Lent<FUNCDESC> getter = Func(vtable.Get(), 14);  // slot 21
    const TYPEDESC* type = &getter->lprgelemdescParam[0].tdesc;
    while (type->vt == VT_PTR)
        type = type->lptdesc;
    ASSERT_EQ(type->vt, VT_USERDEFINED);
    ComPtr<ITypeInfo> font = Referred(vtable.Get(), type->hreftype);
    while (font && Attr(font.Get())->typekind == TKIND_ALIAS && Attr(font.Get())->tdescAlias.vt == VT_USERDEFINED)
        font = Referred(font.Get(), Attr(font.Get())->tdescAlias.hreftype);
    ASSERT_TRUE(font);
    EXPECT_TRUE(IsEqualGUID(Attr(font.Get())->guid, IFontDispIid));
}

}  // namespace
