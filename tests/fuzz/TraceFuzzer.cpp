// libFuzzer target for the readers of traces: any bytes must end in a scenario, a table or a
// refusal that says why, never in a crash, a hang or an allocation beyond what the input
// justifies. A scenario made from a trace must be one the simulator takes, and a table never
// hands the terminal a control character.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Scenario.h"
#include "TraceScenario.h"
#include "TraceTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view trace(reinterpret_cast<const char*>(data), size);
    const TraceReplay replay = ScenarioFromTrace(trace);
    if (replay.scenario) {
        std::vector<SimScript> steps;
        std::string error;
        if (!ParseScenario(*replay.scenario, steps, error))
            __builtin_trap();
    } else if (replay.error.empty()) {
        __builtin_trap();
    }
    const TraceShown shown = TraceTable(trace);
    if (shown.table.empty())
        __builtin_trap();
    for (const char c : shown.table)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F)
            __builtin_trap();
    return 0;
}
