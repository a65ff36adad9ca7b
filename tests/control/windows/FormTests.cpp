// The form TTavrix under Wine: initial values, accessors, window styles, painting, the
// font object, late binding, and real window messages turned into events.
#include <gtest/gtest.h>

#include <windows.h>

#include <olectl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "../../../base/Bstr.h"
#include "../../support/FormHost.h"
#include "../../support/HeapInUse.h"
#include "../../support/RecordingSink.h"
#include "DisplayResolution.h"

using Microsoft::WRL::ComPtr;

namespace {

using BoolGetter = HRESULT (STDMETHODCALLTYPE ITavrix::*)(VARIANT_BOOL*);
using BoolPutter = HRESULT (STDMETHODCALLTYPE ITavrix::*)(VARIANT_BOOL);
using LongGetter = HRESULT (STDMETHODCALLTYPE ITavrix::*)(LONG*);

LRESULT CALLBACK PlainWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

class Form : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = PlainWindow;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"FormTestsContainer";
        RegisterClassW(&windowClass);
        // One visible container for all: Wine takes seconds to destroy a visible top-level
        // window when no window manager runs.
        container = CreateWindowW(L"FormTestsContainer", L"container", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400,
                                  300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(container, nullptr);
    }

    static void TearDownTestSuite() { DestroyWindow(container); }

    void SetUp() override
    {
        host = new FormHost(container);
        tavrix = host->form.get();
        sink = new RecordingSink;
    }

    void TearDown() override
    {
        tavrix = nullptr;
        host.Reset();
    }

    static void Pump()
    {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    std::vector<DISPID> Events() const
    {
        std::vector<DISPID> events;
        for (const RecordedInvoke& call : sink->calls)
            events.push_back(call.dispid);
        return events;
    }

    VARIANT_BOOL GetBool(BoolGetter getter)
    {
        VARIANT_BOOL value = 7;
        EXPECT_EQ((tavrix->*getter)(&value), S_OK);
        return value;
    }

    LONG GetLong(LongGetter getter)
    {
        LONG value = -12345;
        EXPECT_EQ((tavrix->*getter)(&value), S_OK);
        return value;
    }

    // The form's font as its window hands it out.
    LOGFONTW WindowFont()
    {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(tavrix->window(), WM_GETFONT, 0, 0)), sizeof font, &font);
        return font;
    }

    COLORREF PaintedPixel()
    {
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, 100, 50);
        HGDIOBJ old = SelectObject(memory, bitmap);
        tavrix->PaintTo(memory);
        const COLORREF pixel = GetPixel(memory, 10, 10);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        return pixel;
    }

    static HWND container;
    ComPtr<FormHost> host;
    TTavrix* tavrix = nullptr;
    ComPtr<RecordingSink> sink;
};

HWND Form::container = nullptr;

struct BoolProperty {
    const char* name;
    BoolGetter get;
    BoolPutter put;  // null for read-only
    bool initial;
};

const BoolProperty BoolProperties[] = {
    {"Visible", &ITavrix::get_Visible, &ITavrix::put_Visible, false},
    {"AutoScroll", &ITavrix::get_AutoScroll, &ITavrix::put_AutoScroll, false},
    {"AutoSize", &ITavrix::get_AutoSize, &ITavrix::put_AutoSize, false},
    {"KeyPreview", &ITavrix::get_KeyPreview, &ITavrix::put_KeyPreview, false},
    {"Scaled", &ITavrix::get_Scaled, &ITavrix::put_Scaled, true},
    {"Active", &ITavrix::get_Active, nullptr, false},
    {"DropTarget", &ITavrix::get_DropTarget, &ITavrix::put_DropTarget, false},
    {"ScreenSnap", &ITavrix::get_ScreenSnap, &ITavrix::put_ScreenSnap, false},
    {"DockSite", &ITavrix::get_DockSite, &ITavrix::put_DockSite, false},
    {"DoubleBuffered", &ITavrix::get_DoubleBuffered, &ITavrix::put_DoubleBuffered, false},
    {"AlignDisabled", &ITavrix::get_AlignDisabled, nullptr, false},
    {"MouseInClient", &ITavrix::get_MouseInClient, nullptr, false},
    {"ParentDoubleBuffered", &ITavrix::get_ParentDoubleBuffered, &ITavrix::put_ParentDoubleBuffered, false},
    {"UseDockManager", &ITavrix::get_UseDockManager, &ITavrix::put_UseDockManager, false},
    {"Enabled", &ITavrix::get_Enabled, &ITavrix::put_Enabled, true},
    {"AlignWithMargins", &ITavrix::get_AlignWithMargins, &ITavrix::put_AlignWithMargins, false},
    {"ParentCustomHint", &ITavrix::get_ParentCustomHint, &ITavrix::put_ParentCustomHint, true},
};

