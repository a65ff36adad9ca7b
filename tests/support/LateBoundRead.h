// Read_Card made through IDispatch::Invoke, with everything the caller gets back (tests only).
// The argument goes as a plain BSTR, which the control takes straight to the method, or by
// reference, which only the type information's generic dispatch understands: a caller must
// not be able to tell the two ways apart.
#pragma once

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <ostream>
#include <string>

#include "../../base/Bstr.h"
#include "Tavrix_h.h"

struct LateBoundOutcome {
    HRESULT status = S_OK;
    VARTYPE resultType = VT_ERROR;
    SCODE scode = 0;
    WORD code = 0;
    std::u16string source, description, helpFile;
    DWORD helpContext = 0;
    bool errorInfoLeft = false;  // GetErrorInfo still has something for the thread afterwards

    bool operator==(const LateBoundOutcome&) const = default;
};

inline void PrintTo(const LateBoundOutcome& o, std::ostream* out)
{
    const auto narrow = [](const std::u16string& text) { return std::string(text.begin(), text.end()); };
    *out << std::hex << "{status " << o.status << ", result type " << o.resultType << ", scode " << o.scode
         << ", code " << o.code << ", source '" << narrow(o.source) << "', description of " << std::dec
         << o.description.size() << " characters, help file '" << narrow(o.helpFile) << "', help context "
         << o.helpContext << ", error information left " << o.errorInfoLeft << "}";
}

inline LateBoundOutcome LateBoundRead(IDispatch* control, const std::u16string& ctype, bool byReference)
{
    Bstr text(ctype);
    BSTR value = text.get();
    VARIANTARG argument;
    VariantInit(&argument);
    if (byReference) {
        V_VT(&argument) = VT_BSTR | VT_BYREF;
        V_BSTRREF(&argument) = &value;
    } else {
        V_VT(&argument) = VT_BSTR;
        V_BSTR(&argument) = value;
    }
    DISPPARAMS parameters{&argument, nullptr, 1, 0};
    VARIANT result;
    V_VT(&result) = VT_I4;  // a caller's leftover, which a method without a result leaves alone
    V_I4(&result) = 7;
    EXCEPINFO exception{};
    UINT argumentError = 0;
    SetErrorInfo(0, nullptr);

    LateBoundOutcome outcome;
    outcome.status = control->Invoke(DISPID_Read_Card, IID_NULL, 0, DISPATCH_METHOD, &parameters, &result,
                                     &exception, &argumentError);
    outcome.resultType = V_VT(&result);
    outcome.scode = exception.scode;
    outcome.code = exception.wCode;
    outcome.source = BstrText(exception.bstrSource);
    outcome.description = BstrText(exception.bstrDescription);
    outcome.helpFile = BstrText(exception.bstrHelpFile);
    outcome.helpContext = exception.dwHelpContext;
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    Microsoft::WRL::ComPtr<IErrorInfo> left;
    outcome.errorInfoLeft = GetErrorInfo(0, &left) == S_OK;
    return outcome;
}
