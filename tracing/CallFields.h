// What a call's line says of the records passed to it (TraceFormat.h): the inputs, taken before
// the call, and what the caller's variables hold after it. A null pointer leaves its field out:
// the call goes on to the library as it came, and the tracing must not be what faults on it.
#pragma once

#include <cstddef>

#include "../reader/ReaderEntryPoints.h"
#include "TraceLine.h"

// Level 1 keeps of the IDm its last two bytes, and of the block only bytes 8 and 9: enough to
// tell cards apart in a trace, never enough to name one.
constexpr size_t IdmKeptFrom = 6, IdmKept = 2;
constexpr size_t BlockKeptFrom = 8, BlockKept = 2;

TraceFields PollInputs(const TPolling_Param* polling);
void AddPollOutputs(TraceFields& fields, int level, const uint8_t* numberOfCards, const TCard_Info* cardInfo);

TraceFields ReadInputs(int level, const TRead_Param* read);
void AddReadOutputs(TraceFields& fields, int level, const TRead_Result* result);

void AddErrorCode(TraceFields& fields, const int32_t* errorCode);
