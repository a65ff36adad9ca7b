#include "TraceScenario.h"

#include <map>
#include <set>

#include "ReaderErrorMessages.h"
#include "Scenario.h"
#include "TraceRecords.h"

namespace {

// Why the trace cannot be replayed.
struct Refusal {
    std::string what;
};

std::string Named(const TraceRecord& record) { return "line " + std::to_string(record.line) + ": "; }

template <typename T>
T Needed(const std::optional<T>& value, const TraceRecord& record, const char* key)
{
    if (!value)
        throw Refusal{Named(record) + CallName(record.call) + " lacks \"" + key + "\", which the replay needs"};
    return *value;
}

// "012E..." as the scenario's "01 2E ...".
std::string Bytes(const std::string& hex, const TraceRecord& record, const char* key)
{
    if (hex.empty())
        throw Refusal{Named(record) + CallName(record.call) + " lacks \"" + key + "\", which the replay needs"};
    if (hex.find('*') != std::string::npos)
        throw Refusal{Named(record) + "\"" + key + "\" is masked: the replay needs it whole, as level 2 keeps it"};
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        if (i > 0)
            bytes += ' ';
        for (const char digit : {hex[i], hex[i + 1]})
            bytes += static_cast<char>(digit >= 'a' ? digit - 'a' + 'A' : digit);
    }
    return bytes;
}

// One step of the scenario as the lines it will hold, each with the trace line that asked for
// it: a read that needs two values of one setting cannot be one step.
class Step {
public:
    void Set(const std::string& setting, const std::string& value, const TraceRecord& record)
    {
        const auto [known, added] = settings_.try_emplace(setting, Setting{value, record.line});
        if (!added && known->second.value != value)
            throw Refusal{Named(record) + "the read needs \"" + setting + " " + value + "\" here and \"" + setting +
                          " " + known->second.value + "\" at line " + std::to_string(known->second.line) +
                          ": one step of a scenario cannot give both"};
    }

    const std::string* Get(const std::string& setting) const
    {
        const auto known = settings_.find(setting);
        return known == settings_.end() ? nullptr : &known->second.value;
    }

    std::string Text() const
    {
        std::string text;
        const auto line = [&](const std::string& setting, const std::string& value) {
            text += setting + " " + value + "\n";
        };
        for (int call = 0; call < SimEntryPointCount; ++call) {
            const std::string name = ScenarioCallNames[call];
            if (const std::string* result = Get("result " + name); result && *result == "0") {
                // No code was asked for after the failure: any replays it, so the one the control presumes.
                const std::string* code = Get("code " + name);
                line("fail " + name, code ? *code : std::to_string(UnreportedReaderErrorCode));
            } else if (result && *result != "1") {
                line("result " + name, *result);
            }
            if (const std::string* silent = Get("silent " + name); silent && *silent == "yes")
                line("silent", name);
        }
        for (const char* setting : {"card", "idm", "pmm", "status", "status2", "block"})
            if (const std::string* value = Get(setting))
                line(setting, *value);
        return text;
    }

private:
    struct Setting {
        std::string value;
        size_t line;
    };
    std::map<std::string, Setting> settings_;
};