TEST_F(Form, InitialValues)
{
    for (const BoolProperty& p : BoolProperties)
        EXPECT_EQ(GetBool(p.get), p.initial ? VARIANT_TRUE : VARIANT_FALSE) << p.name;

    const struct {
        const char* name;
        LongGetter get;
        LONG initial;
    } longs[] = {
        {"BorderWidth", &ITavrix::get_BorderWidth, 0},
        {"PixelsPerInch", &ITavrix::get_PixelsPerInch, ScreenPixelsPerInch()},
        {"SnapBuffer", &ITavrix::get_SnapBuffer, 10},
        {"VisibleDockClientCount", &ITavrix::get_VisibleDockClientCount, 0},
        {"ExplicitLeft", &ITavrix::get_ExplicitLeft, 0},
        {"ExplicitTop", &ITavrix::get_ExplicitTop, 0},
        {"ExplicitWidth", &ITavrix::get_ExplicitWidth, 100},
        {"ExplicitHeight", &ITavrix::get_ExplicitHeight, 50},
    };
    for (const auto& p : longs)
        EXPECT_EQ(GetLong(p.get), p.initial) << p.name;

    TxActiveFormBorderStyle border{};
    TxPrintScale printScale{};
    TxPopupMode popup = pmExplicit;
    OLE_COLOR color = 0;
    EXPECT_EQ(tavrix->get_AxBorderStyle(&border), S_OK);
    EXPECT_EQ(border, afbSingle);
    EXPECT_EQ(tavrix->get_PrintScale(&printScale), S_OK);
    EXPECT_EQ(printScale, poProportional);
    EXPECT_EQ(tavrix->get_PopupMode(&popup), S_OK);
    EXPECT_EQ(popup, pmNone);
    EXPECT_EQ(tavrix->get_Color(&color), S_OK);
    EXPECT_EQ(color, 0xFF00000Fu);

    Bstr caption, helpFile;
    EXPECT_EQ(tavrix->get_Caption(caption.out()), S_OK);
    EXPECT_EQ(caption.text(), u"Tavrix");
    EXPECT_EQ(tavrix->get_HelpFile(helpFile.out()), S_OK);
    EXPECT_EQ(helpFile.get(), nullptr) << "an empty text is a null BSTR";

    RECT window;
    GetWindowRect(tavrix->window(), &window);
    EXPECT_EQ(window.right - window.left, 100);
    EXPECT_EQ(window.bottom - window.top, 50);
    EXPECT_FALSE(IsWindowVisible(tavrix->window()));
    EXPECT_EQ(GetParent(tavrix->window()), container);
    EXPECT_EQ(WindowFont().lfHeight, -11);
}

