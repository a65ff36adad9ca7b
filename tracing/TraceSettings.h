// The settings file beside the tracing library (TraceFormat.h), as written: read at each
// initialize_library so that support can change the level or the file without reinstalling.
// Besides "level=" and "file=", "rollover_bytes=<n>" may lower the size past which the file rolls
// over (to see a rollover without writing 8 MiB); it never raises it. A setting that is missing
// or not understood takes its default, alone; a file longer than MaxSettingsBytes is not
// understood at all. Lines end with LF or CR LF; a UTF-8 signature at the start is passed over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "TraceFormat.h"

constexpr size_t MaxSettingsBytes = 64 * 1024;
constexpr char16_t DefaultTraceFile[] = u"%LOCALAPPDATA%\\Norvane\\felica-trace.jsonl";

struct WrittenTraceSettings {
    int level = 1;
    std::u16string file = DefaultTraceFile;  // environment variables not yet expanded
    uint64_t rolloverBytes = trace_format::RolloverBytes;

    bool operator==(const WrittenTraceSettings&) const = default;
};

WrittenTraceSettings ParseTraceSettings(std::string_view text);

// A drive path ("C:\...") or a share path ("\\server\share\...") that names a file: anything else
// would be taken relative to whatever folder the host happens to be in.
bool IsFullWindowsPath(std::u16string_view path);
