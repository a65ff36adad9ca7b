// A trace as a table to read, for tavrix-host trace show: a block per read (process, thread,
// the time of its first call), a row per call (entry point, result, duration, the outputs that
// matter), and for a read that fails the message the control gives for it. Lines that are wrong
// are named in the warnings and passed over; the rest is still shown.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TraceShown {
    std::string table;  // UTF-8
    std::vector<std::string> warnings;
};

TraceShown TraceTable(std::string_view trace);
