// Forms one line of the trace as TraceFormat.h lays it out. No Windows header: the forming and
// the masking are unit-tested natively, and the tracing library adds only the platform's clock
// and ids.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What every line begins with.
struct LineStamp {
    uint64_t fileTime = 0;  // UTC, in 100-nanosecond ticks since 1601-01-01
    uint32_t process = 0;
    uint32_t thread = 0;
    int level = 1;
};

// The fields that a call's line adds after "call", "result" and "us", in the order added.
class TraceFields {
public:
    void Number(const char* key, int64_t value);
    void Unsigned(const char* key, uint64_t value);
    void Text(const char* key, std::string_view value);
    // Upper-case hex of the bytes; outside [keepFrom, keepFrom + keepCount) each digit is "*".
    void Hex(const char* key, const uint8_t* bytes, size_t count, size_t keepFrom = 0, size_t keepCount = SIZE_MAX);

    const std::string& Formed() const { return text_; }

private:
    void Key(const char* key);

    std::string text_;
};

// "2026-12-11T07:00:00.123456Z"
std::string UtcTimeText(uint64_t fileTime);

std::string CallLine(const LineStamp& stamp, std::string_view call, uint32_t result, uint64_t microseconds,
                     const TraceFields& fields);

// The line that ends the trace: the file cannot be written any more.
std::string StoppedLine(const LineStamp& stamp, std::string_view reason);
