// tavrix-host trace install|remove|show and scenario from-trace: the tracing reader library put in
// place of the library the control would load (which it stands in for, set aside beside it and
// put back by remove, byte for byte), its settings, and what support does with its traces.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct TraceSettings {
    int level = 1;
    std::wstring file;  // empty: the tracing library's default, per user
};

// Whether the file is our tracing library (its version resource says so).
bool IsTracingLibrary(const std::wstring& path);

// The settings beside a tracing library at that path; defaults for what is missing.
TraceSettings ReadTraceSettings(const std::wstring& library);

// arguments: what follows "trace" or "scenario". Print what they did; give the exit status, or
// -1 for arguments they do not take.
int TraceCommand(const std::vector<std::wstring>& arguments);
int ScenarioCommand(const std::vector<std::wstring>& arguments);

// The trace's text as a table, and as a scenario for the simulator; warnings on stderr.
int ShowTrace(const std::string& trace);
int ScenarioFromTraceCommand(const std::string& trace);
