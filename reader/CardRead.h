// One complete read of one FeliCa card.
#pragma once

#include <string_view>

#include "CardData.h"
#include "ReaderEntryPoints.h"

// Makes sure the reader library is bound and gives its entry points as they then stand.
using ReaderBinder = ReaderEntryPoints (*)();

// Binds the library, starts it, opens the reader/writer, polls once, reads block 0 of
// the service chosen by ctype ("EDY" or any other), closes and ends the library.
// Failures of the card or the reader end in card.C_Error and card.Err_Mes; only an
// incomplete binding raises a Fault, before any library call and leaving card as it was.
// Reads in one process run one at a time, whatever thread they come from.
void ReadCard(ReaderBinder bind, std::u16string_view ctype, TCard_Data& card);
