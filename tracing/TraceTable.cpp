#include "TraceTable.h"

#include <optional>

#include "ReaderErrorMessages.h"
#include "SimulatorScript.h"
#include "TraceRecords.h"

namespace {

std::string Utf8(std::u16string_view text)
{
    std::string utf8;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | c >> 6);
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | c >> 12);
            utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | c >> 18);
            utf8 += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

std::string Padded(std::string text, size_t width, bool right)
{
    if (text.size() < width)
        text.insert(right ? text.begin() : text.end(), width - text.size(), ' ');
    return text;
}

std::string Outputs(const TraceRecord& record)
{
    if (record.error)
        return "not forwarded: " + Printable(*record.error);
    std::string outputs;
    const auto add = [&](const std::string& name, const std::string& value) {
        outputs += (outputs.empty() ? "" : ", ") + name + " " + value;
    };
    switch (record.call) {
    case SimPollingAndGetCardInformation:
        if (record.cards)
            add("cards", std::to_string(*record.cards));
        if (!record.idm.empty())
            add("idm", record.idm);
        if (!record.pmm.empty())
            add("pmm", record.pmm);
        break;
    case SimReadBlockWithoutEncryption:
        if (record.statusFlag1 || record.statusFlag2)
            add("status flags", (record.statusFlag1 ? std::to_string(*record.statusFlag1) : "?") + " " +
                                    (record.statusFlag2 ? std::to_string(*record.statusFlag2) : "?"));
        if (record.blocks)
            add("blocks", std::to_string(*record.blocks));
        if (!record.blockData.empty())
            add("block", record.blockData);
        break;
    case SimGetLastErrorType:
        if (record.errorCode)
            add("error code", std::to_string(*record.errorCode));
        break;
    default:
        break;
    }
    return outputs;
}

// What the control makes of the read's calls, as reader/CardRead.cpp goes through them: a
// failed call takes its message from the code that the get_last_error_type after it writes,
// and each later failure replaces the message of an earlier one (the reader is closed and the
// library ended whatever failed before). None: nothing failed.
std::optional<std::string> Failure(const std::vector<TraceRecord>& records, const TraceRead& read)
{
    // The control's own texts for a poll that finds no card and a block it cannot read.
    constexpr const char NoCard[] = "カードが読み取れません";
    constexpr const char NotRead[] = "IDが読み取れません";
    std::optional<std::string> message;
    for (size_t k = 0; k < read.calls.size(); ++k) {
        const TraceRecord& record = records[read.calls[k]];
        if (record.call == SimGetLastErrorType)
            continue;
        if (record.call == SimReadBlockWithoutEncryption) {
            // The control presets status flag 1 to "not read" and judges by it alone.
            if (record.error || record.statusFlag1.value_or(0xFF) != 0)
                message = NotRead;
            continue;
        }
        if (record.result != 0) {
            // The count is preset to no card.
            if (record.call == SimPollingAndGetCardInformation && record.cards.value_or(0) == 0)
                message = NoCard;
            continue;
        }
        const TraceRecord* next = k + 1 < read.calls.size() ? &records[read.calls[k + 1]] : nullptr;
        if (!next || next->call != SimGetLastErrorType) {
            message = std::string(CallName(record.call)) + " failed, and no get_last_error_type follows to give its code";
            continue;
        }
        // A library that writes no code leaves the control's preset.
        const int32_t code = next->error ? UnreportedReaderErrorCode : next->errorCode.value_or(UnreportedReaderErrorCode);
        message = Utf8(ReaderErrorMessage(code));
    }
    return message;
}

bool BlockRead(const std::vector<TraceRecord>& records, const TraceRead& read)
{
    for (const size_t index : read.calls)
        if (records[index].call == SimReadBlockWithoutEncryption)
            return true;
    return false;
}

std::string ReadBlock(const std::vector<TraceRecord>& records, const TraceRead& read, size_t number)
{
    const TraceRecord& first = records[read.calls.front()];
    std::string text = (read.begun ? "read " + std::to_string(number) : std::string("calls before any initialize_library")) +
                       ": process " + std::to_string(read.process) + ", thread " + std::to_string(read.thread) +
                       ", " + first.time + " (line " + std::to_string(first.line) + ")\n";
    text += "  " + Padded("call", 34, false) + Padded("result", 10, true) + Padded("us", 10, true) + "  outputs\n";
    for (const size_t index : read.calls) {
        const TraceRecord& record = records[index];
        const std::string outputs = Outputs(record);
        text += "  " + Padded(CallName(record.call), 34, false) + Padded(std::to_string(record.result), 10, true) +
                Padded(record.microseconds.empty() ? "-" : record.microseconds, 10, true) +
                (outputs.empty() ? "" : "  " + outputs) + "\n";
    }
    if (const std::optional<std::string> failure = Failure(records, read))
        text += "  fails: " + *failure + "\n";
    else
        text += BlockRead(records, read) ? "  the card is read\n" : "  nothing failed\n";
    return text;
}

std::string StopLine(const TraceRecord& record)
{
    return "trace stopped" + (record.time.empty() ? "" : ", " + record.time) + ": " +
           (record.reason.empty() ? "no reason given" : Printable(record.reason)) + " (line " +
           std::to_string(record.line) + ")\n";
}

}  // namespace

TraceShown TraceTable(std::string_view trace)
{
    TraceShown shown;
    TraceRecords read = ReadTraceRecords(trace, OnFault::Skip);
    shown.warnings = std::move(read.warnings);

    const std::vector<TraceRead> reads = GroupReads(read.records);
    size_t nextRead = 0, number = 0;
    for (const TraceRecord& record : read.records) {
        // Each read at its first call, each stop where it stands.
        while (nextRead < reads.size() && read.records[reads[nextRead].calls.front()].line <= record.line) {
            const TraceRead& r = reads[nextRead++];
            shown.table += (shown.table.empty() ? "" : "\n") + ReadBlock(read.records, r, r.begun ? ++number : 0);
        }
        if (record.stopped)
            shown.table += (shown.table.empty() ? "" : "\n") + StopLine(record);
    }
    if (shown.table.empty())
        shown.table = "the trace holds no call\n";
    return shown;
}
