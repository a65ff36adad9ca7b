// The control object as a container of our own drives it: identity, the embedding and
// control protocols, quick activation, safety, and the connection points.
#include <gtest/gtest.h>

#include <windows.h>

#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "../../support/RecordingSink.h"
#include "../../support/ServerLibrary.h"
#include "../../support/TestSite.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DISPID OnCreate = 203;

class ControlObject : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

    void SetUp() override
    {
        control = ServerLibrary::Create<IUnknown>();
        ASSERT_TRUE(control);
        control.As(&oleObject);
        control.As(&container);
        site = new TestSite;
        sink = new RecordingSink;
    }

    ComPtr<IConnectionPoint> Point(REFIID iid)
    {
        ComPtr<IConnectionPoint> point;
        EXPECT_EQ(container->FindConnectionPoint(iid, &point), S_OK);
        return point;
    }

    std::vector<DWORD> Cookies(IConnectionPoint* point)
    {
        ComPtr<IEnumConnections> connections;
        EXPECT_EQ(point->EnumConnections(&connections), S_OK);
        std::vector<DWORD> cookies;
        CONNECTDATA data;
        while (connections->Next(1, &data, nullptr) == S_OK) {
            cookies.push_back(data.dwCookie);
            data.pUnk->Release();
        }
        return cookies;
    }

    ComPtr<IUnknown> control;
    ComPtr<IOleObject> oleObject;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<TestSite> site;
    ComPtr<RecordingSink> sink;
};

