#include "ReadDataSink.h"

#include <utility>

#include "Bstr.h"
#include "ErrorReporting.h"
#include "Tavrix_h.h"
#include "Variant.h"

namespace {

// One argument as the given type, whatever type the control passed it as (by reference too).
VARIANT* Converted(Variant& into, VARIANTARG& argument, VARTYPE type, UINT position, UINT* argumentError)
{
    const HRESULT status = VariantChangeType(into.get(), &argument, 0, type);
    if (FAILED(status)) {
        if (argumentError)
            *argumentError = position;
        throw PlatformFault(DISP_E_TYPEMISMATCH, u"On_ReadData argument of another type");
    }
    return into.get();
}

std::u16string Text(VARIANTARG& argument, UINT position, UINT* argumentError)
{
    // The plain form keeps its full length: card numbers of other card types hold U+0000.
    if (V_VT(&argument) == VT_BSTR)
        return BstrText(V_BSTR(&argument));
    if (V_VT(&argument) == (VT_BSTR | VT_BYREF))
        return BstrText(*V_BSTRREF(&argument));
    Variant text;
    return BstrText(V_BSTR(Converted(text, argument, VT_BSTR, position, argumentError)));
}

int32_t Number(VARIANTARG& argument, UINT position, UINT* argumentError)
{
    if (V_VT(&argument) == VT_I1)
        return V_I1(&argument);
    Variant number;
    return V_I4(Converted(number, argument, VT_I4, position, argumentError));
}

}  // namespace

HRESULT ReadDataSink::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (ComObject::QueryInterface(iid, object) == S_OK || Answer(iid, DIID_ITavrixEvents, object))
        return S_OK;
    return E_NOINTERFACE;
}

HRESULT ReadDataSink::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT ReadDataSink::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT ReadDataSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return DISP_E_UNKNOWNNAME; }

HRESULT ReadDataSink::Invoke(DISPID dispid, REFIID iid, LCID, WORD, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                             UINT* argumentError)
{
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    // The form's own events (activation, painting, keys) say nothing about a read; nor does an
    // On_ReadData outside one, or a second one inside it.
    if (dispid != DISPID_On_ReadData || !expecting_ || taken_)
        return S_OK;
    return StatusGuard([&] {
        if (!parameters || parameters->cArgs != 3)
            return DISP_E_BADPARAMCOUNT;
        if (parameters->cNamedArgs != 0)
            return DISP_E_NONAMEDARGS;
        // Reversed, as COM passes them: Message, Error, card_ID.
        ReadResult result;
        result.message = Text(parameters->rgvarg[0], 0, argumentError);
        result.errorCode = Number(parameters->rgvarg[1], 1, argumentError);
        result.cardId = Text(parameters->rgvarg[2], 2, argumentError);
        taken_ = std::move(result);
        return S_OK;
    });
}

void ReadDataSink::Expect()
{
    taken_.reset();
    expecting_ = true;
}

std::optional<ReadResult> ReadDataSink::Take()
{
    expecting_ = false;
    return std::exchange(taken_, std::nullopt);
}
