// A script's every field as text, so that a test failure shows which one differs.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "Scenario.h"

inline std::string ScriptText(const SimScript& s)
{
    std::ostringstream out;
    const auto bytes = [&](const char* name, const uint8_t* b, size_t n) {
        out << ' ' << name;
        for (size_t i = 0; i < n; ++i)
            out << ' ' << int(b[i]);
    };
    for (int i = 0; i < SimEntryPointCount; ++i)
        out << ScenarioCallNames[i] << ' ' << s.results[i] << '/' << s.errorCodes[i] << ' ';
    out << "writes " << int(s.writesErrorCode) << int(s.writesPollOutputs) << int(s.writesReadOutputs) << " cards "
        << int(s.numberOfCards) << " status " << int(s.statusFlag1) << '/' << int(s.statusFlag2) << " delay "
        << s.pollDelayMilliseconds;
    bytes("idm", s.idm, 8);
    bytes("pmm", s.pmm, 8);
    bytes("block", s.blockData, 16);
    return out.str();
}

inline std::vector<std::string> ScriptTexts(const std::vector<SimScript>& steps)
{
    std::vector<std::string> texts;
    for (const SimScript& step : steps)
        texts.push_back(ScriptText(step));
    return texts;
}