TEST_F(ControlObject, QueryInterfaceTable)
{
    const struct {
        const char* name;
        IID iid;
        HRESULT result;
    } cases[] = {
        {"IDispatch", IID_IDispatch, S_OK},
        {"ITavrix", IID_ITavrix, S_OK},
        {"IOleObject", IID_IOleObject, S_OK},
        {"IOleControl", IID_IOleControl, S_OK},
        {"IOleInPlaceObject", IID_IOleInPlaceObject, S_OK},
        {"IOleInPlaceActiveObject", IID_IOleInPlaceActiveObject, S_OK},
        {"IViewObject", IID_IViewObject, S_OK},
        {"IViewObject2", IID_IViewObject2, S_OK},
        {"IDataObject", IID_IDataObject, S_OK},
        {"IQuickActivate", IID_IQuickActivate, S_OK},
        {"ISpecifyPropertyPages", IID_ISpecifyPropertyPages, S_OK},
        {"IPerPropertyBrowsing", IID_IPerPropertyBrowsing, S_OK},
        {"IObjectSafety", IID_IObjectSafety, S_OK},
        {"ISimpleFrameSite", IID_ISimpleFrameSite, S_OK},
        {"IConnectionPointContainer", IID_IConnectionPointContainer, S_OK},
        {"ISupportErrorInfo", IID_ISupportErrorInfo, S_OK},
        {"IProvideClassInfo", IID_IProvideClassInfo, S_OK},
        {"IPersistStreamInit", IID_IPersistStreamInit, S_OK},
        {"IPersistStorage", IID_IPersistStorage, S_OK},
        {"IPersistPropertyBag", IID_IPersistPropertyBag, S_OK},
        {"IPersistStream", IID_IPersistStream, E_NOINTERFACE},
        {"IProvideClassInfo2", IID_IProvideClassInfo2, E_NOINTERFACE},
        {"IViewObjectEx", IID_IViewObjectEx, E_NOINTERFACE},
        {"IOleInPlaceObjectWindowless", IID_IOleInPlaceObjectWindowless, E_NOINTERFACE},
        {"IClassFactory", IID_IClassFactory, E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(control->QueryInterface(c.iid, &object), c.result) << c.name;
        if (c.result == S_OK) {
            ComPtr<IUnknown> identity;
            static_cast<IUnknown*>(object)->QueryInterface(IID_PPV_ARGS(&identity));
            EXPECT_EQ(identity.Get(), control.Get()) << c.name << " shares the identity";
            static_cast<IUnknown*>(object)->Release();
        } else {
            EXPECT_EQ(object, nullptr) << c.name;
        }
    }
}

TEST_F(ControlObject, IOleLinkHandsOutOneStubWithE_NOINTERFACE)
{
    IOleLink* first = nullptr;
    IOleLink* second = nullptr;
    EXPECT_EQ(control->QueryInterface(IID_IOleLink, reinterpret_cast<void**>(&first)), E_NOINTERFACE);
    EXPECT_EQ(control->QueryInterface(IID_IOleLink, reinterpret_cast<void**>(&second)), E_NOINTERFACE);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    IMoniker* moniker = reinterpret_cast<IMoniker*>(1);
    EXPECT_EQ(first->GetSourceMoniker(&moniker), E_NOTIMPL);
    EXPECT_EQ(moniker, nullptr);
    LPOLESTR name = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(first->GetSourceDisplayName(&name), E_FAIL);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(first->BindIfRunning(), S_OK);
    EXPECT_EQ(first->Update(nullptr), E_NOTIMPL);
    ComPtr<IOleObject> through;
    EXPECT_EQ(first->QueryInterface(IID_PPV_ARGS(&through)), S_OK) << "the stub passes queries to the control";
    first->Release();
    second->Release();
}

TEST_F(ControlObject, MiscStatusAndExtents)
{
    DWORD status = 0;
    EXPECT_EQ(oleObject->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
    EXPECT_EQ(status, 0x32191u);
    EXPECT_EQ(oleObject->GetMiscStatus(DVASPECT_ICON, &status), DV_E_DVASPECT);

    SIZEL extent{};
    EXPECT_EQ(oleObject->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
    EXPECT_EQ(extent.cx, 2646);
    EXPECT_EQ(extent.cy, 1323);
    EXPECT_EQ(oleObject->GetExtent(DVASPECT_THUMBNAIL, &extent), DV_E_DVASPECT);
    SIZEL larger{5292, 2646};
    EXPECT_EQ(oleObject->SetExtent(DVASPECT_CONTENT, &larger), S_OK);
    ComPtr<IOleInPlaceObject> inPlace;
    control.As(&inPlace);
    HWND window = nullptr;
    inPlace->GetWindow(&window);
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(r.right - r.left, 200);
    EXPECT_EQ(r.bottom - r.top, 100);
    SIZEL original{2646, 1323};
    EXPECT_EQ(oleObject->SetExtent(DVASPECT_CONTENT, &original), S_OK);
    EXPECT_EQ(oleObject->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
    EXPECT_EQ(extent.cx, 2646);
    EXPECT_EQ(extent.cy, 1323);
    GetWindowRect(window, &r);
    EXPECT_EQ(r.right - r.left, 100);
    EXPECT_EQ(oleObject->SetExtent(DVASPECT_ICON, &original), DV_E_DVASPECT);
}

TEST_F(ControlObject, DoVerbResults)
{
    ASSERT_EQ(oleObject->SetClientSite(site.Get()), S_OK);
    const struct {
        LONG verb;
        HRESULT result;
    } cases[] = {{OLEIVERB_OPEN, OLEOBJ_S_INVALIDVERB},
                 {1, OLEOBJ_S_INVALIDVERB},
                 {OLEIVERB_DISCARDUNDOSTATE, OLEOBJ_S_INVALIDVERB},
                 {-8, OLEOBJ_S_INVALIDVERB},
                 {OLEIVERB_PRIMARY, S_OK},
                 {OLEIVERB_PROPERTIES, S_OK},
                 {OLEIVERB_HIDE, S_OK}};
    for (const auto& c : cases)
        EXPECT_EQ(oleObject->DoVerb(c.verb, nullptr, site.Get(), 0, nullptr, nullptr), c.result) << c.verb;
    EXPECT_EQ(site->showPropertyFrameCalls, 2) << "asked first; it failed, and there are no pages to show";
}

TEST_F(ControlObject, CloseNeverSavesAndRaisesOnDestroyOnce)
{
    ASSERT_EQ(oleObject->SetClientSite(site.Get()), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(Point(DIID_ITavrixEvents)->Advise(static_cast<ITavrixEvents*>(sink.Get()), &cookie), S_OK);
    EXPECT_EQ(oleObject->Close(OLECLOSE_SAVEIFDIRTY), S_OK);
    EXPECT_EQ(oleObject->Close(OLECLOSE_SAVEIFDIRTY), S_OK);
    EXPECT_EQ(site->saveObjectCalls, 0);
    oleObject->SetClientSite(nullptr);
    oleObject.Reset();
    container.Reset();
    control.Reset();
    std::vector<DISPID> events;
    for (const RecordedInvoke& call : sink->calls)
        events.push_back(call.dispid);
    EXPECT_EQ(events, (std::vector<DISPID>{OnCreate, 205}));
}

TEST_F(ControlObject, OnDestroyAtTheLastReleaseFindsTheControlWhole)
{
    DWORD cookie = 0;
    ASSERT_EQ(Point(DIID_ITavrixEvents)->Advise(static_cast<ITavrixEvents*>(sink.Get()), &cookie), S_OK);
    IUnknown* dying = control.Get();
    HRESULT query = E_FAIL, extent = E_FAIL, unadvise = E_FAIL;
    SIZEL size{};
    sink->handler = [&](const RecordedInvoke& call, DISPPARAMS*) {
        if (call.dispid != 205)
            return S_OK;
        ComPtr<ITavrix> tavrix;
        query = dying->QueryInterface(IID_PPV_ARGS(&tavrix));
        ComPtr<IOleObject> ole;
        if (SUCCEEDED(dying->QueryInterface(IID_PPV_ARGS(&ole))))
            extent = ole->GetExtent(DVASPECT_CONTENT, &size);
        ComPtr<IConnectionPointContainer> points;
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(dying->QueryInterface(IID_PPV_ARGS(&points))) &&
            SUCCEEDED(points->FindConnectionPoint(DIID_ITavrixEvents, &point)))
            unadvise = point->Unadvise(cookie);
        return S_OK;
    };
    oleObject.Reset();
    container.Reset();
    control.Reset();
    ASSERT_EQ(sink->calls.size(), 2u) << "OnCreate, OnDestroy";
    EXPECT_EQ(query, S_OK);
    EXPECT_EQ(extent, S_OK);
    EXPECT_EQ(size.cx, MulDiv(100, 2540, 96));
    EXPECT_EQ(unadvise, S_OK);
}

TEST_F(ControlObject, ClientSiteAndAmbientProperties)
{
    ASSERT_EQ(oleObject->SetClientSite(site.Get()), S_OK);
    EXPECT_EQ(site->ambientReads, (std::vector<DISPID>{DISPID_AMBIENT_BACKCOLOR, DISPID_AMBIENT_FORECOLOR,
                                                       DISPID_AMBIENT_FONT}));
    ComPtr<TestSite> other = new TestSite;
    EXPECT_EQ(oleObject->SetClientSite(other.Get()), E_FAIL);
    ComPtr<IOleClientSite> held;
    EXPECT_EQ(oleObject->GetClientSite(&held), S_OK);
    EXPECT_EQ(held.Get(), static_cast<IOleClientSite*>(site.Get())) << "the first site stays";

    ComPtr<ITavrix> tavrix;
    control.As(&tavrix);
    OLE_COLOR color = 0;
    tavrix->get_Color(&color);
    EXPECT_EQ(color, 0xFF00000Fu) << "the form does not follow its parent's colour";

    ComPtr<IOleControl> oleControl;
    control.As(&oleControl);
    site->ambientReads.clear();
    EXPECT_EQ(oleControl->OnAmbientPropertyChange(DISPID_AMBIENT_BACKCOLOR), S_OK);
    EXPECT_EQ(site->ambientReads.size(), 3u);
    CONTROLINFO info{};
    EXPECT_EQ(oleControl->GetControlInfo(&info), S_OK);
    EXPECT_EQ(info.cb, 16u);
    EXPECT_EQ(info.hAccel, nullptr);
    EXPECT_EQ(info.cAccel, 0);
    EXPECT_EQ(info.dwFlags, 0u);
    EXPECT_EQ(oleControl->FreezeEvents(TRUE), S_OK);

    EXPECT_EQ(oleObject->SetClientSite(nullptr), S_OK);
    EXPECT_EQ(oleObject->GetClientSite(&held), S_OK);
    EXPECT_EQ(held.Get(), nullptr);
}

TEST_F(ControlObject, QuickActivate)
{
    ComPtr<IQuickActivate> quick;
    ASSERT_EQ(control.As(&quick), S_OK);
    ComPtr<QuietPropertySink> propertySink = new QuietPropertySink;
    QACONTAINER qaContainer{};
    qaContainer.cbSize = sizeof qaContainer;
    qaContainer.pClientSite = site.Get();
    qaContainer.pUnkEventSink = static_cast<ITavrixEvents*>(sink.Get());
    qaContainer.pPropertyNotifySink = propertySink.Get();
    QACONTROL qaControl{};
    qaControl.cbSize = 20;
    EXPECT_EQ(quick->QuickActivate(&qaContainer, &qaControl), E_UNEXPECTED);
    ComPtr<IOleClientSite> held;
    oleObject->GetClientSite(&held);
    EXPECT_EQ(held.Get(), nullptr) << "nothing set";
    EXPECT_TRUE(sink->calls.empty());

    qaControl = QACONTROL{};
    qaControl.cbSize = 24;
    qaControl.dwViewStatus = 77;
    ASSERT_EQ(quick->QuickActivate(&qaContainer, &qaControl), S_OK);
    EXPECT_EQ(qaControl.cbSize, 24u);
    EXPECT_EQ(qaControl.dwMiscStatus, 0x32191u);
    EXPECT_EQ(qaControl.dwEventCookie, 1u);
    EXPECT_EQ(qaControl.dwPropNotifyCookie, 1u);
    EXPECT_EQ(qaControl.dwViewStatus, 0u);
    EXPECT_EQ(qaControl.dwPointerActivationPolicy, 0u);
    oleObject->GetClientSite(&held);
    EXPECT_EQ(held.Get(), static_cast<IOleClientSite*>(site.Get()));
    ASSERT_EQ(sink->calls.size(), 1u);
    EXPECT_EQ(sink->calls[0].dispid, OnCreate);

    SIZEL extent{};
    EXPECT_EQ(quick->GetContentExtent(&extent), S_OK);
    EXPECT_EQ(extent.cx, 2646);
}

TEST_F(ControlObject, ObjectSafety)
{
    ComPtr<IObjectSafety> safety;
    ASSERT_EQ(control->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(safety.GetAddressOf())), S_OK);
    DWORD supported = 9, enabled = 9;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(enabled, 0u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 1), S_OK);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IPersistPropertyBag, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, 1u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 0xFF, 0xFF), S_OK);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, 3u) << "only the two options are reported";
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IPersistStream, &supported, &enabled), E_NOINTERFACE);
    EXPECT_EQ(supported, 0u);
    EXPECT_EQ(enabled, 0u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IPersistStream, 3, 3), E_NOINTERFACE);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);
}

