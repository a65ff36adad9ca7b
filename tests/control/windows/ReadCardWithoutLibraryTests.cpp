// Read_Card in a process where the reader library is at neither path.
#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include "../../../base/Bstr.h"
#include "../../support/FormHost.h"
#include "../../support/LateBoundRead.h"
#include "../../support/RecordingSink.h"
#include "../../support/ServerLibrary.h"
#include "../../support/SimulatorDll.h"

using Microsoft::WRL::ComPtr;

namespace {

TEST(ReadCardWithoutLibrary, FailsWithErrorInformationAndNoEvent)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (const wchar_t* path : ReaderLibraryPaths)
        std::filesystem::remove_all(path);

    ComPtr<FormHost> host = new FormHost;
    ComPtr<RecordingSink> sink = new RecordingSink;
    host->form->SinkChanged(sink.Get());
    SetErrorInfo(0, nullptr);
    const Bstr ctype(u"EDY");
    EXPECT_EQ(host->form->Read_Card(ctype.get()), E_UNEXPECTED);
    ASSERT_EQ(sink->calls.size(), 1u) << "OnCreate only";
    EXPECT_EQ(LoadedReaderLibrary(), "none");

    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    GUID guid{};
    info->GetGUID(&guid);
    EXPECT_TRUE(IsEqualGUID(guid, IID_ITavrix));
    Bstr source, description;
    info->GetSource(source.out());
    info->GetDescription(description.out());
    EXPECT_EQ(source.text(), u"Tavrix.Tavrix");
    EXPECT_EQ(description.text(), u"FeliCa ライブラリ (felica.dll) を読み込めません");
}

TEST(ReadCardWithoutLibrary, LateBoundTheFailureComesAsAnExceptionWhateverTheArgumentsForm)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (const wchar_t* path : ReaderLibraryPaths)
        std::filesystem::remove_all(path);
    ComPtr<FormHost> host = new FormHost;
    ComPtr<IDispatch> control;
    ASSERT_EQ(host.As(&control), S_OK);

    const LateBoundOutcome plain = LateBoundRead(control.Get(), u"EDY", false);
    EXPECT_EQ(plain.status, DISP_E_EXCEPTION);
    EXPECT_EQ(plain.resultType, VT_I4);
    EXPECT_EQ(plain.scode, E_UNEXPECTED);
    EXPECT_EQ(plain.source, u"Tavrix.Tavrix");
    EXPECT_EQ(plain.description, u"FeliCa ライブラリ (felica.dll) を読み込めません");
    EXPECT_TRUE(plain.helpFile.empty());
    EXPECT_FALSE(plain.errorInfoLeft) << "the description moved into the exception";
    EXPECT_EQ(plain, LateBoundRead(control.Get(), u"EDY", true)) << "the generic way says the same";
}

// As an integrator's C++ program calls it: Norvane.ocx's own object, through the vtable. The
// control says S_FALSE for ITavrix in ISupportErrorInfo, so the caller asks GetErrorInfo itself.
TEST(ReadCardWithoutLibrary, EarlyBoundTheTextIsLeftForGetErrorInfo)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (const wchar_t* path : ReaderLibraryPaths)
        std::filesystem::remove_all(path);
    const ComPtr<ITavrix> control = ServerLibrary::Create<ITavrix>();
    ASSERT_TRUE(control);
    ComPtr<ISupportErrorInfo> errors;
    ASSERT_EQ(control.As(&errors), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_ITavrix), S_FALSE);

    SetErrorInfo(0, nullptr);
    const Bstr ctype(u"EDY");
    EXPECT_EQ(control->Read_Card(ctype.get()), E_UNEXPECTED);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    Bstr source, description;
    info->GetSource(source.out());
    info->GetDescription(description.out());
    EXPECT_EQ(source.text(), u"Tavrix.Tavrix");
    EXPECT_EQ(description.text(), u"FeliCa ライブラリ (felica.dll) を読み込めません");
}

}  // namespace
