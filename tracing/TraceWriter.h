// Appends lines to the trace file, shared by every thread of the process and by every process
// that traces to the same file (Windows only). Never in the way: whatever goes wrong, Append
// returns, and the calls it records go on unchanged.
//
// Each line goes out in one write to a handle that only appends, which Windows keeps whole
// against every other such write. Wine does not: there, two processes appending at once
// overwrite each other's lines. So the processes writing one file also take turns by a mutex
// named for it, held for the one write (or the rollover) alone; one that cannot be had in time
// is given up for these settings, and the platform's own appending is left to keep lines whole.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "FileHandle.h"
#include "Lock.h"
#include "SettingsFile.h"

class TraceWriter {
public:
    // At each initialize_library: the settings as they stand now. A trace that stopped tries
    // again, but says it stopped only once for the same settings and the same reason.
    void Begin(const TracingSettings& settings);

    // Whether lines are wanted at all, and at which level; read without the lock, so a
    // line formed just as the settings change may carry the earlier level.
    bool Tracing() const { return tracing_; }
    int Level() const { return level_; }

    // One whole line, ending with LF, in a single write.
    void Append(std::string_view line);

private:
    void AppendHeld(std::string_view line);
    bool OpenTrace();
    bool Stale() const;
    void RollOver();
    bool SameFileAtPath() const;
    void Stop(const std::string& reason);

    Lock lock_;
    TracingSettings settings_;
    FileHandle file_{nullptr};
    // A handle that shares no deletion (a viewer's on the older file, say) makes the rename of a
    // rollover fail; trying again at every line would cost a failed rename each time, and once
    // a read is enough.
    bool rolloverFailed_ = false;
    std::string lastStop_;  // the reason of the stopped line written for these settings
    FileHandle fileMutex_{nullptr};  // (a mutex's handle closes as a file's does)
    bool fileMutexUsable_ = false;
    std::atomic<bool> tracing_ = false;
    std::atomic<int> level_ = 1;
};