TEST_F(ControlObject, PagesAndPropertyBrowsing)
{
    ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(control.As(&pages), S_OK);
    CAUUID list{7, nullptr};
    EXPECT_EQ(pages->GetPages(&list), S_OK);
    EXPECT_EQ(list.cElems, 0u);
    CoTaskMemFree(list.pElems);

    ComPtr<IPerPropertyBrowsing> browsing;
    ASSERT_EQ(control.As(&browsing), S_OK);
    BSTR text = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(browsing->GetDisplayString(-518, &text), E_NOTIMPL);
    EXPECT_EQ(text, nullptr);
    CLSID page = CLSID_Tavrix;
    EXPECT_EQ(browsing->MapPropertyToPage(-518, &page), E_NOTIMPL);
    EXPECT_TRUE(IsEqualGUID(page, GUID_NULL));
    CALPOLESTR strings{5, reinterpret_cast<LPOLESTR*>(1)};
    CADWORD cookies{5, reinterpret_cast<DWORD*>(1)};
    EXPECT_EQ(browsing->GetPredefinedStrings(204, &strings, nullptr), E_POINTER);
    EXPECT_EQ(browsing->GetPredefinedStrings(204, &strings, &cookies), E_NOTIMPL);
    EXPECT_EQ(strings.cElems, 0u);
    EXPECT_EQ(strings.pElems, nullptr);
    EXPECT_EQ(cookies.cElems, 0u);
    VARIANT value;
    V_VT(&value) = VT_I4;
    EXPECT_EQ(browsing->GetPredefinedValue(204, 0, &value), S_OK);
    EXPECT_EQ(V_VT(&value), VT_EMPTY);
}