TEST_F(Form, ANullOutPointerFailsAndChangesNothing)
{
    for (const BoolProperty& p : BoolProperties) {
        SetErrorInfo(0, nullptr);
        EXPECT_EQ((tavrix->*p.get)(nullptr), E_UNEXPECTED) << p.name;
        ComPtr<IErrorInfo> info;
        EXPECT_EQ(GetErrorInfo(0, &info), S_OK) << p.name;
    }
    EXPECT_EQ(tavrix->get_Caption(nullptr), E_UNEXPECTED);
    EXPECT_EQ(tavrix->get_Color(nullptr), E_UNEXPECTED);
    EXPECT_EQ(tavrix->get_SnapBuffer(nullptr), E_UNEXPECTED);
    EXPECT_EQ(tavrix->get_Font(nullptr), E_UNEXPECTED);
    EXPECT_EQ(tavrix->putref_Font(nullptr), E_UNEXPECTED);
    EXPECT_EQ(tavrix->get_AxBorderStyle(nullptr), E_UNEXPECTED);

    // Nothing is made for a result that has nowhere to go.
    const Bstr text(std::u16string(4096, u'x'));
    ASSERT_EQ(tavrix->put_Caption(text.get()), S_OK);
    ASSERT_EQ(tavrix->put_HelpFile(text.get()), S_OK);
    const size_t before = HeapInUse();
    for (int i = 0; i < 1000; ++i) {
        tavrix->get_Caption(nullptr);
        tavrix->get_HelpFile(nullptr);
        tavrix->get_Font(nullptr);
    }
    EXPECT_LT(HeapInUse(), before + 1024 * 1024) << "16 MB would be left behind by copies of the texts";
}

TEST_F(Form, BooleansRoundTripAndAnyNonzeroIsTrue)
{
    for (const BoolProperty& p : BoolProperties) {
        if (!p.put)
            continue;
        EXPECT_EQ((tavrix->*p.put)(1), S_OK) << p.name;
        EXPECT_EQ(GetBool(p.get), VARIANT_TRUE) << p.name << ": 1 counts as true, read back as -1";
        EXPECT_EQ((tavrix->*p.put)(0), S_OK) << p.name;
        EXPECT_EQ(GetBool(p.get), VARIANT_FALSE) << p.name;
        EXPECT_EQ((tavrix->*p.put)(static_cast<VARIANT_BOOL>(0x100)), S_OK) << p.name;
        EXPECT_EQ(GetBool(p.get), VARIANT_TRUE) << p.name;
    }
}

TEST_F(Form, EnumerationsKeepTheirLowEightBits)
{
    const struct {
        LONG put, read;
    } cases[] = {{258, 2}, {7, 7}, {256, 0}, {-1, 255}, {1, 1}};
    for (const auto& c : cases) {
        TxPrintScale printScale{};
        TxActiveFormBorderStyle border{};
        TxPopupMode popup{};
        tavrix->put_PrintScale(static_cast<TxPrintScale>(c.put));
        tavrix->get_PrintScale(&printScale);
        EXPECT_EQ(printScale, c.read) << c.put;
        tavrix->put_AxBorderStyle(static_cast<TxActiveFormBorderStyle>(c.put));
        tavrix->get_AxBorderStyle(&border);
        EXPECT_EQ(border, c.read) << c.put;
        tavrix->put_PopupMode(static_cast<TxPopupMode>(c.put));
        tavrix->get_PopupMode(&popup);
        EXPECT_EQ(popup, c.read) << c.put;
    }
}

TEST_F(Form, LongsPassUnchanged)
{
    for (LONG value : {5L, -3L, 0L, 0x7FFFFFFFL}) {
        tavrix->put_BorderWidth(value);
        tavrix->put_SnapBuffer(value);
        EXPECT_EQ(GetLong(&ITavrix::get_BorderWidth), value);
        EXPECT_EQ(GetLong(&ITavrix::get_SnapBuffer), value);
    }
}

