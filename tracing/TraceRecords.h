// A trace's lines (TraceFormat.h) read into records, each field checked as it is read, and
// the calls grouped into reads. The trace is foreign bytes: a line that is wrong is named,
// never trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One line: a call into the reader library, or the end of the trace.
struct TraceRecord {
    size_t line = 0;  // from 1
    bool stopped = false;  // "trace": "stopped"; of the rest only time and reason may be set
    std::string time;      // digits and "-:.TZ+" only
    uint64_t process = 0, thread = 0;
    int level = 0;
    int call = 0;  // SimEntryPoint, the order of ReaderEntryPointNames
    uint32_t result = 0;
    std::string microseconds;  // the number as written; empty when absent
    std::optional<uint8_t> cards, statusFlag1, statusFlag2, blocks;
    std::optional<int32_t> errorCode;
    std::string idm, pmm, blockData;   // hex digits, "*" for each masked one; empty when absent
    std::optional<std::string> error;  // why the call was not forwarded
    std::string reason;
};

// What to do at a line that is wrong: not JSON, of a newer format, a field missing or malformed.
enum class OnFault { Stop, Skip };

struct TraceRecords {
    std::vector<TraceRecord> records;   // in the order of the file
    std::vector<std::string> warnings;  // each line passed over (foreign, cut short, or wrong when skipped)
    std::optional<std::string> fault;   // the wrong line reading stopped at
};

// Every message names its line: "line 7: ...".
TraceRecords ReadTraceRecords(std::string_view trace, OnFault onFault);

// One thread's calls from an initialize_library up to its next one. A thread's calls before
// its first initialize_library (the trace began within a read) form a read that is not begun.
struct TraceRead {
    uint64_t process = 0, thread = 0;
    bool begun = true;
    std::vector<size_t> calls;  // indices into the records
};

// In the order of their first calls; the ends of the trace belong to none.
std::vector<TraceRead> GroupReads(const std::vector<TraceRecord>& records);

// A text from a trace, safe to print on a terminal or into a scenario line: each control
// character becomes "?".
std::string Printable(std::string_view text);

const char* CallName(int call);