TEST_F(ControlObject, ErrorInfoAndClassInfo)
{
    ComPtr<ISupportErrorInfo> errors;
    ASSERT_EQ(control.As(&errors), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IOleObject), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IDispatch), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_ITavrix), S_FALSE);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IPersistStream), S_FALSE);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IPersistPropertyBag), S_OK);
    // Answered as bases of listed interfaces, but not themselves listed.
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IOleWindow), S_FALSE);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IPersist), S_FALSE);

    ComPtr<IProvideClassInfo> classInfo;
    ASSERT_EQ(control.As(&classInfo), S_OK);
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(classInfo->GetClassInfo(&coclass), S_OK);
    TYPEATTR* attr = nullptr;
    coclass->GetTypeAttr(&attr);
    EXPECT_TRUE(IsEqualGUID(attr->guid, CLSID_Tavrix));
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    coclass->ReleaseTypeAttr(attr);
}

TEST_F(ControlObject, VerbsAndUserTypeComeFromTheRegistration)
{
    ASSERT_EQ(ServerLibrary::Register(), S_OK);
    ComPtr<IEnumOLEVERB> verbs;
    ASSERT_EQ(oleObject->EnumVerbs(&verbs), S_OK);
    OLEVERB verb{};
    ULONG fetched = 0;
    ASSERT_EQ(verbs->Next(1, &verb, &fetched), S_OK);
    EXPECT_EQ(verb.lVerb, 0);
    EXPECT_EQ(std::wstring(verb.lpszVerbName), L"\u30D7\u30ED\u30D1\u30C6\u30A3");  // プロパティ
    EXPECT_EQ(verb.grfAttribs, static_cast<DWORD>(OLEVERBATTRIB_ONCONTAINERMENU));
    CoTaskMemFree(verb.lpszVerbName);
    EXPECT_EQ(verbs->Next(1, &verb, &fetched), S_FALSE);
    LPOLESTR userType = nullptr;
    ASSERT_EQ(oleObject->GetUserType(USERCLASSTYPE_FULL, &userType), S_OK);
    EXPECT_EQ(std::wstring(userType), L"Tavrix Control");
    CoTaskMemFree(userType);
    CLSID classId{};
    EXPECT_EQ(oleObject->GetUserClassID(&classId), S_OK);
    EXPECT_TRUE(IsEqualGUID(classId, CLSID_Tavrix));
    EXPECT_EQ(ServerLibrary::Unregister(), S_OK);
}

