#include "TraceLine.h"

#include "TraceFormat.h"

namespace {

void AppendDecimal(std::string& text, uint64_t value)
{
    char digits[20];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0)
        text += digits[--count];
}

void AppendPadded(std::string& text, uint64_t value, size_t width)
{
    std::string digits;
    AppendDecimal(digits, value);
    if (digits.size() < width)
        text.append(width - digits.size(), '0');
    text += digits;
}

// Escaped as JSON wants it; the texts are ours, but a quote or a control character in one must
// not break the line for the reader.
void AppendQuoted(std::string& text, std::string_view value)
{
    static const char hex[] = "0123456789ABCDEF";
    text += '"';
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (byte < 0x20) {
            text += "\\u00";
            text += hex[byte >> 4];
            text += hex[byte & 15];
        } else {
            text += c;
        }
    }
    text += '"';
}

// Days since 1970-01-01 to the civil date (proleptic Gregorian), exact for every day a
// 64-bit file time can name.
void CivilDate(int64_t days, int64_t& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

std::string Head(const LineStamp& stamp)
{
    std::string text = "{\"";
    text += trace_format::Format;
    text += "\":";
    AppendDecimal(text, trace_format::Version);
    TraceFields head;
    head.Text(trace_format::Time, UtcTimeText(stamp.fileTime));
    head.Unsigned(trace_format::Process, stamp.process);
    head.Unsigned(trace_format::Thread, stamp.thread);
    head.Number(trace_format::Level, stamp.level);
    return text + head.Formed();
}

}  // namespace

void TraceFields::Key(const char* key)
{
    text_ += ',';
    AppendQuoted(text_, key);
    text_ += ':';
}

void TraceFields::Number(const char* key, int64_t value)
{
    Key(key);
    if (value < 0) {
        text_ += '-';
        AppendDecimal(text_, 0 - static_cast<uint64_t>(value));
    } else {
        AppendDecimal(text_, static_cast<uint64_t>(value));
    }
}

void TraceFields::Unsigned(const char* key, uint64_t value)
{
    Key(key);
    AppendDecimal(text_, value);
}

void TraceFields::Text(const char* key, std::string_view value)
{
    Key(key);
    AppendQuoted(text_, value);
}

void TraceFields::Hex(const char* key, const uint8_t* bytes, size_t count, size_t keepFrom, size_t keepCount)
{
    static const char hex[] = "0123456789ABCDEF";
    Key(key);
    text_ += '"';
    for (size_t i = 0; i < count; ++i) {
        if (i >= keepFrom && i - keepFrom < keepCount) {
            text_ += hex[bytes[i] >> 4];
            text_ += hex[bytes[i] & 15];
        } else {
            text_ += "**";
        }
    }
    text_ += '"';
}

std::string UtcTimeText(uint64_t fileTime)
{
    constexpr uint64_t TicksPerSecond = 10000000;
    constexpr int64_t DaysFrom1601To1970 = 134774;
    const uint64_t seconds = fileTime / TicksPerSecond;
    const uint64_t secondOfDay = seconds % 86400;
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilDate(static_cast<int64_t>(seconds / 86400) - DaysFrom1601To1970, year, month, day);

    std::string text;
    AppendPadded(text, static_cast<uint64_t>(year), 4);
    text += '-';
    AppendPadded(text, month, 2);
    text += '-';
    AppendPadded(text, day, 2);
    text += 'T';
    AppendPadded(text, secondOfDay / 3600, 2);
    text += ':';
    AppendPadded(text, secondOfDay / 60 % 60, 2);
    text += ':';
    AppendPadded(text, secondOfDay % 60, 2);
    text += '.';
    AppendPadded(text, fileTime % TicksPerSecond / 10, 6);
    text += 'Z';
    return text;
}

std::string CallLine(const LineStamp& stamp, std::string_view call, uint32_t result, uint64_t microseconds,
                     const TraceFields& fields)
{
    TraceFields named;
    named.Text(trace_format::Call, call);
    named.Unsigned(trace_format::Result, result);
    named.Unsigned(trace_format::Microseconds, microseconds);
    return Head(stamp) + named.Formed() + fields.Formed() + "}\n";
}

std::string StoppedLine(const LineStamp& stamp, std::string_view reason)
{
    TraceFields stopped;
    stopped.Text(trace_format::Trace, trace_format::Stopped);
    stopped.Text(trace_format::Reason, reason);
    return Head(stamp) + stopped.Formed() + "}\n";
}
