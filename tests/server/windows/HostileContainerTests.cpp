// A container that does something disruptive inside the control's events: in one event,
// once, one thing any container may do (close the control, take its site away, deactivate
// it, rebuild its window, replace its font, disconnect, read again, let go of it). The
// control must survive each: no crash, no hang, the raising call returns, and the
// container can still tear it down until the library may be unloaded.
//
// Every (event, action) cell runs in a child process of its own (this program again, with
// --case), so that a crash or a hang is one failed cell and the others still run.
#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../../../base/Bstr.h"
#include "../../support/CrashGuard.h"
#include "../../support/RecordingSink.h"
#include "../../support/ServerLibrary.h"
#include "../../support/SimulatorDll.h"
#include "../../support/TestContainer.h"

using Microsoft::WRL::ComPtr;

namespace {

const struct {
    const char* name;
    DISPID dispid;
} Events[] = {
    {"OnClick", 202}, {"OnDblClick", 204}, {"OnKeyPress", 207},  {"OnPaint", 210},
    {"OnActivate", 201}, {"OnMouseEnter", 208}, {"On_ReadData", 211}, {"OnDestroy", 205},
};

const char* const Actions[] = {
    "Close", "ClearSite", "InPlaceDeactivate", "RebuildWindow", "ReplaceFont", "Unadvise", "ReadCard",
    "ReleaseAll",               // every reference the container holds, the site left set
    "ClearSiteAndReleaseAll",   // the same after SetClientSite(nullptr)
};

constexpr DWORD CaseTimeout = 20000;
constexpr DWORD CheckFailed = 1;

// The child: one container, one event, one action.

bool failed = false;

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::printf("FAIL: %s\n", what);
        failed = true;
    }
}

void Stage(const char* what) { std::printf("-- %s\n", what); }

void Pump()
{
    MSG message;
    for (int i = 0; i < 10000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i)
        DispatchMessageW(&message);
}

LRESULT CALLBACK FrameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

struct Container {
    HWND frame = nullptr;
    CallLog log;
    ComPtr<InPlaceTestSite> site;
    ComPtr<RecordingSink> sink;
    // The container's references to the control.
    ComPtr<IOleObject> control;
    ComPtr<IOleInPlaceObject> inPlace;
    ComPtr<ITavrix> tavrix;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    std::vector<HWND> formWindows;  // every window the form was seen with

    HWND Form()
    {
        HWND window = nullptr;
        if (inPlace)
            inPlace->GetWindow(&window);
        if (window)
            formWindows.push_back(window);
        return window;
    }
};

bool SetUp(Container& c)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = FrameProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"HostileContainerFrame";
    RegisterClassW(&windowClass);
    // Away from the middle of the screen, where the pointer rests, so that no real mouse
    // move reaches the form first.
    c.frame = CreateWindowW(L"HostileContainerFrame", L"Hostile container", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                            400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    Check(c.frame != nullptr, "the frame window is made");
    SetForegroundWindow(c.frame);
    SetActiveWindow(c.frame);

    c.control = ServerLibrary::Create<IOleObject>();
    Check(c.control != nullptr, "the control is made");
    if (!c.control)
        return false;
    c.control.As(&c.inPlace);
    c.control.As(&c.tavrix);
    c.site = new InPlaceTestSite(c.log, c.frame);
    c.site->offersSimpleFrameSite = true;  // so that the control filters its messages through the site
    c.sink = new RecordingSink;
    Check(c.control->SetClientSite(c.site->ClientSite()) == S_OK, "SetClientSite");
    ComPtr<IConnectionPointContainer> points;
    c.control.As(&points);
    points->FindConnectionPoint(DIID_ITavrixEvents, &c.point);
    Check(c.point && c.point->Advise(static_cast<ITavrixEvents*>(c.sink.Get()), &c.cookie) == S_OK, "Advise");
    Check(c.control->DoVerb(OLEIVERB_SHOW, nullptr, c.site->ClientSite(), 0, c.frame, nullptr) == S_OK,
          "DoVerb(OLEIVERB_SHOW)");
    Pump();
    const HWND form = c.Form();
    Check(form && GetParent(form) == c.frame && IsWindowVisible(form), "the form is in place and visible");
    Check(GetFocus() == form, "the form has the focus");
    return !failed;
}

