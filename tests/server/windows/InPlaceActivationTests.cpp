// In-place activation, the message hook, keyboard handling and drawing, in a container of
// our own with a real frame window under Wine and Xvfb.
#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "../../support/RecordingSink.h"
#include "../../support/ServerLibrary.h"
#include "../../support/TestContainer.h"
#include "../../support/TestWindows.h"

using Microsoft::WRL::ComPtr;

namespace {

// Counts OnViewChange calls.
class ViewSink final : public ComObject<IAdviseSink, &IID_IAdviseSink> {
public:
    void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM*) override {}
    void STDMETHODCALLTYPE OnViewChange(DWORD aspect, LONG index) override
    {
        ++viewChanges;
        lastAspect = aspect;
        lastIndex = index;
    }
    void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
    void STDMETHODCALLTYPE OnSave() override {}
    void STDMETHODCALLTYPE OnClose() override {}

    int viewChanges = 0;
    DWORD lastAspect = 0;
    LONG lastIndex = 0;
};

// Counts the form windows made on this thread while it lives.
class FormWindowsMade {
public:
    FormWindowsMade() : hook_(SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId())) { count = 0; }
    ~FormWindowsMade() { UnhookWindowsHookEx(hook_); }
    FormWindowsMade(const FormWindowsMade&) = delete;
    FormWindowsMade& operator=(const FormWindowsMade&) = delete;
    int made() const { return count; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        wchar_t name[16] = {};
        if (code == HCBT_CREATEWND && GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16) &&
            std::wstring(name) == L"TTavrix")
            ++count;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline int count = 0;
    HHOOK hook_;
};

class InPlace : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = PlainWindow;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = L"InPlaceTestsFrame";
        RegisterClassW(&windowClass);
        // One visible frame for all: Wine is slow to destroy visible top-level windows.
        frameWindow = CreateWindowW(L"InPlaceTestsFrame", L"Tavrix test container", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                    40, 40, 400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(frameWindow, nullptr);
    }
    static void TearDownTestSuite() { DestroyWindow(frameWindow); }

    void SetUp() override
    {
        SetForegroundWindow(frameWindow);
        SetActiveWindow(frameWindow);
        control = ServerLibrary::Create<IOleObject>();
        ASSERT_TRUE(control);
        control.As(&inPlace);
        control.As(&active);
        site = new InPlaceTestSite(log, frameWindow);
    }

    void TearDown() override
    {
        if (control) {
            control->Close(OLECLOSE_NOSAVE);
            control->SetClientSite(nullptr);
        }
        active.Reset();
        inPlace.Reset();
        control.Reset();
        site.Reset();
        EXPECT_EQ(ServerLibrary::CanUnloadNow(), S_OK);
    }

    HWND FormWindow()
    {
        HWND window = nullptr;
        inPlace->GetWindow(&window);
        return window;
    }

    bool Logged(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }

    static HWND frameWindow;
    CallLog log;
    ComPtr<IOleObject> control;
    ComPtr<IOleInPlaceObject> inPlace;
    ComPtr<IOleInPlaceActiveObject> active;
    ComPtr<InPlaceTestSite> site;
};
HWND InPlace::frameWindow = nullptr;

