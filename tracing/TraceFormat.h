// The trace that the tracing reader library writes and tavrix-host reads: one JSON object per
// line (UTF-8, LF), one line per call into the reader library, appended in the order the calls
// end. Both sides take the names from here.
//
// Every line:
//   "format"  1 (a reader refuses a greater one by name)
//   "time"    UTC, "2026-12-11T07:00:00.123456Z"
//   "process", "thread"   the caller's ids (numbers)
//   "level"   1 or 2: 1 masks the IDm and the block data, 2 keeps what a replay needs
// A call's line adds:
//   "call"    the entry point's name (ReaderEntryPointNames)
//   "result"  what the entry point returned (number)
//   "us"      how long the call took, in microseconds (number)
//   polling_and_get_card_information: "system_code" (hex, "FE00"), "time_slot", and after the
//       call "cards" (the count the caller's variable holds), "idm", "pmm" (16 hex digits each)
//   read_block_without_encryption: "idm" (the IDm asked for), "services" and "block_list" (hex of
//       the lists as passed), and after the call "status_flag_1", "status_flag_2", "blocks"
//       (numbers) and "block_data" (32 hex digits)
//   get_last_error_type: "error_code" (the code written, number)
//   "error"   only when the call could not be forwarded: why (no library to stand in for, or it
//             lacks the entry point); the result is then the entry point's failure value, 0
// At level 1, "idm" keeps its last four hex digits and "block_data" only bytes 8 and 9 (the last
// four digits of the card number as the EDY service lays it out); every other hex digit is "*".
// A line that ends the trace (the file or its folder cannot be written any more) has
//   "trace": "stopped" and "reason" instead of "call".
#pragma once

namespace trace_format {

constexpr int Version = 1;

constexpr const char* Format = "format";
constexpr const char* Time = "time";
constexpr const char* Process = "process";
constexpr const char* Thread = "thread";
constexpr const char* Level = "level";
constexpr const char* Call = "call";
constexpr const char* Result = "result";
constexpr const char* Microseconds = "us";
constexpr const char* SystemCode = "system_code";
constexpr const char* TimeSlot = "time_slot";
constexpr const char* Cards = "cards";
constexpr const char* Idm = "idm";
constexpr const char* Pmm = "pmm";
constexpr const char* Services = "services";
constexpr const char* BlockList = "block_list";
constexpr const char* StatusFlag1 = "status_flag_1";
constexpr const char* StatusFlag2 = "status_flag_2";
constexpr const char* Blocks = "blocks";
constexpr const char* BlockData = "block_data";
constexpr const char* ErrorCode = "error_code";
constexpr const char* Error = "error";
constexpr const char* Trace = "trace";
constexpr const char* Stopped = "stopped";
constexpr const char* Reason = "reason";

// The settings file beside the tracing library, "felica-trace.ini": lines "level=1|2" and
// "file=<full Windows path>"; a missing or unreadable setting takes its default (level 1, the file
// %LOCALAPPDATA%\Norvane\felica-trace.jsonl). The library it stands in for lies beside it as
// "felica.dll.traced". Past 8 MiB the file rolls over once: it becomes "<file>.1" (replacing an
// older one) and a new file begins; a line "rollover_bytes=<n>" may lower that size (tests use it).
constexpr const wchar_t* SettingsFileName = L"felica-trace.ini";
constexpr const wchar_t* TracedSuffix = L".traced";
constexpr unsigned long long RolloverBytes = 8ull << 20;

}  // namespace trace_format
