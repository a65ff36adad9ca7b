// The calling contract with the FeliCa reader library: its argument records and
// its seven entry points. No Windows header here: the read sequence that uses this
// table also builds natively, where a scripted stand-in fills the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#if defined(_WIN32) && defined(__i386__)
#define READER_CALL __cdecl
#else
#define READER_CALL
#endif

// Padding bytes are never written: the library reads only the named fields.
struct TPolling_Param {
    uint8_t* system_code;  // 2 bytes, high byte first
    uint8_t time_slot;
};

struct TCard_Info {
    uint8_t* card_idm;  // 8 bytes, written by the poll
    uint8_t* card_pmm;  // 8 bytes, written by the poll
};

struct TRead_Param {
    uint8_t* card_idm;
    uint8_t number_of_services;
    uint8_t* service_code_list;  // 2 bytes per service, low byte first
    uint8_t number_of_blocks;
    uint8_t* block_list;  // 2 bytes per block list element
};

struct TRead_Result {
    uint8_t* status_flag_1;  // zero: the block was read
    uint8_t* status_flag_2;
    uint8_t* result_number_of_blocks;
    uint8_t* block_data;  // 16 bytes per block
};

#if UINTPTR_MAX == 0xFFFFFFFFu
// The library is a 32-bit component: these offsets are its interface.
static_assert(sizeof(TPolling_Param) == 8 && offsetof(TPolling_Param, time_slot) == 4);
static_assert(sizeof(TCard_Info) == 8 && offsetof(TCard_Info, card_pmm) == 4);
static_assert(sizeof(TRead_Param) == 20 && offsetof(TRead_Param, number_of_services) == 4 &&
              offsetof(TRead_Param, service_code_list) == 8 &&
              offsetof(TRead_Param, number_of_blocks) == 12 && offsetof(TRead_Param, block_list) == 16);
static_assert(sizeof(TRead_Result) == 16 && offsetof(TRead_Result, status_flag_2) == 4 &&
              offsetof(TRead_Result, result_number_of_blocks) == 8 &&
              offsetof(TRead_Result, block_data) == 12);
#else
// A 64-bit library takes the same records in the natural layout of 64-bit Windows.
static_assert(sizeof(TPolling_Param) == 16 && offsetof(TPolling_Param, time_slot) == 8);
static_assert(sizeof(TCard_Info) == 16 && offsetof(TCard_Info, card_pmm) == 8);
static_assert(sizeof(TRead_Param) == 40 && offsetof(TRead_Param, number_of_services) == 8 &&
              offsetof(TRead_Param, service_code_list) == 16 &&
              offsetof(TRead_Param, number_of_blocks) == 24 && offsetof(TRead_Param, block_list) == 32);
static_assert(sizeof(TRead_Result) == 32 && offsetof(TRead_Result, status_flag_2) == 8 &&
              offsetof(TRead_Result, result_number_of_blocks) == 16 &&
              offsetof(TRead_Result, block_data) == 24);
#endif

using ReaderResult = uint32_t;  // zero: failure

// The seven entry points, by the names the library exports, in the order of the members below.
constexpr const char* ReaderEntryPointNames[] = {
    "initialize_library", "dispose_library", "open_reader_writer_auto", "close_reader_writer",
    "polling_and_get_card_information", "read_block_without_encryption", "get_last_error_type",
};

struct ReaderEntryPoints {
    ReaderResult(READER_CALL* initialize_library)() = nullptr;
    ReaderResult(READER_CALL* dispose_library)() = nullptr;
    ReaderResult(READER_CALL* open_reader_writer_auto)() = nullptr;
    ReaderResult(READER_CALL* close_reader_writer)() = nullptr;
    ReaderResult(READER_CALL* polling_and_get_card_information)(TPolling_Param* polling,
                                                                uint8_t* number_of_cards,
                                                                TCard_Info* card_info) = nullptr;
    ReaderResult(READER_CALL* read_block_without_encryption)(TRead_Param* read,
                                                             TRead_Result* result) = nullptr;
    ReaderResult(READER_CALL* get_last_error_type)(int32_t* error_code) = nullptr;

    // Hands each member to visit with the name it is exported by, so that a binding takes
    // the names from the one list above rather than spelling them again.
    template <typename Visit>
    void ForEach(Visit&& visit)
    {
        visit(ReaderEntryPointNames[0], initialize_library);
        visit(ReaderEntryPointNames[1], dispose_library);
        visit(ReaderEntryPointNames[2], open_reader_writer_auto);
        visit(ReaderEntryPointNames[3], close_reader_writer);
        visit(ReaderEntryPointNames[4], polling_and_get_card_information);
        visit(ReaderEntryPointNames[5], read_block_without_encryption);
        visit(ReaderEntryPointNames[6], get_last_error_type);
    }

    bool complete() const
    {
        return initialize_library && dispose_library && open_reader_writer_auto && close_reader_writer &&
               polling_and_get_card_information && read_block_without_encryption && get_last_error_type;
    }
};
static_assert(std::size(ReaderEntryPointNames) == 7, "one name per member of ReaderEntryPoints");