TEST_F(Form, PixelsPerInchAndScaled)
{
    const LONG screen = ScreenPixelsPerInch();
    EXPECT_EQ(tavrix->put_PixelsPerInch(35), S_OK) << "ignored without error";
    EXPECT_EQ(GetLong(&ITavrix::get_PixelsPerInch), screen);
    EXPECT_EQ(tavrix->put_PixelsPerInch(-5), S_OK);
    EXPECT_EQ(GetLong(&ITavrix::get_PixelsPerInch), screen);
    EXPECT_EQ(tavrix->put_PixelsPerInch(36), S_OK);
    EXPECT_EQ(GetLong(&ITavrix::get_PixelsPerInch), 36);

    tavrix->put_PixelsPerInch(0);
    EXPECT_EQ(GetBool(&ITavrix::get_Scaled), VARIANT_FALSE);
    EXPECT_EQ(GetLong(&ITavrix::get_PixelsPerInch), screen) << "0 reads as the display's";
    tavrix->put_PixelsPerInch(screen);
    EXPECT_EQ(GetBool(&ITavrix::get_Scaled), VARIANT_FALSE) << "equal to what get returns: ignored";

    tavrix->put_Scaled(VARIANT_TRUE);
    EXPECT_EQ(GetBool(&ITavrix::get_Scaled), VARIANT_TRUE);
    EXPECT_EQ(GetLong(&ITavrix::get_PixelsPerInch), screen);
    tavrix->put_Scaled(VARIANT_FALSE);
    EXPECT_EQ(GetLong(&ITavrix::get_PixelsPerInch), screen);
    EXPECT_EQ(GetBool(&ITavrix::get_Scaled), VARIANT_FALSE);
}

TEST_F(Form, Caption)
{
    const Bstr text(u"カード");
    EXPECT_EQ(tavrix->put_Caption(text.get()), S_OK);
    wchar_t shown[32] = {};
    GetWindowTextW(tavrix->window(), shown, 32);
    EXPECT_EQ(std::wstring(shown), L"\u30AB\u30FC\u30C9");

    EXPECT_EQ(tavrix->put_Caption(nullptr), S_OK);
    Bstr caption(u"x");
    EXPECT_EQ(tavrix->get_Caption(caption.out()), S_OK);
    EXPECT_EQ(caption.get(), nullptr);
    EXPECT_EQ(GetWindowTextLengthW(tavrix->window()), 0);
}

TEST_F(Form, ColorIsHeldAsGivenAndPainted)
{
    EXPECT_EQ(PaintedPixel(), GetSysColor(COLOR_BTNFACE));
    const struct {
        OLE_COLOR color;
        COLORREF painted;
    } cases[] = {{0x8000000F, GetSysColor(COLOR_BTNFACE)},
                 {0x00123456, RGB(0x56, 0x34, 0x12)},
                 {0x80000005, GetSysColor(COLOR_WINDOW)}};
    for (const auto& c : cases) {
        EXPECT_EQ(tavrix->put_Color(c.color), S_OK);
        OLE_COLOR read = 0;
        tavrix->get_Color(&read);
        EXPECT_EQ(read, c.color);
        EXPECT_EQ(PaintedPixel(), c.painted) << std::hex << c.color;
    }
}

TEST_F(Form, BorderStyleSetsTheWindowStyles)
{
    const struct {
        int style;
        DWORD windowStyle, exStyle;
    } cases[] = {{afbNone, 0, 0},
                 {afbSunken, 0, WS_EX_CLIENTEDGE},
                 {afbRaised, WS_DLGFRAME, WS_EX_WINDOWEDGE},
                 {7, 0, 0},
                 {afbSingle, WS_BORDER, 0}};
    for (const auto& c : cases) {
        ASSERT_EQ(tavrix->put_AxBorderStyle(static_cast<TxActiveFormBorderStyle>(c.style)), S_OK);
        HWND window = tavrix->window();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & (WS_BORDER | WS_DLGFRAME), static_cast<LONG>(c.windowStyle))
            << c.style;
        EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE),
                  static_cast<LONG>(c.exStyle))
            << c.style;
        EXPECT_EQ(GetParent(window), container) << "rebuilt where it stood";
        RECT client, outer;
        GetClientRect(window, &client);
        GetWindowRect(window, &outer);
        EXPECT_EQ(client.right == outer.right - outer.left, c.windowStyle == 0 && c.exStyle == 0)
            << "no border is drawn only without border styles: " << c.style;
    }
}

