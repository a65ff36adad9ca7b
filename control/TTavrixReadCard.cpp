// TTavrix: the card read command, Read_Card, and its result event On_ReadData.
#include "TTavrix.h"

#include <oleauto.h>

#include <string>

#include "Bstr.h"
#include "FaultReporting.h"
#include "RaiseEvent.h"
#include "ReaderLibrary.h"

using Microsoft::WRL::ComPtr;

HRESULT STDMETHODCALLTYPE TTavrix::Read_Card(BSTR ctype)
{
    return Guard([&] {
        TCard_Data card;
        ReadCard(BstrText(ctype), card);
        // The handler may disconnect its sink: it stays until the call ends.
        const ComPtr<ITavrixEvents> sink = FEvents;
        if (!sink)
            return;

        std::u16string cardId, message;
        signed char error = 1;
        if (card.C_Error) {
            message = std::move(card.Err_Mes);
        } else if (!card.card_ID.empty()) {
            cardId = std::move(card.card_ID);
            error = 0;
        } else {
            message = u"カードが読み取れません";
        }
        const Bstr cardIdArgument(cardId), messageArgument(message);
        VARIANTARG arguments[3];  // reversed: Message, Error, card_ID
        V_VT(&arguments[0]) = VT_BSTR;
        V_BSTR(&arguments[0]) = messageArgument.get();
        V_VT(&arguments[1]) = VT_I1;
        V_I1(&arguments[1]) = error;
        V_VT(&arguments[2]) = VT_BSTR;
        V_BSTR(&arguments[2]) = cardIdArgument.get();
        RaiseEvent(sink.Get(), DISPID_On_ReadData, DISPATCH_METHOD, arguments, 3);
    });
}