// Connection points

TEST_F(ControlObject, TheEventPointTakesOneSink)
{
    ComPtr<IConnectionPoint> point = Point(DIID_ITavrixEvents);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(static_cast<ITavrixEvents*>(sink.Get()), &cookie), S_OK);
    EXPECT_EQ(cookie, 1u);
    ASSERT_EQ(sink->calls.size(), 1u) << "OnCreate before Advise returns";
    EXPECT_EQ(sink->calls[0].dispid, OnCreate);
    EXPECT_EQ(sink->calls[0].flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_TRUE(sink->calls[0].hasResult);
    EXPECT_EQ(Cookies(point.Get()), std::vector<DWORD>{1});

    ComPtr<RecordingSink> second = new RecordingSink;
    DWORD refused = 0;
    EXPECT_EQ(point->Advise(static_cast<ITavrixEvents*>(second.Get()), &refused), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(point->Unadvise(2), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(1), S_OK);
    EXPECT_TRUE(Cookies(point.Get()).empty());
    EXPECT_EQ(point->Unadvise(1), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(point->Advise(static_cast<ITavrixEvents*>(second.Get()), &cookie), S_OK);
    EXPECT_EQ(cookie, 1u);
    EXPECT_TRUE(second->calls.empty()) << "no second OnCreate";
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_UNEXPECTED);
}

TEST_F(ControlObject, ASinkWithoutTheEventsInterfaceIsRefusedAndTheFormNotTold)
{
    ComPtr<IConnectionPoint> point = Point(DIID_ITavrixEvents);
    ComPtr<RecordingSink> stranger = new RecordingSink;
    stranger->answersEventsInterface = false;
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(static_cast<ITavrixEvents*>(stranger.Get()), &cookie), E_NOINTERFACE);
    EXPECT_TRUE(Cookies(point.Get()).empty());
    ASSERT_EQ(point->Advise(static_cast<ITavrixEvents*>(sink.Get()), &cookie), S_OK);
    ASSERT_EQ(sink->calls.size(), 1u) << "still the first sink change the form sees";
    EXPECT_EQ(sink->calls[0].dispid, OnCreate);
}

TEST_F(ControlObject, PropertySinksGetCookiesAndFreedOnesAreReused)
{
    ComPtr<IConnectionPoint> point = Point(IID_IPropertyNotifySink);
    std::vector<ComPtr<QuietPropertySink>> sinks;
    for (DWORD expected = 1; expected <= 3; ++expected) {
        sinks.push_back(new QuietPropertySink);
        DWORD cookie = 0;
        ASSERT_EQ(point->Advise(sinks.back().Get(), &cookie), S_OK);
        EXPECT_EQ(cookie, expected);
    }
    EXPECT_EQ(point->Unadvise(2), S_OK);
    EXPECT_EQ(Cookies(point.Get()), (std::vector<DWORD>{1, 3}));
    ComPtr<QuietPropertySink> fourth = new QuietPropertySink;
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(fourth.Get(), &cookie), S_OK);
    EXPECT_EQ(cookie, 2u);
    EXPECT_EQ(Cookies(point.Get()), (std::vector<DWORD>{1, 2, 3}));
}