TEST_F(Form, VisibleAndEnabledDriveTheWindow)
{
    tavrix->put_Visible(VARIANT_TRUE);
    EXPECT_TRUE(IsWindowVisible(tavrix->window()));
    tavrix->put_Enabled(VARIANT_FALSE);
    EXPECT_FALSE(IsWindowEnabled(tavrix->window()));
    tavrix->put_Visible(VARIANT_FALSE);
    EXPECT_FALSE(IsWindowVisible(tavrix->window()));
    tavrix->put_Enabled(VARIANT_TRUE);
    EXPECT_TRUE(IsWindowEnabled(tavrix->window()));
}

ComPtr<IFont> NewFont(LONGLONG cy)
{
    FONTDESC desc{sizeof(FONTDESC), const_cast<LPOLESTR>(L"Tahoma"), {}, FW_NORMAL, DEFAULT_CHARSET, FALSE, FALSE, FALSE};
    desc.cySize.int64 = cy;
    ComPtr<IFont> font;
    EXPECT_HRESULT_SUCCEEDED(OleCreateFontIndirect(&desc, IID_IFont, reinterpret_cast<void**>(font.GetAddressOf())));
    return font;
}

TEST_F(Form, FontGetGivesOneObjectWhileAttached)
{
    ComPtr<IFontDisp> first, second;
    ASSERT_EQ(tavrix->get_Font(&first), S_OK);
    ASSERT_EQ(tavrix->get_Font(&second), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    ComPtr<IFont> font;
    ASSERT_HRESULT_SUCCEEDED(first.As(&font));
    Bstr name;
    font->get_Name(name.out());
    EXPECT_EQ(name.text(), u"Tahoma");
    CY size{};
    font->get_Size(&size);
    EXPECT_NEAR(static_cast<double>(size.int64), 80000.0, 2500.0);  // Wine reports the realised 11 pixels
}

TEST_F(Form, FontPutKeepsTheContainersObject)
{
    ComPtr<IFont> font = NewFont(120000);
    ComPtr<IFontDisp> dispatch;
    ASSERT_HRESULT_SUCCEEDED(font.As(&dispatch));
    ASSERT_EQ(tavrix->put_Font(dispatch.Get()), S_OK);
    EXPECT_EQ(WindowFont().lfHeight, -16) << "12 points at 96 pixels per inch";
    ComPtr<IFontDisp> read;
    tavrix->get_Font(&read);
    EXPECT_EQ(read.Get(), dispatch.Get()) << "the object itself, not a copy";

    CY size;
    size.int64 = 150000;
    font->put_Size(size);
    EXPECT_EQ(WindowFont().lfHeight, -20) << "the object's changes reach the form without another put";

    // putref reads the reference first.
    ComPtr<IFont> other = NewFont(90000);
    ComPtr<IFontDisp> otherDispatch;
    other.As(&otherDispatch);
    IFontDisp* reference = otherDispatch.Get();
    ASSERT_EQ(tavrix->putref_Font(&reference), S_OK);
    EXPECT_EQ(WindowFont().lfHeight, -12);
}

TEST_F(Form, FontPutWithANonFontChangesNothing)
{
    ComPtr<IFontDisp> before;
    tavrix->get_Font(&before);
    const LONG height = WindowFont().lfHeight;
    ComPtr<RecordingSink> notAFont = new RecordingSink;
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(tavrix->put_Font(reinterpret_cast<IFontDisp*>(static_cast<IDispatch*>(notAFont.Get()))), E_UNEXPECTED);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    Bstr description;
    info->GetDescription(description.out());
    EXPECT_FALSE(description.text().empty());
    ComPtr<IFontDisp> after;
    tavrix->get_Font(&after);
    EXPECT_EQ(after.Get(), before.Get());
    EXPECT_EQ(WindowFont().lfHeight, height);
}

TEST_F(Form, FontPutEmptyDetachesAndTheNextGetMakesAFreshObject)
{
    ComPtr<IFont> font = NewFont(120000);
    ComPtr<IFontDisp> dispatch;
    font.As(&dispatch);
    tavrix->put_Font(dispatch.Get());
    EXPECT_EQ(tavrix->put_Font(nullptr), S_OK);
    EXPECT_EQ(WindowFont().lfHeight, -16) << "the form font stays as it was";
    ComPtr<IFontDisp> fresh;
    ASSERT_EQ(tavrix->get_Font(&fresh), S_OK);
    EXPECT_NE(fresh.Get(), dispatch.Get());
    ComPtr<IFont> freshFont;
    fresh.As(&freshFont);
    CY size{};
    freshFont->get_Size(&size);
    EXPECT_EQ(size.int64, 120000);
}

TEST_F(Form, LateBindingReachesTheSlots)
{
    LPOLESTR name = const_cast<LPOLESTR>(L"Caption");
    DISPID dispid = 0;
    ASSERT_EQ(tavrix->GetIDsOfNames(IID_NULL, &name, 1, 0, &dispid), S_OK);
    EXPECT_EQ(dispid, -518);
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(tavrix->Invoke(dispid, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
    ASSERT_EQ(V_VT(&result), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&result)), L"Tavrix");
    VariantClear(&result);

    VARIANT value;
    V_VT(&value) = VT_I4;
    V_I4(&value) = 7;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS one{&value, &put, 1, 1};
    ASSERT_EQ(tavrix->Invoke(215, IID_NULL, 0, DISPATCH_PROPERTYPUT, &one, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(GetLong(&ITavrix::get_SnapBuffer), 7) << "SnapBuffer, hidden, by DISPID";
}

// Events from real window messages.

TEST_F(Form, WindowMessagesRaiseTheirEvents)
{
    tavrix->SinkChanged(sink.Get());
    tavrix->put_Visible(VARIANT_TRUE);
    sink->calls.clear();
    HWND window = tavrix->window();

    const struct {
        const char* name;
        std::function<void()> act;
        DISPID event;
    } cases[] = {
        {"click", [&] { SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)); SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5)); }, 202},
        {"double click", [&] { SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5)); }, 204},
        {"mouse enter", [&] { SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5)); }, 208},
        {"mouse leave", [&] { SendMessageW(window, WM_MOUSELEAVE, 0, 0); }, 209},
        {"paint", [&] { RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); }, 210},
        {"activate", [&] { SetFocus(window); }, 201},
        {"deactivate", [&] { SetFocus(container); }, 206},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetActiveWindow(container);
        Pump();
        sink->calls.clear();
        c.act();
        Pump();
        ASSERT_EQ(Events(), std::vector<DISPID>{c.event});
        const RecordedInvoke& call = sink->calls[0];
        EXPECT_EQ(call.flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
        EXPECT_TRUE(call.iidIsNull);
        EXPECT_EQ(call.lcid, 0u);
        EXPECT_TRUE(call.arguments.empty());
        EXPECT_EQ(call.namedCount, 0u);
        EXPECT_TRUE(call.hasResult);
        EXPECT_TRUE(call.hasExceptionInfo);
        EXPECT_FALSE(call.hasArgumentError);
    }
}

