// A level-2 trace as a scenario for the reader simulator (simulator/Scenario.h), for
// tavrix-host scenario from-trace: one step per read, in the order the reads began, so that
// the simulator gives the caller what the library gave it, read after read.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TraceReplay {
    std::optional<std::string> scenario;  // none: the trace cannot be replayed, and error says why
    std::string error;
    std::vector<std::string> warnings;    // lines passed over, and what the replay gives otherwise
};

TraceReplay ScenarioFromTrace(std::string_view trace);
