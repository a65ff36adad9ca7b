#include "Fault.h"

std::u16string FaultBoxText(const std::u16string& message)
{
    if (!message.empty() && message.back() > u'.')
        return message + u".";
    return message;
}