TEST_F(Form, ActivationAndMouseTrackingShowInTheirProperties)
{
    tavrix->put_Visible(VARIANT_TRUE);
    HWND window = tavrix->window();
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(GetBool(&ITavrix::get_MouseInClient), VARIANT_TRUE);
    SendMessageW(window, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(GetBool(&ITavrix::get_MouseInClient), VARIANT_FALSE);
    SetActiveWindow(container);
    SetFocus(window);
    EXPECT_EQ(GetBool(&ITavrix::get_Active), VARIANT_TRUE);
    SetFocus(container);
    EXPECT_EQ(GetBool(&ITavrix::get_Active), VARIANT_FALSE);
}

TEST_F(Form, LeaveTrackingOutlivesARebuiltWindow)
{
    tavrix->SinkChanged(sink.Get());
    tavrix->put_Visible(VARIANT_TRUE);
    SetCursorPos(1200, 1000);  // far from the form: tracking soon reports the pointer gone
    SendMessageW(tavrix->window(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    tavrix->put_AxBorderStyle(afbRaised);  // a new window while the pointer counts as inside
    sink->calls.clear();
    const auto mouseEvents = [&] {
        std::vector<DISPID> events;
        for (const DISPID event : Events())
            if (event == 208 || event == 209)
                events.push_back(event);
        return events;
    };
    for (int i = 0; i < 200 && mouseEvents().empty(); ++i) {
        Sleep(10);
        Pump();
    }
    EXPECT_EQ(mouseEvents(), std::vector<DISPID>{209}) << "OnMouseLeave";
    sink->calls.clear();
    SendMessageW(tavrix->window(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(mouseEvents(), std::vector<DISPID>{208}) << "and the next OnMouseEnter";
}

TEST_F(Form, TypedCharactersGoToOnKeyPressByReference)
{
    tavrix->SinkChanged(sink.Get());
    sink->calls.clear();
    SendMessageW(tavrix->window(), WM_CHAR, L'a', 0);
    ASSERT_EQ(Events(), std::vector<DISPID>{207});
    const RecordedInvoke& call = sink->calls[0];
    EXPECT_EQ(call.flags, DISPATCH_METHOD);
    ASSERT_EQ(call.arguments.size(), 1u);
    EXPECT_EQ(call.arguments[0].type, VT_I2 | VT_BYREF);
    EXPECT_EQ(call.arguments[0].number, L'a');
    EXPECT_TRUE(call.hasResult);
    EXPECT_FALSE(call.hasArgumentError);

    // The sink's write-back is what the form goes on with; 0 discards the key.
    const struct {
        short written;
        wchar_t result;
    } cases[] = {{L'b', L'b'}, {0, 0}};
    for (const auto& c : cases) {
        sink->handler = [&](const RecordedInvoke& call, DISPPARAMS* parameters) {
            if (call.dispid == 207)
                *V_I2REF(&parameters->rgvarg[0]) = c.written;
            return S_OK;
        };
        wchar_t key = L'a';
        tavrix->KeyPress(key);
        EXPECT_EQ(key, c.result);
    }
}

TEST_F(Form, WithoutASinkNothingIsRaisedAndKeysPassUnchanged)
{
    tavrix->SinkChanged(sink.Get());
    tavrix->SinkChanged(nullptr);
    sink->calls.clear();
    tavrix->put_Visible(VARIANT_TRUE);
    HWND window = tavrix->window();
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SendMessageW(window, WM_LBUTTONUP, 0, 0);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    SendMessageW(window, WM_CHAR, L'x', 0);
    wchar_t key = L'x';
    tavrix->KeyPress(key);
    EXPECT_EQ(key, L'x');
    EXPECT_TRUE(sink->calls.empty());
}

TEST_F(Form, OnDestroyReachesTheSinkOnceWhenTheFormGoes)
{
    tavrix->SinkChanged(sink.Get());
    sink->calls.clear();
    tavrix = nullptr;
    host.Reset();
    EXPECT_EQ(Events(), std::vector<DISPID>{205});
}

TEST_F(Form, OnCreateOnlyOnTheFirstSink)
{
    ComPtr<RecordingSink> second = new RecordingSink;
    tavrix->SinkChanged(sink.Get());
    tavrix->SinkChanged(nullptr);
    tavrix->SinkChanged(second.Get());
    EXPECT_EQ(Events(), std::vector<DISPID>{203});
    EXPECT_TRUE(second->calls.empty());
}

}  // namespace
