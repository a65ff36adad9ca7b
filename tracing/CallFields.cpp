#include "CallFields.h"

#include "TraceFormat.h"

namespace {

void Idm(TraceFields& fields, int level, const uint8_t* idm)
{
    if (!idm)
        return;
    if (level >= 2)
        fields.Hex(trace_format::Idm, idm, 8);
    else
        fields.Hex(trace_format::Idm, idm, 8, IdmKeptFrom, IdmKept);
}

void Bytes(TraceFields& fields, const char* key, const uint8_t* bytes, size_t count)
{
    if (bytes)
        fields.Hex(key, bytes, count);
}

void Byte(TraceFields& fields, const char* key, const uint8_t* value)
{
    if (value)
        fields.Unsigned(key, *value);
}

}  // namespace

TraceFields PollInputs(const TPolling_Param* polling)
{
    TraceFields fields;
    if (polling) {
        Bytes(fields, trace_format::SystemCode, polling->system_code, 2);
        fields.Unsigned(trace_format::TimeSlot, polling->time_slot);
    }
    return fields;
}

void AddPollOutputs(TraceFields& fields, int level, const uint8_t* numberOfCards, const TCard_Info* cardInfo)
{
    Byte(fields, trace_format::Cards, numberOfCards);
    if (cardInfo) {
        Idm(fields, level, cardInfo->card_idm);
        Bytes(fields, trace_format::Pmm, cardInfo->card_pmm, 8);
    }
}

TraceFields ReadInputs(int level, const TRead_Param* read)
{
    TraceFields fields;
    if (read) {
        Idm(fields, level, read->card_idm);
        Bytes(fields, trace_format::Services, read->service_code_list, 2u * read->number_of_services);
        Bytes(fields, trace_format::BlockList, read->block_list, 2u * read->number_of_blocks);
    }
    return fields;
}

void AddReadOutputs(TraceFields& fields, int level, const TRead_Result* result)
{
    if (!result)
        return;
    Byte(fields, trace_format::StatusFlag1, result->status_flag_1);
    Byte(fields, trace_format::StatusFlag2, result->status_flag_2);
    Byte(fields, trace_format::Blocks, result->result_number_of_blocks);
    if (!result->block_data)
        return;
    if (level >= 2)
        fields.Hex(trace_format::BlockData, result->block_data, 16);
    else
        fields.Hex(trace_format::BlockData, result->block_data, 16, BlockKeptFrom, BlockKept);
}

void AddErrorCode(TraceFields& fields, const int32_t* errorCode)
{
    if (errorCode)
        fields.Number(trace_format::ErrorCode, *errorCode);
}
