// The outcome of one card read.
#pragma once

#include <string>

struct TCard_Data {
    bool C_Error = false;
    std::u16string Err_Mes;
    std::u16string IDm;      // 8 characters, one per IDm byte
    std::u16string card_ID;  // the card number formed from block 0
};
