// Traces written by hand, line by line, as the tracing library writes them (TraceFormat.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace trace_text {

using nlohmann::json;

constexpr const char* Idm = "012E4C7A9B3D1108";
constexpr const char* Pmm = "03014B024F4993FF";
constexpr const char* Block = "00002160012345678901000000000000";  // the card 2160 0123 4567 8901
constexpr const char* Zeros16 = "0000000000000000";
constexpr const char* Zeros32 = "00000000000000000000000000000000";

struct Caller {
    uint64_t thread = 7;
    int level = 2;
    uint64_t process = 4242;
};

// One call's line; fields adds to the line or replaces what it has.
inline std::string Line(const char* call, uint32_t result, const json& fields = json::object(), Caller caller = {})
{
    json line = {{"format", 1}, {"time", "2026-12-11T07:00:00.123456Z"}, {"process", caller.process},
                 {"thread", caller.thread}, {"level", caller.level}, {"call", call}, {"result", result}, {"us", 15}};
    if (!fields.is_null())  // {} is null, not an empty object
        line.update(fields);
    return line.dump() + "\n";
}

inline std::string Without(const std::string& line, const char* key)
{
    json object = json::parse(line);
    object.erase(key);
    return object.dump() + "\n";
}

inline std::string Poll(uint8_t cards, const char* idm = Idm, Caller caller = {})
{
    return Line("polling_and_get_card_information", 1,
                {{"system_code", "FE00"}, {"time_slot", 0}, {"cards", cards}, {"idm", cards ? idm : Zeros16},
                 {"pmm", cards ? Pmm : Zeros16}},
                caller);
}

inline std::string BlockRead(uint8_t statusFlag1, uint8_t statusFlag2, const char* block, Caller caller = {})
{
    return Line("read_block_without_encryption", 1,
                {{"idm", Idm}, {"services", "0B11"}, {"block_list", "8000"}, {"status_flag_1", statusFlag1},
                 {"status_flag_2", statusFlag2}, {"blocks", statusFlag1 == 0 ? 1 : 0}, {"block_data", block}},
                caller);
}

inline std::string LastError(int32_t code, Caller caller = {})
{
    return Line("get_last_error_type", 1, {{"error_code", code}}, caller);
}

// The reads the control makes (reader/CardRead.cpp), each with another outcome.
inline std::string GoodRead(Caller caller = {}, const char* idm = Idm, const char* block = Block)
{
    return Line("initialize_library", 1, {}, caller) + Line("open_reader_writer_auto", 1, {}, caller) +
           Poll(1, idm, caller) + BlockRead(0, 0, block, caller) + Line("close_reader_writer", 1, {}, caller) +
           Line("dispose_library", 1, {}, caller);
}

inline std::string NoCardRead(Caller caller = {})
{
    return Line("initialize_library", 1, {}, caller) + Line("open_reader_writer_auto", 1, {}, caller) +
           Poll(0, Idm, caller) + Line("close_reader_writer", 1, {}, caller) + Line("dispose_library", 1, {}, caller);
}

inline std::string OpenFailsRead(int32_t code, Caller caller = {})
{
    return Line("initialize_library", 1, {}, caller) + Line("open_reader_writer_auto", 0, {}, caller) +
           LastError(code, caller) + Line("dispose_library", 1, {}, caller);
}

inline std::string NotReadRead(Caller caller = {})
{
    return Line("initialize_library", 1, {}, caller) + Line("open_reader_writer_auto", 1, {}, caller) +
           Poll(1, Idm, caller) + BlockRead(255, 161, Zeros32, caller) + Line("close_reader_writer", 1, {}, caller) +
           Line("dispose_library", 1, {}, caller);
}

// The blocks of a trace's table, each ending with its last line.
inline std::vector<std::string> TableBlocks(const std::string& table)
{
    std::vector<std::string> blocks;
    for (size_t start = 0; start < table.size();) {
        const size_t end = table.find("\n\n", start);
        blocks.push_back(table.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start));
        start = end == std::string::npos ? table.size() : end + 2;
    }
    return blocks;
}

}  // namespace trace_text
