// The settings file beside the tracing library, read from disk (Windows only).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "TraceSettings.h"

struct TracingSettings {
    int level = 1;
    std::wstring file;  // full path, variables expanded; empty: nowhere that could be written
    uint64_t rolloverBytes = trace_format::RolloverBytes;

    bool operator==(const TracingSettings&) const = default;
};

class SettingsFile {
public:
    explicit SettingsFile(std::wstring path) : path_(std::move(path)) {}

    // The settings as they stand now. The file is read again only when its size or times
    // changed (opening a file costs a read far more than the look at its times); the
    // environment variables are expanded every time.
    TracingSettings Current();

private:
    struct Stamp {
        uint64_t size, created, written;
        bool operator==(const Stamp&) const = default;
    };

    std::wstring path_;
    std::optional<Stamp> stamp_;
    bool known_ = false;
    WrittenTraceSettings written_;
};
