#include "TTavrix.h"

#include <string>

#include "Bstr.h"
#include "FaultReporting.h"
#include "RaiseEvent.h"
#include "ReaderLibrary.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DISPID DispidOnCreate = 203, DispidOnReadData = 211;
constexpr WORD ParameterlessEventFlags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

}  // namespace

HRESULT STDMETHODCALLTYPE TTavrix::Read_Card(BSTR ctype)
{
    return ReportingGuard([&] {
        // The handler runs inside this call and may drop the last reference to the
        // control, or disconnect its sink: both stay alive until the call ends.
        const ComPtr<IUnknown> keepAlive(controller_);
        TCard_Data card;
        ReadCard(ctype ? std::u16string(reinterpret_cast<const char16_t*>(ctype), SysStringLen(ctype))
                       : std::u16string(),
                 card);
        const ComPtr<ITavrixEvents> sink = FEvents;
        if (!sink)
            return;

        std::u16string cardId, message;
        signed char error = 1;
        if (card.C_Error) {
            message = card.Err_Mes;
        } else if (!card.card_ID.empty()) {
            cardId = card.card_ID;
            error = 0;
        } else {
            message = u"カードが読み取れません";
        }
        const Bstr cardIdArgument(cardId), messageArgument(message);
        VARIANTARG arguments[3];
        V_VT(&arguments[0]) = VT_BSTR;
        V_BSTR(&arguments[0]) = messageArgument.get();
        V_VT(&arguments[1]) = VT_I1;
        V_I1(&arguments[1]) = error;
        V_VT(&arguments[2]) = VT_BSTR;
        V_BSTR(&arguments[2]) = cardIdArgument.get();
        RaiseEvent(sink.Get(), DispidOnReadData, DISPATCH_METHOD, arguments, 3);
    });
}

void TTavrix::SinkChanged(IUnknown* sink)
{
    const bool first = sinkChanges_++ == 0;
    if (!sink) {
        FEvents.Reset();
        return;
    }
    ComPtr<ITavrixEvents> events;
    Check(sink->QueryInterface(DIID_ITavrixEvents, reinterpret_cast<void**>(events.GetAddressOf())));
    FEvents = events;
    if (first)
        RaiseCreate();
}

void TTavrix::RaiseCreate()
{
    if (const ComPtr<ITavrixEvents> sink = FEvents)
        RaiseEvent(sink.Get(), DispidOnCreate, ParameterlessEventFlags, nullptr, 0);
}
