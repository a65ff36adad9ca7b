// An event sink that records every Invoke it receives with its full shape, and can run
// a handler inside the call (tests only).
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "../../base/ComObject.h"
#include "Tavrix_h.h"

struct RecordedArgument {
    VARTYPE type = VT_EMPTY;
    bool nullBstr = false;
    std::u16string text;  // VT_BSTR, full length
    LONGLONG number = 0;  // integers; for VT_I2 | VT_BYREF the value pointed at
};

struct RecordedInvoke {
    DISPID dispid = 0;
    bool iidIsNull = false;
    LCID lcid = ~0u;
    WORD flags = 0;
    UINT namedCount = 0;
    bool hasResult = false, hasExceptionInfo = false, hasArgumentError = false;
    std::vector<RecordedArgument> arguments;  // as they stand in DISPPARAMS
};

class RecordingSink final : public ComObject<ITavrixEvents, &IID_IDispatch> {
public:
    std::vector<RecordedInvoke> calls;
    // Runs inside Invoke, after recording; its result is what Invoke returns.
    std::function<HRESULT(const RecordedInvoke&, DISPPARAMS*)> handler;
    bool answersEventsInterface = true;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (ComObject::QueryInterface(iid, object) == S_OK ||
            (answersEventsInterface && Answer(iid, DIID_ITavrixEvents, object)))
            return S_OK;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override
    {
        RecordedInvoke call;
        call.dispid = dispid;
        call.iidIsNull = IsEqualIID(iid, IID_NULL);
        call.lcid = lcid;
        call.flags = flags;
        call.hasResult = result != nullptr;
        call.hasExceptionInfo = exception != nullptr;
        call.hasArgumentError = argumentError != nullptr;
        if (parameters) {
            call.namedCount = parameters->cNamedArgs;
            for (UINT i = 0; i < parameters->cArgs; ++i) {
                const VARIANTARG& v = parameters->rgvarg[i];
                RecordedArgument a;
                a.type = V_VT(&v);
                if (V_VT(&v) == VT_BSTR) {
                    a.nullBstr = V_BSTR(&v) == nullptr;
                    if (V_BSTR(&v))
                        a.text.assign(reinterpret_cast<const char16_t*>(V_BSTR(&v)), SysStringLen(V_BSTR(&v)));
                } else if (V_VT(&v) == VT_I1) {
                    a.number = V_I1(&v);
                } else if (V_VT(&v) == (VT_I2 | VT_BYREF)) {
                    a.number = *V_I2REF(&v);
                }
                call.arguments.push_back(a);
            }
        }
        calls.push_back(call);
        return handler ? handler(call, parameters) : S_OK;
    }
};
