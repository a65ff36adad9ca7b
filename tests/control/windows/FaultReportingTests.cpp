// The fault rules: ReportFault with error information, HandleFault without.
#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <functional>
#include <stdexcept>

#include "../../../control/Bstr.h"
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

TEST(FaultReporting, GuardsPassSuccessThrough)
{
    EXPECT_EQ(ReportingGuard([] {}), S_OK);
    EXPECT_EQ(HandlingGuard([] { return S_FALSE; }), S_FALSE);
}

}  // namespace
