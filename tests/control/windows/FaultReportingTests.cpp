// The fault rules: ReportFault with error information, HandleFault without.
#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <thread>
#include <stdexcept>

#include "../../../base/Bstr.h"
#include "FaultReporting.h"
#include "Tavrix_h.h"

using Microsoft::WRL::ComPtr;

namespace {

struct Raised {
    const char* name;
    std::function<void()> raise;
    HRESULT reported;       // ReportFault
    HRESULT handled;        // HandleFault
    std::u16string description;
    bool hasDescription;
    DWORD helpContext;
};

TEST(FaultReporting, EachKindOfFault)
{
    const Raised cases[] = {
        {"ordinary", [] { throw Fault(u"読み込めません", 42); }, E_UNEXPECTED, E_UNEXPECTED, u"読み込めません", true, 42},
        {"platform call", [] { throw PlatformFault(E_OUTOFMEMORY, u"out of memory"); }, E_OUTOFMEMORY,
         E_OUTOFMEMORY, u"out of memory", true, 0},
        {"explicit status", [] { throw PlatformFault(DV_E_DVASPECT, u"aspect"); }, DV_E_DVASPECT, DV_E_DVASPECT,
         u"aspect", true, 0},
        {"positive status is none", [] { throw PlatformFault(1, u"odd"); }, E_UNEXPECTED, E_UNEXPECTED, u"odd",
         true, 0},
        {"silent abort", [] { throw AbortFault(); }, static_cast<HRESULT>(0xA0004004), E_UNEXPECTED,
         u"Operation aborted", true, 0},
        {"empty message", [] { throw Fault(u""); }, E_UNEXPECTED, E_UNEXPECTED, u"", false, 0},
        {"foreign exception", [] { throw std::runtime_error("x"); }, E_UNEXPECTED, E_UNEXPECTED, u"", false,
         static_cast<DWORD>(-1)},
        {"checked platform status", [] { Check(E_ACCESSDENIED); }, E_ACCESSDENIED, E_ACCESSDENIED, u"", true, 0},
    };
    for (const Raised& c : cases) {
        SCOPED_TRACE(c.name);
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(HandlingGuard([&]() -> HRESULT {
                      c.raise();
                      return S_OK;
                  }),
                  c.handled);
        ComPtr<IErrorInfo> none;
        EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE) << "HandleFault sets no error information";

        EXPECT_EQ(ReportingGuard(c.raise), c.reported);
        ComPtr<IErrorInfo> info;
        ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
        GUID guid{};
        info->GetGUID(&guid);
        EXPECT_TRUE(IsEqualGUID(guid, IID_ITavrix));
        Bstr source, description, helpFile;
        info->GetSource(source.out());
        EXPECT_EQ(source.text(), u"Tavrix.Tavrix");
        info->GetDescription(description.out());
        if (c.description.empty() && c.hasDescription) {
            EXPECT_FALSE(description.text().empty()) << "the platform's wording";
        } else {
            EXPECT_EQ(description.text(), c.description);
        }
        EXPECT_EQ(description.get() != nullptr, c.hasDescription);
        info->GetHelpFile(helpFile.out());
        EXPECT_EQ(helpFile.get(), nullptr);
        DWORD helpContext = 7;
        info->GetHelpContext(&helpContext);
        EXPECT_EQ(helpContext, c.helpContext);
    }
}

// Reads the message box a fault shows on this thread, from another thread, and closes it.
struct ShownBox {
    std::wstring text, caption;
};

BOOL CALLBACK FindBox(HWND window, LPARAM found)
{
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (std::wstring(name) == L"#32770" && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK ReadText(HWND child, LPARAM box)
{
    wchar_t name[16] = {}, text[256] = {};
    GetClassNameW(child, name, 16);
    GetWindowTextW(child, text, 256);
    if (_wcsicmp(name, L"Static") == 0 && text[0])
        reinterpret_cast<ShownBox*>(box)->text = text;
    return TRUE;
}

ShownBox Shown(const std::u16string& message)
{
    ShownBox box;
    const DWORD thread = GetCurrentThreadId();
    std::thread reader([&] {
        for (int tries = 0; tries < 500; ++tries) {
            HWND found = nullptr;
            EnumThreadWindows(thread, FindBox, reinterpret_cast<LPARAM>(&found));
            if (found) {
                wchar_t caption[64] = {};
                GetWindowTextW(found, caption, 64);
                box.caption = caption;
                EnumChildWindows(found, ReadText, reinterpret_cast<LPARAM>(&box));
                PostMessageW(found, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(10);
        }
    });
    ShowFault(std::make_exception_ptr(Fault(message)));
    reader.join();
    return box;
}

TEST(FaultReporting, AFaultInAWindowMessageIsShownInABox)
{
    const struct {
        std::u16string message;
        std::wstring shown;
    } cases[] = {{u"abc", L"abc."}, {u"abc!", L"abc!"}};
    for (const auto& c : cases) {
        const ShownBox box = Shown(c.message);
        EXPECT_EQ(box.text, c.shown);
        EXPECT_EQ(box.caption, L"Tavrix");
    }
}

TEST(FaultReporting, GuardsPassSuccessThrough)
{
    EXPECT_EQ(ReportingGuard([] {}), S_OK);
    EXPECT_EQ(HandlingGuard([] { return S_FALSE; }), S_FALSE);
}

}  // namespace