TEST_F(InPlace, ShowActivatesInPlaceAndUI)
{
    ASSERT_EQ(control->SetClientSite(site->ClientSite()), S_OK);
    ASSERT_EQ(control->DoVerb(OLEIVERB_SHOW, nullptr, site->ClientSite(), 0, frameWindow, nullptr), S_OK);
    HWND window = FormWindow();
    EXPECT_EQ(GetParent(window), frameWindow);
    EXPECT_TRUE(IsWindowVisible(window));
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(HWND_DESKTOP, frameWindow, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 20);
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(r.right - r.left, 100);
    EXPECT_EQ(r.bottom - r.top, 50);
    EXPECT_EQ(GetFocus(), window);
    const CallLog expected = {"site.CanInPlaceActivate",    "site.OnInPlaceActivate", "site.GetWindow",
                              "site.GetWindowContext cb 20", "site.OnUIActivate",      "frame.SetActiveObject",
                              "uiWindow.SetActiveObject",    "frame.SetBorderSpace",   "uiWindow.SetBorderSpace"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(site->frame->active, active.Get());

    // Again: already active, nothing more.
    log.clear();
    EXPECT_EQ(control->DoVerb(OLEIVERB_SHOW, nullptr, site->ClientSite(), 0, frameWindow, nullptr), S_OK);
    EXPECT_TRUE(log.empty());
}

// A stored form with every attribute the stream knows, each away from its default.
std::vector<uint8_t> EveryAttributeStream()
{
    std::vector<uint8_t> out;
    const auto text = [&](const std::string& t) {
        out.push_back(static_cast<uint8_t>(t.size()));
        out.insert(out.end(), t.begin(), t.end());
    };
    const auto record = [&](const std::string& name, std::initializer_list<uint8_t> value) {
        text(name);
        out.insert(out.end(), value);
    };
    const auto identifier = [&](const std::string& name, const std::string& value) {
        text(name);
        out.push_back(0x07);
        text(value);
    };
    const auto string = [&](const std::string& name, const std::string& value) {
        text(name);
        out.push_back(0x06);
        text(value);
    };
    out.insert(out.end(), {'T', 'P', 'F', '0'});
    text("TTavrix");
    text("Tavrix");
    record("Tag", {0x02, 7});
    record("AlignWithMargins", {0x09});
    record("Left", {0x02, 3});
    record("Top", {0x02, 4});
    record("Width", {0x03, 0x2C, 0x01});
    record("Height", {0x02, 0x78});
    record("ParentCustomHint", {0x08});
    record("AutoSize", {0x09});
    identifier("AxBorderStyle", "afbRaised");
    record("BorderWidth", {0x02, 2});
    string("Caption", "Every");
    identifier("Color", "clWindow");
    identifier("Font.Charset", "SHIFTJIS_CHARSET");
    identifier("Font.Color", "clRed");
    record("Font.Height", {0x02, 0xF0});
    string("Font.Name", "Tahoma");
    record("Font.Style", {0x0B, 6, 'f', 's', 'B', 'o', 'l', 'd', 0x00});
    record("Font.Size", {0x02, 12});
    record("KeyPreview", {0x09});
    record("OldCreateOrder", {0x09});
    identifier("PrintScale", "poPrintToFit");
    record("Scaled", {0x09});
    record("PixelsPerInch", {0x02, 0x78});
    record("AutoScroll", {0x09});
    record("Visible", {0x09});
    record("Enabled", {0x08});
    record("DropTarget", {0x09});
    string("HelpFile", "kiosk.chm");
    identifier("PopupMode", "pmAuto");
    record("ScreenSnap", {0x09});
    record("SnapBuffer", {0x02, 5});
    record("DockSite", {0x09});
    record("DoubleBuffered", {0x09});
    record("ParentDoubleBuffered", {0x09});
    record("UseDockManager", {0x09});
    record("TextHeight", {0x02, 0x10});
    record("ExplicitLeft", {0x02, 1});
    record("ExplicitTop", {0x02, 2});
    record("ExplicitWidth", {0x02, 0x50});
    record("ExplicitHeight", {0x02, 0x40});
    record("IsControl", {0x09});
    record("DesignSize", {0x02, 1});
    record("IgnoreFontProperty", {0x09});
    out.push_back(0);
    out.push_back(0);
    return out;
}

// What a container sees while an active control loads a stored form with every attribute set,
// and once the messages that follow are handled: the events, in order, and the form afterwards.
TEST_F(InPlace, LoadingEveryAttributeRaisesThesePinnedEvents)
{
    ASSERT_EQ(control->SetClientSite(site->ClientSite()), S_OK);
    ASSERT_EQ(control->DoVerb(OLEIVERB_SHOW, nullptr, site->ClientSite(), 0, frameWindow, nullptr), S_OK);
    ComPtr<IConnectionPointContainer> container;
    control.As(&container);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID_ITavrixEvents, &point), S_OK);
    const ComPtr<RecordingSink> sink = new RecordingSink;
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(sink.Get(), &cookie), S_OK);
    Pump();
    sink->calls.clear();

    const std::vector<uint8_t> bytes = EveryAttributeStream();
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    stream->Seek({}, STREAM_SEEK_SET, nullptr);
    ComPtr<IPersistStreamInit> persist;
    control.As(&persist);
    const FormWindowsMade windows;
    ASSERT_EQ(persist->Load(stream.Get()), S_OK);
    // The new border and the new pop-up mode take one new window between them.
    EXPECT_EQ(windows.made(), 1);
    std::vector<DISPID> duringLoad;
    for (const RecordedInvoke& call : sink->calls)
        duringLoad.push_back(call.dispid);
    // The border style rebuilds the focused window (it loses and regains the focus), and the
    // disabled form gives the focus up.
    const std::vector<DISPID> pinned = {DISPID_OnDeactivate, DISPID_OnActivate, DISPID_OnDeactivate};
    EXPECT_EQ(duringLoad, pinned);

    // Once its messages are handled, the form shows what it loaded; only paints follow.
    sink->calls.clear();
    Pump();
    for (const RecordedInvoke& call : sink->calls)
        EXPECT_TRUE(call.dispid == DISPID_OnPaint) << "after the load: event " << call.dispid;
    ComPtr<ITavrix> tavrix;
    control.As(&tavrix);
    VARIANT_BOOL enabled = VARIANT_TRUE, visible = VARIANT_FALSE;
    tavrix->get_Enabled(&enabled);
    tavrix->get_Visible(&visible);
    EXPECT_EQ(enabled, VARIANT_FALSE);
    EXPECT_EQ(visible, VARIANT_TRUE);
    TxActiveFormBorderStyle border = afbNone;
    tavrix->get_AxBorderStyle(&border);
    EXPECT_EQ(border, afbRaised);
    EXPECT_TRUE(IsWindow(FormWindow()));
    point->Unadvise(cookie);
}

