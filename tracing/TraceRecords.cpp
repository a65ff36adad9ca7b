#include "TraceRecords.h"

#include <iterator>
#include <map>
#include <utility>

#include <nlohmann/json.hpp>

#include "ReaderEntryPoints.h"
#include "SimulatorScript.h"
#include "TraceFormat.h"

namespace {

using nlohmann::json;
namespace tf = trace_format;

// A record's call doubles as the simulator's entry point (the scenario a trace becomes).
constexpr bool NamesInSimulatorOrder()
{
    const std::pair<SimEntryPoint, std::string_view> expected[] = {
        {SimInitializeLibrary, "initialize_library"},
        {SimDisposeLibrary, "dispose_library"},
        {SimOpenReaderWriterAuto, "open_reader_writer_auto"},
        {SimCloseReaderWriter, "close_reader_writer"},
        {SimPollingAndGetCardInformation, "polling_and_get_card_information"},
        {SimReadBlockWithoutEncryption, "read_block_without_encryption"},
        {SimGetLastErrorType, "get_last_error_type"},
    };
    for (const auto& [call, name] : expected)
        if (ReaderEntryPointNames[call] != name)
            return false;
    return std::size(ReaderEntryPointNames) == SimEntryPointCount;
}
static_assert(NamesInSimulatorOrder());

// What is wrong with the line being read.
struct Wrong {
    std::string what;
};

std::string Quoted(const char* key) { return std::string("\"") + key + "\""; }

const json* Find(const json& object, const char* key)
{
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

const json& Required(const json& object, const char* key)
{
    const json* value = Find(object, key);
    if (!value)
        throw Wrong{"lacks " + Quoted(key)};
    return *value;
}

uint64_t Unsigned(const json& value, const char* key, uint64_t most)
{
    if (!value.is_number_unsigned() || value.get<uint64_t>() > most)
        throw Wrong{Quoted(key) + " is not a whole number from 0 to " + std::to_string(most)};
    return value.get<uint64_t>();
}

std::optional<uint8_t> OptionalByte(const json& object, const char* key)
{
    const json* value = Find(object, key);
    if (!value)
        return std::nullopt;
    return static_cast<uint8_t>(Unsigned(*value, key, 255));
}

std::string Characters(const json& value, const char* key, std::string_view allowed, size_t least, size_t most,
                       const char* what)
{
    if (!value.is_string())
        throw Wrong{Quoted(key) + " is not " + what};
    const std::string& text = value.get_ref<const std::string&>();
    if (text.size() < least || text.size() > most || text.find_first_not_of(allowed) != std::string::npos)
        throw Wrong{Quoted(key) + " is not " + what};
    return text;
}

// Hex digits, or "*" for those that level 1 masks.
std::string Hex(const json& object, const char* key, size_t digits)
{
    const json* value = Find(object, key);
    if (!value)
        return {};
    return Characters(*value, key, "0123456789ABCDEFabcdef*", digits, digits,
                      (std::to_string(digits) + " hex digits").c_str());
}

std::optional<std::string> OptionalText(const json& object, const char* key)
{
    const json* value = Find(object, key);
    if (!value)
        return std::nullopt;
    if (!value->is_string())
        throw Wrong{Quoted(key) + " is not a text"};
    return value->get<std::string>();
}

std::string Time(const json& value)
{
    return Characters(value, tf::Time, "0123456789-:.TZ+", 1, 40, "a time such as \"2026-12-11T07:00:00.123456Z\"");
}

void ReadCall(const json& object, TraceRecord& record)
{
    record.time = Time(Required(object, tf::Time));
    record.process = Unsigned(Required(object, tf::Process), tf::Process, UINT64_MAX);
    record.thread = Unsigned(Required(object, tf::Thread), tf::Thread, UINT64_MAX);
    const json& level = Required(object, tf::Level);
    if (level != 1 && level != 2)
        throw Wrong{Quoted(tf::Level) + " is neither 1 nor 2"};
    record.level = level.get<int>();

    const json& call = Required(object, tf::Call);
    record.call = 0;
    while (record.call < SimEntryPointCount && call != ReaderEntryPointNames[record.call])
        ++record.call;
    if (record.call == SimEntryPointCount)
        throw Wrong{Quoted(tf::Call) + " names no entry point of the reader library"};
    record.result = static_cast<uint32_t>(Unsigned(Required(object, tf::Result), tf::Result, UINT32_MAX));

    if (const json* us = Find(object, tf::Microseconds)) {
        if (!us->is_number() || (us->is_number_integer() && !us->is_number_unsigned()) ||
            (us->is_number_float() && !(us->get<double>() >= 0)))
            throw Wrong{Quoted(tf::Microseconds) + " is not a duration"};
        record.microseconds = us->dump();
    }
    record.cards = OptionalByte(object, tf::Cards);
    record.statusFlag1 = OptionalByte(object, tf::StatusFlag1);
    record.statusFlag2 = OptionalByte(object, tf::StatusFlag2);
    record.blocks = OptionalByte(object, tf::Blocks);
    if (const json* code = Find(object, tf::ErrorCode)) {
        const bool inRange = code->is_number_unsigned() ? code->get<uint64_t>() <= INT32_MAX
                                                        : code->is_number_integer() && code->get<int64_t>() >= INT32_MIN;
        if (!inRange)
            throw Wrong{Quoted(tf::ErrorCode) + " is not a 32-bit whole number"};
        record.errorCode = static_cast<int32_t>(code->get<int64_t>());
    }
    record.idm = Hex(object, tf::Idm, 16);
    record.pmm = Hex(object, tf::Pmm, 16);
    record.blockData = Hex(object, tf::BlockData, 32);
    record.error = OptionalText(object, tf::Error);
}

void ReadStop(const json& object, TraceRecord& record)
{
    // Only shown: a stop with a damaged time or reason still ends the trace.
    record.stopped = true;
    if (const json* time = Find(object, tf::Time); time && time->is_string())
        try {
            record.time = Time(*time);
        } catch (const Wrong&) {
        }
    if (const json* reason = Find(object, tf::Reason); reason && reason->is_string())
        record.reason = reason->get<std::string>();
}

}  // namespace

TraceRecords ReadTraceRecords(std::string_view trace, OnFault onFault)
{
    TraceRecords read;
    size_t number = 0;
    for (size_t start = 0; start < trace.size();) {
        const size_t end = trace.find('\n', start);
        const bool ended = end != std::string_view::npos;
        std::string_view line = trace.substr(start, (ended ? end : trace.size()) - start);
        start = ended ? end + 1 : trace.size();
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.find_first_not_of(" \t") == std::string_view::npos)
            continue;

        const std::string named = "line " + std::to_string(number) + ": ";
        try {
            const json object = json::parse(line.begin(), line.end(), nullptr, false);
            if (object.is_discarded()) {
                if (!ended) {
                    read.warnings.push_back(named + "cut short (the trace was still being written), passed over");
                    continue;
                }
                throw Wrong{"not JSON"};
            }
            const json* format = object.is_object() ? Find(object, tf::Format) : nullptr;
            if (!format) {
                read.warnings.push_back(named + "not a line of a trace (no " + Quoted(tf::Format) + "), passed over");
                continue;
            }
            if (!format->is_number_unsigned() || *format == 0)
                throw Wrong{Quoted(tf::Format) + " is not a format number"};
            if (*format > tf::Version)
                throw Wrong{"format " + format->dump() + ", made by a newer version of the tracing library (this one reads format " +
                            std::to_string(tf::Version) + ")"};

            TraceRecord record;
            record.line = number;
            if (const json* ends = Find(object, tf::Trace)) {
                if (*ends != tf::Stopped)
                    throw Wrong{Quoted(tf::Trace) + " is not \"" + tf::Stopped + "\""};
                ReadStop(object, record);
            } else {
                ReadCall(object, record);
            }
            read.records.push_back(std::move(record));
        } catch (const Wrong& wrong) {
            if (onFault == OnFault::Stop) {
                read.fault = named + wrong.what;
                break;
            }
            read.warnings.push_back(named + wrong.what + ", passed over");
        }
    }
    return read;
}

std::vector<TraceRead> GroupReads(const std::vector<TraceRecord>& records)
{
    std::vector<TraceRead> reads;
    std::map<std::pair<uint64_t, uint64_t>, size_t> underWay;  // a thread's read: its index
    for (size_t i = 0; i < records.size(); ++i) {
        const TraceRecord& record = records[i];
        if (record.stopped)
            continue;
        const std::pair thread(record.process, record.thread);
        const auto current = underWay.find(thread);
        size_t read;
        if (record.call == SimInitializeLibrary || current == underWay.end()) {
            read = reads.size();
            reads.push_back({record.process, record.thread, record.call == SimInitializeLibrary, {}});
            underWay[thread] = read;
        } else {
            read = current->second;
        }
        reads[read].calls.push_back(i);
    }
    return reads;
}

std::string Printable(std::string_view text)
{
    std::string printable;
    printable.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // C1 controls (U+0080 to U+009F) start escape sequences on some terminals too.
        const bool c1 = byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0 &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80;
        if (byte < 0x20 || byte == 0x7F || c1) {
            printable += '?';
            i += c1 ? 1 : 0;
        } else {
            printable += text[i];
        }
    }
    return printable;
}

const char* CallName(int call) { return ReaderEntryPointNames[call]; }