TEST_F(ControlObject, ConnectionsEnumeratorWalksOccupiedSlots)
{
    ComPtr<IConnectionPoint> point = Point(IID_IPropertyNotifySink);
    std::vector<ComPtr<QuietPropertySink>> sinks(4);
    for (auto& s : sinks) {
        s = new QuietPropertySink;
        DWORD cookie = 0;
        point->Advise(s.Get(), &cookie);
    }
    point->Unadvise(2);
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    EXPECT_EQ(connections->Skip(1), S_OK);
    ComPtr<IEnumConnections> clone;
    ASSERT_EQ(connections->Clone(&clone), S_OK);
    CONNECTDATA data[4];
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(4, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, 3u);
    EXPECT_EQ(data[1].dwCookie, 4u);
    for (ULONG i = 0; i < fetched; ++i)
        data[i].pUnk->Release();
    EXPECT_EQ(clone->Next(1, data, &fetched), S_OK);
    EXPECT_EQ(data[0].dwCookie, 3u);
    data[0].pUnk->Release();
    EXPECT_EQ(clone->Skip(5), S_FALSE);
    EXPECT_EQ(clone->Reset(), S_OK);
    EXPECT_EQ(clone->Next(1, data, nullptr), S_OK);
    EXPECT_EQ(data[0].dwCookie, 1u);
    data[0].pUnk->Release();

    // The enumerator holds the control alive.
    point.Reset();
    oleObject.Reset();
    container.Reset();
    control.Reset();
    EXPECT_EQ(ServerLibrary::CanUnloadNow(), S_FALSE);
    connections.Reset();
    clone.Reset();
}

TEST_F(ControlObject, ConnectionPointsInOrder)
{
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
    IConnectionPoint* found[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(3, found, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    IID iid{};
    found[0]->GetConnectionInterface(&iid);
    EXPECT_TRUE(IsEqualIID(iid, DIID_ITavrixEvents));
    found[1]->GetConnectionInterface(&iid);
    EXPECT_TRUE(IsEqualIID(iid, IID_IPropertyNotifySink));
    ComPtr<IConnectionPointContainer> back;
    found[0]->GetConnectionPointContainer(&back);
    EXPECT_EQ(back.Get(), container.Get());
    found[0]->Release();
    found[1]->Release();

    EXPECT_EQ(points->Reset(), S_OK);
    EXPECT_EQ(points->Skip(1), S_OK);
    ComPtr<IEnumConnectionPoints> clone;
    ASSERT_EQ(points->Clone(&clone), S_OK);
    EXPECT_EQ(clone->Next(1, found, nullptr), S_OK);
    found[0]->GetConnectionInterface(&iid);
    EXPECT_TRUE(IsEqualIID(iid, IID_IPropertyNotifySink));
    found[0]->Release();
    EXPECT_EQ(points->Skip(2), S_FALSE);

    ComPtr<IConnectionPoint> none;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &none), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(none.Get(), nullptr);
}

TEST_F(ControlObject, ASinkThatFailsEveryCallChangesNothing)
{
    sink->handler = [](const RecordedInvoke&, DISPPARAMS*) { return DISP_E_MEMBERNOTFOUND; };
    DWORD cookie = 0;
    EXPECT_EQ(Point(DIID_ITavrixEvents)->Advise(static_cast<ITavrixEvents*>(sink.Get()), &cookie), S_OK);
    ComPtr<IOleInPlaceObject> inPlace;
    control.As(&inPlace);
    HWND window = nullptr;
    inPlace->GetWindow(&window);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SendMessageW(window, WM_LBUTTONUP, 0, 0);
    ASSERT_EQ(sink->calls.size(), 2u);
    EXPECT_EQ(sink->calls[1].dispid, 202);
    ComPtr<ITavrix> tavrix;
    control.As(&tavrix);
    EXPECT_EQ(tavrix->put_Caption(nullptr), S_OK);
}

}  // namespace