// The step that gives one read's calls what the library gave them. lastError: what
// get_last_error_type gives as the read begins, and after it.
Step ReadStep(const std::vector<TraceRecord>& records, const TraceRead& read, int32_t& lastError,
              std::vector<std::string>& warnings)
{
    Step step;
    int lastFailed = SimEntryPointCount;  // none of this read's calls failed yet
    for (const size_t index : read.calls) {
        const TraceRecord& record = records[index];
        const std::string call = ScenarioCallNames[record.call];
        step.Set("result " + call, std::to_string(record.result), record);
        // A call the tracing library could not forward wrote nothing.
        const bool writes = !record.error;
        if (record.call == SimPollingAndGetCardInformation || record.call == SimReadBlockWithoutEncryption ||
            record.call == SimGetLastErrorType)
            step.Set("silent " + call, writes ? "no" : "yes", record);
        if (writes && record.call == SimPollingAndGetCardInformation) {
            const uint8_t cards = Needed(record.cards, record, "cards");
            step.Set("card", cards == 0 ? "no" : cards == 1 ? "yes" : std::to_string(cards), record);
            if (cards > 0) {
                step.Set("idm", Bytes(record.idm, record, "idm"), record);
                step.Set("pmm", Bytes(record.pmm, record, "pmm"), record);
            }
        } else if (writes && record.call == SimReadBlockWithoutEncryption) {
            const uint8_t flag1 = Needed(record.statusFlag1, record, "status_flag_1");
            step.Set("status", std::to_string(flag1), record);
            step.Set("status2", std::to_string(Needed(record.statusFlag2, record, "status_flag_2")), record);
            if (flag1 == 0)
                step.Set("block", Bytes(record.blockData, record, "block_data"), record);
            const int simulated = flag1 == 0 ? 1 : 0;
            if (record.blocks && *record.blocks != simulated)
                warnings.push_back(Named(record) + "the library read " + std::to_string(*record.blocks) +
                                   " blocks; the simulator gives " + std::to_string(simulated) +
                                   " with status flag 1 at " + std::to_string(flag1));
        } else if (writes && record.call == SimGetLastErrorType) {
            const int32_t code = Needed(record.errorCode, record, "error_code");
            if (lastFailed < SimEntryPointCount)
                step.Set(std::string("code ") + ScenarioCallNames[lastFailed], std::to_string(code), record);
            else if (code != lastError)
                throw Refusal{Named(record) + "get_last_error_type gives " + std::to_string(code) +
                              " though no call of its read failed before it; replayed, it would give " +
                              std::to_string(lastError) + ", left by the read before"};
        }
        if (record.result == 0)
            lastFailed = record.call;
    }
    if (lastFailed < SimEntryPointCount) {
        const std::string* code = step.Get(std::string("code ") + ScenarioCallNames[lastFailed]);
        lastError = code ? std::stoi(*code) : UnreportedReaderErrorCode;
    }
    return step;
}

std::string Scenario(const std::vector<TraceRecord>& records, const std::vector<TraceRead>& reads,
                     std::vector<std::string>& warnings)
{
    std::set<uint64_t> processes;
    size_t begun = 0;
    for (const TraceRead& read : reads) {
        const TraceRecord& first = records[read.calls.front()];
        if (!read.begun) {
            warnings.push_back(Named(first) + CallName(first.call) +
                               " and the calls after it on its thread come before any initialize_library of "
                               "that thread: no read of the scenario replays them");
            continue;
        }
        ++begun;
        processes.insert(read.process);
    }
    if (begun == 0)
        throw Refusal{"the trace holds no read: no call of initialize_library"};
    if (begun > MaxScenarioSteps)
        throw Refusal{"the trace holds " + std::to_string(begun) + " reads, and a scenario at most " +
                      std::to_string(MaxScenarioSteps) + " steps: cut the trace shorter"};
    if (processes.size() > 1)
        warnings.push_back("the trace holds reads of " + std::to_string(processes.size()) +
                           " processes; the scenario gives them one after another, as to one process");

    std::string text = "# " + std::to_string(begun) +
                       (begun == 1 ? " read" : " reads") + " of a level-2 trace, one step each, in the order they began.\n";
    // A fresh simulator's last error is "no error".
    int32_t lastError = FirstReaderErrorCode;
    size_t number = 0;
    for (const TraceRead& read : reads) {
        if (!read.begun)
            continue;
        const TraceRecord& first = records[read.calls.front()];
        text += number == 0 ? "\n" : "\nstep\n";
        text += "# read " + std::to_string(++number) + ": process " + std::to_string(read.process) + ", thread " +
                std::to_string(read.thread) + ", " + first.time + " (line " + std::to_string(first.line) + ")\n";
        text += ReadStep(records, read, lastError, warnings).Text();
    }
    return text;
}

}  // namespace

TraceReplay ScenarioFromTrace(std::string_view trace)
{
    TraceReplay replay;
    TraceRecords read = ReadTraceRecords(trace, OnFault::Stop);
    replay.warnings = std::move(read.warnings);
    for (const TraceRecord& record : read.records)
        if (!record.stopped && record.level == 1) {
            replay.error = Named(record) +
                           "traced at level 1, which masks the IDm and the block data that a replay needs: trace "
                           "at level 2 (tavrix-host trace install --level 2) and take that trace";
            return replay;
        }
    if (read.fault) {
        replay.error = *read.fault;
        return replay;
    }
    try {
        replay.scenario = Scenario(read.records, GroupReads(read.records), replay.warnings);
    } catch (const Refusal& refusal) {
        replay.error = refusal.what;
    }
    return replay;
}
