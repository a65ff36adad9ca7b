// Turns the reader library's last error code into the message of a failed read.
#pragma once

#include <cstdint>
#include <string>

#include "CardData.h"
#include "ReaderEntryPoints.h"

constexpr int32_t FirstReaderErrorCode = 1000;
constexpr int32_t LastReaderErrorCode = 1097;

// A library that reports no code at all is taken to have failed for an undefined reason.
constexpr int32_t UnreportedReaderErrorCode = 1001;

// The fixed text for codes 1000 to 1097, "Error Code=<decimal>" for any other code.
std::u16string ReaderErrorMessage(int32_t code);

// Asks the library for its last error; sets C_Error and replaces Err_Mes.
void SetLastReaderError(const ReaderEntryPoints& library, TCard_Data& card);