TEST_F(InPlace, ASiteWithoutAFrameFailsAndIsToldToDeactivate)
{
    site->givesFrame = false;
    ASSERT_EQ(control->SetClientSite(site->ClientSite()), S_OK);
    EXPECT_EQ(control->DoVerb(OLEIVERB_SHOW, nullptr, site->ClientSite(), 0, frameWindow, nullptr), E_FAIL);
    EXPECT_TRUE(Logged("site.OnInPlaceActivate"));
    EXPECT_EQ(log.back(), "site.OnInPlaceDeactivate");
    EXPECT_NE(GetParent(FormWindow()), frameWindow);
}

TEST_F(InPlace, NoClientSiteFails)
{
    EXPECT_EQ(control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, frameWindow, nullptr), E_FAIL);
    EXPECT_TRUE(log.empty());
}

TEST_F(InPlace, HidingUIDeactivatesAndInPlaceDeactivateParksTheForm)
{
    control->SetClientSite(site->ClientSite());
    control->DoVerb(OLEIVERB_SHOW, nullptr, site->ClientSite(), 0, frameWindow, nullptr);
    log.clear();
    EXPECT_EQ(control->DoVerb(OLEIVERB_HIDE, nullptr, site->ClientSite(), 0, frameWindow, nullptr), S_OK);
    EXPECT_EQ(log, (CallLog{"uiWindow.SetActiveObject(null)", "frame.SetActiveObject(null)", "site.OnUIDeactivate"}));
    EXPECT_FALSE(IsWindowVisible(FormWindow()));
    log.clear();
    EXPECT_EQ(inPlace->InPlaceDeactivate(), S_OK);
    EXPECT_EQ(log, CallLog{"site.OnInPlaceDeactivate"});
    EXPECT_NE(GetParent(FormWindow()), frameWindow);
    EXPECT_FALSE(IsWindowVisible(FormWindow()));
}

