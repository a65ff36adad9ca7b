// Norvane.ocx loaded into this process: its class factory, counts and DllCanUnloadNow.
#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <atomic>
#include <string>

#include "../../support/ChildProcess.h"
#include "Tavrix_h.h"

using Microsoft::WRL::ComPtr;

namespace {

// An outer object for aggregation: it counts its own references only.
class Outer final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        if (inner)
            return inner->QueryInterface(iid, object);
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    IUnknown* inner = nullptr;
    std::atomic<ULONG> references{1};
};

// While set, no window but the parking window can be made on this thread: the form's window
// fails, and so does the message box that would report it.
LRESULT CALLBACK RefuseWindows(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const LPCWSTR name = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs->lpszClass;
        if (IS_INTRESOURCE(name) || wcscmp(name, L"QivParkingWindow") != 0)
            return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class ClassFactory : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        server = LoadLibraryW((ProgramFolder() + L"Norvane.ocx").c_str());
        ASSERT_NE(server, nullptr);
        getClassObject = reinterpret_cast<decltype(getClassObject)>(
            reinterpret_cast<void*>(GetProcAddress(server, "DllGetClassObject")));
        canUnloadNow =
            reinterpret_cast<decltype(canUnloadNow)>(reinterpret_cast<void*>(GetProcAddress(server, "DllCanUnloadNow")));
        ASSERT_TRUE(getClassObject && canUnloadNow);
    }

    ComPtr<IClassFactory> Factory()
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(getClassObject(CLSID_Tavrix, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())),
                  S_OK);
        return factory;
    }

    static HMODULE server;
    static HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**);
    static HRESULT(STDAPICALLTYPE* canUnloadNow)();
};
HMODULE ClassFactory::server = nullptr;
HRESULT(STDAPICALLTYPE* ClassFactory::getClassObject)(REFCLSID, REFIID, void**) = nullptr;
HRESULT(STDAPICALLTYPE* ClassFactory::canUnloadNow)() = nullptr;

TEST_F(ClassFactory, ServesOnlyTheControlsClassAndInterfaces)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(IID_ITavrix, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(CLSID_Tavrix, IID_IDispatch, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(getClassObject(CLSID_Tavrix, IID_IUnknown, reinterpret_cast<void**>(unknown.GetAddressOf())), S_OK);
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(unknown.As(&factory), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(factory.Get()), unknown.Get()) << "one pointer for both";
    ComPtr<IDispatch> none;
    EXPECT_EQ(factory.As(&none), E_NOINTERFACE);
}

TEST_F(ClassFactory, FactoryReferencesKeepTheLibrary)
{
    EXPECT_EQ(canUnloadNow(), S_OK);
    {
        ComPtr<IClassFactory> factory = Factory();
        EXPECT_EQ(canUnloadNow(), S_FALSE);
        ComPtr<IClassFactory> second = Factory();
        second.Reset();
        EXPECT_EQ(canUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ClassFactory, LockServerCountsAsAnObject)
{
    Factory()->LockServer(TRUE);
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "locked with no object alive";
    Factory()->LockServer(FALSE);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ClassFactory, ObjectsCountWhileAlive)
{
    ComPtr<IUnknown> control;
    ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(control.GetAddressOf())), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ComPtr<ITavrix> tavrix;
    ASSERT_EQ(control.As(&tavrix), S_OK);
    ComPtr<IUnknown> identity;
    tavrix.As(&identity);
    EXPECT_EQ(identity.Get(), control.Get()) << "the form's ITavrix shares the control's identity";
    tavrix.Reset();
    identity.Reset();
    control.Reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ClassFactory, AFailedCreationLeavesNothingBehind)
{
    const HHOOK hook = SetWindowsHookExW(WH_CBT, RefuseWindows, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    ComPtr<IUnknown> control;
    const HRESULT refused =
        Factory()->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(control.GetAddressOf()));
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(refused, E_UNEXPECTED);
    EXPECT_EQ(control, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK) << "no object counted";

    // The next control takes the name the failed one had claimed.
    ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(control.GetAddressOf())),
              S_OK);
    ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(control.As(&persist), S_OK);
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ASSERT_EQ(persist->Save(stream.Get(), TRUE), S_OK);
    HGLOBAL memory = nullptr;
    GetHGlobalFromStream(stream.Get(), &memory);
    const std::string saved(static_cast<const char*>(GlobalLock(memory)), GlobalSize(memory));
    GlobalUnlock(memory);
    EXPECT_NE(saved.find("\x06Tavrix"), std::string::npos);
    EXPECT_EQ(saved.find("Tavrix_1"), std::string::npos);
}

TEST_F(ClassFactory, CreateInstanceArguments)
{
    ComPtr<IClassFactory> factory = Factory();
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersistFile, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    Outer outer;
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_ITavrix, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    factory.Reset();
    EXPECT_EQ(canUnloadNow(), S_OK) << "no object survives a refused creation";
}

TEST_F(ClassFactory, AggregationGivesTheInnerUnknown)
{
    Outer outer;
    IUnknown* inner = nullptr;
    ASSERT_EQ(Factory()->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
    ASSERT_NE(inner, nullptr);
    EXPECT_NE(inner, static_cast<IUnknown*>(&outer));
    outer.inner = inner;

    IUnknown* same = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&same)), S_OK);
    EXPECT_EQ(same, inner) << "the inner unknown does not delegate";
    same->Release();

    ITavrix* tavrix = nullptr;
    const ULONG before = outer.references;
    ASSERT_EQ(inner->QueryInterface(IID_ITavrix, reinterpret_cast<void**>(&tavrix)), S_OK);
    EXPECT_EQ(outer.references, before + 1) << "references on ITavrix go to the outer object";
    IUnknown* identity = nullptr;
    tavrix->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    tavrix->Release();
    EXPECT_EQ(outer.references, before);

    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ClassFactory, LateBindingThroughTheTypeInformation)
{
    ComPtr<IDispatch> control;
    ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(control.GetAddressOf())),
              S_OK);
    UINT count = 0;
    EXPECT_EQ(control->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(control->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
    EXPECT_EQ(info.Get(), nullptr);

    const struct {
        const wchar_t* name;
        DISPID id;
    } names[] = {{L"Caption", -518}, {L"Color", -501}, {L"Font", -512}, {L"Enabled", -514}, {L"Visible", 201},
                 {L"Read_Card", 229}};
    for (const auto& n : names) {
        LPOLESTR name = const_cast<LPOLESTR>(n.name);
        DISPID id = 0;
        EXPECT_EQ(control->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
        EXPECT_EQ(id, n.id);
    }

    // A put given as DISPATCH_PROPERTYPUTREF still reaches the put of a plain property.
    VARIANT value;
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(L"late");
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS one{&value, &put, 1, 1};
    EXPECT_EQ(control->Invoke(-518, IID_NULL, 0, DISPATCH_PROPERTYPUTREF, &one, nullptr, nullptr, nullptr), S_OK);
    VariantClear(&value);
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(control->Invoke(-518, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::wstring(V_BSTR(&result)), L"late");
    VariantClear(&result);
}

}  // namespace