// What must hold before the event can be raised through its real path.
void Prepare(Container& c, const std::string& event)
{
    if (event == "OnActivate") {
        // Active forms raise nothing more: take the focus and the UI activation away first.
        c.inPlace->UIDeactivate();
        SetFocus(c.frame);
        Pump();
        Check(GetFocus() == c.frame, "the focus left the form");
    } else if (event == "OnMouseEnter") {
        SendMessageW(c.Form(), WM_MOUSELEAVE, 0, 0);
    }
}

HRESULT Raise(Container& c, const std::string& event)
{
    const HWND form = c.Form();
    const LPARAM at = MAKELPARAM(5, 5);
    if (event == "OnClick") {
        SendMessageW(form, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(form, WM_LBUTTONUP, 0, at);
    } else if (event == "OnDblClick") {
        SendMessageW(form, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    } else if (event == "OnKeyPress") {
        SendMessageW(form, WM_CHAR, L'a', 1);
    } else if (event == "OnPaint") {
        InvalidateRect(form, nullptr, TRUE);
        UpdateWindow(form);
    } else if (event == "OnActivate") {
        return c.control->DoVerb(OLEIVERB_UIACTIVATE, nullptr, c.site->ClientSite(), 0, c.frame, nullptr);
    } else if (event == "OnMouseEnter") {
        SendMessageW(form, WM_MOUSEMOVE, 0, at);
    } else if (event == "On_ReadData") {
        const Bstr ctype(u"EDY");
        return c.tavrix->Read_Card(ctype.get());
    } else if (event == "OnDestroy") {
        return c.control->Close(OLECLOSE_NOSAVE);
    }
    return S_OK;
}

HRESULT Act(Container& c, const std::string& action)
{
    if (action == "Close")
        return c.control->Close(OLECLOSE_NOSAVE);
    if (action == "ClearSite")
        return c.control->SetClientSite(nullptr);
    if (action == "InPlaceDeactivate")
        return c.inPlace->InPlaceDeactivate();
    if (action == "RebuildWindow")
        return c.tavrix->put_AxBorderStyle(afbSunken);  // from afbSingle
    if (action == "ReplaceFont") {
        FONTDESC description{sizeof description, const_cast<LPOLESTR>(L"Tahoma"), {}, FW_BOLD, DEFAULT_CHARSET,
                             FALSE, FALSE, FALSE};
        description.cySize.int64 = 14 * 10000;
        ComPtr<IFontDisp> font;
        if (FAILED(OleCreateFontIndirect(&description, IID_IFontDisp, reinterpret_cast<void**>(font.GetAddressOf()))))
            return E_UNEXPECTED;
        IFontDisp* reference = font.Get();
        return c.tavrix->putref_Font(&reference);
    }
    if (action == "Unadvise") {
        const HRESULT result = c.point->Unadvise(c.cookie);
        c.cookie = 0;
        return result;
    }
    if (action == "ReadCard") {
        const Bstr ctype(u"EDY");
        return c.tavrix->Read_Card(ctype.get());
    }
    if (action == "ClearSiteAndReleaseAll")
        c.control->SetClientSite(nullptr);
    c.point.Reset();
    c.tavrix.Reset();
    c.inPlace.Reset();
    c.control.Reset();
    return S_OK;
}

int RunCase(const std::string& event, const std::string& action)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    CrashGuard::Install();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    DISPID dispid = 0;
    for (const auto& e : Events)
        if (event == e.name)
            dispid = e.dispid;
    Check(dispid != 0, "the event is known");

    Container c;
    Stage("set up");
    if (!SetUp(c))
        return CheckFailed;
    Prepare(c, event);

    bool armed = true;
    int handled = 0;
    HRESULT acted = E_PENDING;
    c.sink->handler = [&](const RecordedInvoke& call, DISPPARAMS*) -> HRESULT {
        if (!armed || call.dispid != dispid)
            return S_OK;
        armed = false;
        ++handled;
        Stage(("action " + action + " inside " + event).c_str());
        acted = Act(c, action);
        c.Form();
        return S_OK;
    };

    Stage(("raise " + event).c_str());
    const HRESULT raised = Raise(c, event);
    std::printf("-- the raising call returned 0x%08lx; the action returned 0x%08lx\n",
                static_cast<unsigned long>(raised), static_cast<unsigned long>(acted));
    Stage("pump");
    Pump();
    Check(handled == 1, "the handler ran once, inside the event");

    Stage("tear down");
    c.sink->handler = nullptr;
    if (c.control) {
        c.Form();
        if (c.cookie)
            Check(c.point->Unadvise(c.cookie) == S_OK, "the container's Unadvise");
        Check(SUCCEEDED(c.control->Close(OLECLOSE_NOSAVE)), "the container's Close");
        Check(c.control->SetClientSite(nullptr) == S_OK, "the container's SetClientSite(nullptr)");
        c.point.Reset();
        c.tavrix.Reset();
        c.inPlace.Reset();
        c.control.Reset();
    }
    Pump();
    Check(ReferencesOf(c.site.Get()) == 1 && ReferencesOf(c.site->base_.Get()) == 1, "the control let go of its site");
    c.site.Reset();
    c.sink.Reset();
    DestroyWindow(c.frame);
    Pump();
    bool windowsGone = true;
    for (HWND window : c.formWindows)
        windowsGone = windowsGone && !IsWindow(window);
    Check(windowsGone, "every window of the form is destroyed");
    Check(ServerLibrary::CanUnloadNow() == S_OK, "DllCanUnloadNow answers S_OK");
    Stage("end");
    CoUninitialize();
    return failed ? CheckFailed : 0;
}

// The parent: every cell in a child of its own.

std::string Verdict(DWORD exitCode)
{
    switch (exitCode) {
    case 0: return "pass";
    case CheckFailed: return "a check failed";
    case CrashGuard::ExitCode: return "crash";
    case ~0u: return "hang (ended after " + std::to_string(CaseTimeout / 1000) + " s)";
    default: return "ended with exit code " + std::to_string(exitCode);
    }
}

TEST(HostileContainer, EveryEventSurvivesEveryAction)
{
    std::filesystem::remove_all(ReaderLibraryPaths[1]);
    InstallSimulator(ReaderLibraryPaths[0]);
    // Under Wine, freed heap blocks are then filled with a pattern and checked: a use of
    // the control after it is gone faults at once instead of reading stale values.
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all,warn+heap");
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::string summary;
    for (const auto& event : Events) {
        for (const char* action : Actions) {
            const std::string cell = std::string(event.name) + " x " + action;
            const ChildResult child = RunChild(L"\"" + std::wstring(self) + L"\" --case " +
                                                   std::wstring(event.name, event.name + strlen(event.name)) + L" " +
                                                   std::wstring(action, action + strlen(action)),
                                               CaseTimeout);
            const bool heapDamage = child.output.find(":heap:") != std::string::npos;
            const std::string verdict = Verdict(child.exitCode) + (heapDamage ? ", heap damage reported" : "");
            summary += cell + ": " + verdict + "\n";
            EXPECT_TRUE(child.exitCode == 0 && !heapDamage) << cell << ": " << verdict << "\n" << child.output;
        }
    }
    std::printf("%s", summary.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--case") {
        // Unbuffered: a case that hangs is ended from outside, and its last stage must still show.
        std::setvbuf(stdout, nullptr, _IONBF, 0);
        return RunCase(argv[2], argv[3]);
    }
    CrashGuard::Install();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