TEST_F(InPlace, ObjectRectsClipWithARegion)
{
    control->SetClientSite(site->ClientSite());
    control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site->ClientSite(), 0, frameWindow, nullptr);
    const RECT position{50, 60, 150, 110};
    const RECT cutting{0, 0, 120, 100};
    ASSERT_EQ(inPlace->SetObjectRects(&position, &cutting), S_OK);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_EQ(GetWindowRgn(FormWindow(), region), SIMPLEREGION);
    RECT box;
    GetRgnBox(region, &box);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.right, 70);
    EXPECT_EQ(box.bottom, 40);
    const RECT covering{0, 0, 400, 300};
    ASSERT_EQ(inPlace->SetObjectRects(&position, &covering), S_OK);
    EXPECT_EQ(GetWindowRgn(FormWindow(), region), ERROR) << "a covering clip removes the region";
    DeleteObject(region);
    RECT r;
    GetWindowRect(FormWindow(), &r);
    MapWindowPoints(HWND_DESKTOP, frameWindow, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(inPlace->SetObjectRects(nullptr, &covering), E_POINTER);
}

TEST_F(InPlace, TranslateAccelerator)
{
    control->SetClientSite(site->ClientSite());
    control->DoVerb(OLEIVERB_SHOW, nullptr, site->ClientSite(), 0, frameWindow, nullptr);
    TestSite& controlSite = *site->base_.Get();
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    const struct {
        const char* name;
        MSG message;
        bool shift;
        DWORD modifiers;
    } cases[] = {
        {"not a key message", {FormWindow(), WM_MOUSEMOVE, 0, 0, 0, {0, 0}}, false, 0},
        {"a key for another window", {frameWindow, WM_KEYDOWN, 'A', 0, 0, {0, 0}}, true, 1},
        {"tab on the form, not wanted", {FormWindow(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}}, false, 0},
        {"a letter on the form", {FormWindow(), WM_KEYDOWN, 'A', 0, 0, {0, 0}}, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        keys[VK_SHIFT] = c.shift ? 0x80 : 0;
        SetKeyboardState(keys);
        const int before = controlSite.translateAcceleratorCalls;
        MSG message = c.message;
        EXPECT_EQ(active->TranslateAccelerator(&message), S_FALSE);
        EXPECT_EQ(controlSite.translateAcceleratorCalls, before + 1);
        EXPECT_EQ(controlSite.lastModifiers, c.modifiers);
    }
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
}

TEST_F(InPlace, TranslateAcceleratorWithoutAControlSite)
{
    MSG message{frameWindow, WM_KEYDOWN, 'A', 0, 0, {0, 0}};
    EXPECT_EQ(active->TranslateAccelerator(&message), S_FALSE);
}

TEST_F(InPlace, WindowActivationNotifications)
{
    control->SetClientSite(site->ClientSite());
    control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site->ClientSite(), 0, frameWindow, nullptr);
    log.clear();
    EXPECT_EQ(active->OnDocWindowActivate(FALSE), S_OK);
    EXPECT_FALSE(Logged("site.OnUIActivate")) << "OnDocWindowActivate(FALSE) does not UI-activate";
    EXPECT_EQ(active->OnFrameWindowActivate(FALSE), S_OK);
    EXPECT_TRUE(Logged("site.OnUIActivate")) << "OnFrameWindowActivate UI-activates whatever its argument";
}

