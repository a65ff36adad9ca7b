#include "RaiseEvent.h"

#include <oleauto.h>

void RaiseEvent(IDispatch* sink, DISPID event, WORD flags, VARIANTARG* arguments, UINT count)
{
    DISPPARAMS parameters{arguments, nullptr, count, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    sink->Invoke(event, IID_NULL, 0, flags, &parameters, &result, &exception, nullptr);
    VariantClear(&result);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
}