TEST_F(InPlace, MouseActivationInUserModeUIActivates)
{
    control->SetClientSite(site->ClientSite());
    control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site->ClientSite(), 0, frameWindow, nullptr);
    log.clear();
    site->base_->userMode = false;
    SendMessageW(FormWindow(), WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(frameWindow),
                 MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
    EXPECT_FALSE(Logged("site.OnUIActivate")) << "not in user mode";
    site->base_->userMode = true;
    SendMessageW(FormWindow(), WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(frameWindow),
                 MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
    EXPECT_TRUE(Logged("site.OnUIActivate"));
}

TEST_F(InPlace, TheContainersFilterSeesMessagesOutsideTheFormsOwnRange)
{
    site->offersSimpleFrameSite = true;
    site->droppedMessage = WM_LBUTTONUP;
    control->SetClientSite(site->ClientSite());
    control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site->ClientSite(), 0, frameWindow, nullptr);
    ComPtr<ITavrix> tavrix;
    control.As(&tavrix);
    site->filtered.clear();
    SendMessageW(FormWindow(), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    tavrix->put_Color(0x00123456);  // the form's invalidation is its own notification
    EXPECT_EQ(std::count(site->filtered.begin(), site->filtered.end(), WM_LBUTTONDOWN), 1);
    for (UINT message : site->filtered)
        EXPECT_TRUE(message < 0xB000 || message > 0xBFFF) << std::hex << message;
}

TEST_F(InPlace, ANewWindowWhileInPlaceStaysInPlace)
{
    control->SetClientSite(site->ClientSite());
    control->DoVerb(OLEIVERB_SHOW, nullptr, site->ClientSite(), 0, frameWindow, nullptr);
    HWND before = FormWindow();
    ComPtr<ITavrix> tavrix;
    control.As(&tavrix);
    ASSERT_EQ(tavrix->put_AxBorderStyle(afbSunken), S_OK);
    HWND after = FormWindow();
    ASSERT_NE(after, nullptr);
    EXPECT_FALSE(IsWindow(before));
    EXPECT_EQ(GetParent(after), frameWindow);
    EXPECT_TRUE(IsWindowVisible(after));
    EXPECT_TRUE(GetWindowLongW(after, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(site->frame->active, active.Get()) << "UI active again";
}

// Drawing

COLORREF Pixel(HDC dc, int x, int y) { return GetPixel(dc, x, y) & 0xFFFFFF; }

TEST_F(InPlace, DrawPaintsTheFormAtItsOwnSize)
{
    ComPtr<IViewObject2> view;
    ASSERT_EQ(control.As(&view), S_OK);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 300, 200);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all{0, 0, 300, 200};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const RECTL bounds{10, 20, 260, 190};  // larger than the form: no scaling
    ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory, &bounds, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(Pixel(memory, 15, 25), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(Pixel(memory, 10, 20), GetSysColor(COLOR_WINDOWFRAME)) << "the single border";
    EXPECT_EQ(Pixel(memory, 5, 5), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(memory, 10 + 100 + 5, 25), RGB(255, 255, 255)) << "drawn at 100 by 50, not stretched";
    EXPECT_FALSE(IsWindowVisible(FormWindow())) << "hidden again";
    EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, memory, &bounds, nullptr, nullptr, 0),
              DV_E_DVASPECT);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

TEST_F(InPlace, GetDataGivesAMetafilePictureThatPlaysBackToTheForm)
{
    ComPtr<IDataObject> data;
    ASSERT_EQ(control.As(&data), S_OK);
    FORMATETC global{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    EXPECT_EQ(data->GetData(&global, &medium), DV_E_FORMATETC);
    FORMATETC picture{CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};  // the format is not examined
    ASSERT_EQ(data->GetData(&picture, &medium), S_OK);
    ASSERT_EQ(medium.tymed, static_cast<DWORD>(TYMED_MFPICT));
    EXPECT_EQ(medium.pUnkForRelease, nullptr);
    auto* pict = static_cast<METAFILEPICT*>(GlobalLock(medium.hMetaFilePict));
    ASSERT_NE(pict, nullptr);
    EXPECT_EQ(pict->mm, MM_ANISOTROPIC);
    EXPECT_EQ(pict->xExt, 2646);
    EXPECT_EQ(pict->yExt, 1323);

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 100, 50);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all{0, 0, 100, 50};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetMapMode(memory, MM_ANISOTROPIC);
    SetViewportExtEx(memory, 100, 50, nullptr);
    SetWindowExtEx(memory, pict->xExt, pict->yExt, nullptr);
    ASSERT_TRUE(PlayMetaFile(memory, pict->hMF));
    SetMapMode(memory, MM_TEXT);
    EXPECT_EQ(Pixel(memory, 50, 25), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(Pixel(memory, 0, 0), GetSysColor(COLOR_WINDOWFRAME));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    GlobalUnlock(medium.hMetaFilePict);
    ReleaseStgMedium(&medium);
}

TEST_F(InPlace, ViewAdviseSink)
{
    ComPtr<IViewObject2> view;
    control.As(&view);
    ComPtr<ViewSink> sink = new ViewSink;
    EXPECT_EQ(view->SetAdvise(DVASPECT_ICON, 0, sink.Get()), DV_E_DVASPECT);
    EXPECT_EQ(view->SetAdvise(DVASPECT_CONTENT, ADVF_PRIMEFIRST, sink.Get()), S_OK);
    EXPECT_EQ(sink->viewChanges, 1) << "primed at once";
    EXPECT_EQ(sink->lastAspect, static_cast<DWORD>(DVASPECT_CONTENT));
    EXPECT_EQ(sink->lastIndex, -1);
    ComPtr<ITavrix> tavrix;
    control.As(&tavrix);
    tavrix->put_Color(0x00123456);  // not in place: the container is told the picture changed
    EXPECT_EQ(sink->viewChanges, 2);

    EXPECT_EQ(view->SetAdvise(DVASPECT_CONTENT, ADVF_ONLYONCE, sink.Get()), S_OK);
    tavrix->put_Color(0x00654321);
    tavrix->put_Color(0x00123456);
    EXPECT_EQ(sink->viewChanges, 3) << "only once";
    DWORD aspects = 0, flags = 0;
    IAdviseSink* held = reinterpret_cast<IAdviseSink*>(1);
    EXPECT_EQ(view->GetAdvise(&aspects, &flags, &held), S_OK);
    EXPECT_EQ(aspects, static_cast<DWORD>(DVASPECT_CONTENT));
    EXPECT_EQ(flags, static_cast<DWORD>(ADVF_ONLYONCE));
    EXPECT_EQ(held, nullptr);
}

TEST_F(InPlace, DataAdviseHolder)
{
    ComPtr<IDataObject> data;
    control.As(&data);
    ComPtr<IEnumSTATDATA> advises;
    EXPECT_EQ(data->DUnadvise(1), OLE_E_NOCONNECTION);
    EXPECT_EQ(data->EnumDAdvise(&advises), E_FAIL);
    ComPtr<ViewSink> sink = new ViewSink;
    FORMATETC format{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
    DWORD connection = 0;
    EXPECT_EQ(data->DAdvise(&format, 0, sink.Get(), &connection), S_OK);
    EXPECT_EQ(data->EnumDAdvise(&advises), S_OK);
    EXPECT_EQ(data->DUnadvise(connection), S_OK);
}

// A picture of the activated control in its container, read back from the X server.
TEST_F(InPlace, Screenshot)
{
    control->SetClientSite(site->ClientSite());
    control->DoVerb(OLEIVERB_SHOW, nullptr, site->ClientSite(), 0, frameWindow, nullptr);
    UpdateWindow(frameWindow);
    RedrawWindow(frameWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump();
    Sleep(200);
    Pump();
    RECT client;
    GetClientRect(frameWindow, &client);
    HDC window = GetDC(frameWindow);
    HDC memory = CreateCompatibleDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(window, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, client.right, client.bottom, window, 0, 0, SRCCOPY);
    EXPECT_EQ(Pixel(memory, 60, 50), GetSysColor(COLOR_BTNFACE)) << "the control at its position";
    EXPECT_EQ(Pixel(memory, 300, 200), RGB(255, 255, 255)) << "the container around it";

    // Kept as a 24-bit BMP beside the test program.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    const DWORD stride = (client.right * 3 + 3) & ~3u;
    std::string pixels(stride * client.bottom, '\0');
    SelectObject(memory, old);
    GetDIBits(memory, bitmap, 0, client.bottom, pixels.data(), &info, DIB_RGB_COLORS);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(std::filesystem::path(ProgramFolder()) / L"in-place-screenshot.bmp", std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(frameWindow, window);
}

}  // namespace
