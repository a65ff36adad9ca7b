#include "ReaderSimulator.h"

#ifdef SIMULATOR_SCENARIO_FILE
#include "ScenarioFile.h"
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

SimScript DefaultSimulatorScript()
{
    // One EDY card whose number is 2160 0123 4567 8901.
    SimScript script{};
    std::fill(std::begin(script.results), std::end(script.results), 1u);
    std::fill(std::begin(script.errorCodes), std::end(script.errorCodes), 1001);
    script.writesErrorCode = 1;
    script.writesPollOutputs = 1;
    script.numberOfCards = 1;
    const uint8_t idm[8] = {0x01, 0x2E, 0x4C, 0x7A, 0x9B, 0x3D, 0x11, 0x08};
    const uint8_t pmm[8] = {0x03, 0x01, 0x4B, 0x02, 0x4F, 0x49, 0x93, 0xFF};
    const uint8_t block[16] = {0x00, 0x00, 0x21, 0x60, 0x01, 0x23, 0x45, 0x67, 0x89, 0x01};
    std::memcpy(script.idm, idm, 8);
    std::memcpy(script.pmm, pmm, 8);
    script.writesReadOutputs = 1;
    std::memcpy(script.blockData, block, 16);
    return script;
}

namespace {

SimScript DefaultScript() { return DefaultSimulatorScript(); }

struct Simulator {
    Simulator()
    {
#ifdef SIMULATOR_SCENARIO_FILE
        LoadScenarioBesideModule(steps);
#endif
        script = steps.front();
    }

    std::mutex lock;
    // Each read takes the next step as it begins; the last one repeats.
    std::vector<SimScript> steps{DefaultScript()};
    size_t nextStep = 0;
    SimScript script;  // the read under way follows it
    int32_t lastError = 1000;  // "no error"
    // The latest calls, in a ring once it is full: a host that reads for weeks against the
    // simulator must not grow by every call it made.
    std::vector<SimCall> calls;
    uint64_t callCount = 0;
    std::map<std::thread::id, uint32_t> threads;

    // Records the call and gives its record to fill in.
    SimCall& Record(SimEntryPoint entryPoint)
    {
        SimCall call{};
        call.entryPoint = entryPoint;
        call.thread = ThreadNumber();
        if (calls.size() < SimRecordedCalls)
            calls.push_back(call);
        else
            calls[callCount % SimRecordedCalls] = call;
        return calls[callCount++ % SimRecordedCalls];
    }

    // Threads in order of first appearance; beyond as many as calls are kept, all share the last number.
    uint32_t ThreadNumber()
    {
        const auto known = threads.find(std::this_thread::get_id());
        if (known != threads.end())
            return known->second;
        const auto number = static_cast<uint32_t>(threads.size());
        if (number < SimRecordedCalls)
            threads.emplace(std::this_thread::get_id(), number);
        return number;
    }

    // The record of the call with that number since the last reset, while it is among the kept.
    const SimCall* Call(int32_t index) const
    {
        if (index < 0 || static_cast<uint64_t>(index) >= callCount || callCount - index > calls.size())
            return nullptr;
        return &calls[index % SimRecordedCalls];
    }

    void Follow(std::vector<SimScript> sequence)
    {
        steps = std::move(sequence);
        nextStep = 0;
        script = steps.front();
    }

    void BeginRead()
    {
        script = steps[std::min(nextStep, steps.size() - 1)];
        if (nextStep < steps.size())
            ++nextStep;
    }

    ReaderResult Finish(SimEntryPoint entryPoint)
    {
        const ReaderResult result = script.results[entryPoint];
        if (result == 0)
            lastError = script.errorCodes[entryPoint];
        return result;
    }
};

// Made on first use, so that a scenario file is read outside the loader lock.
Simulator& TheSimulator()
{
    static Simulator simulator;
    return simulator;
}

ReaderResult Simple(SimEntryPoint entryPoint)
{
    std::lock_guard<std::mutex> guard(TheSimulator().lock);
    TheSimulator().Record(entryPoint);
    return TheSimulator().Finish(entryPoint);
}

void CopyCut(uint8_t* to, size_t capacity, const uint8_t* from, size_t length)
{
    if (from)
        std::memcpy(to, from, std::min(capacity, length));
}

}  // namespace

extern "C" {

ReaderResult READER_CALL initialize_library()
{
    std::lock_guard<std::mutex> guard(TheSimulator().lock);
    TheSimulator().BeginRead();
    TheSimulator().Record(SimInitializeLibrary);
    return TheSimulator().Finish(SimInitializeLibrary);
}

ReaderResult READER_CALL dispose_library() { return Simple(SimDisposeLibrary); }
ReaderResult READER_CALL open_reader_writer_auto() { return Simple(SimOpenReaderWriterAuto); }
ReaderResult READER_CALL close_reader_writer() { return Simple(SimCloseReaderWriter); }

ReaderResult READER_CALL polling_and_get_card_information(TPolling_Param* polling, uint8_t* number_of_cards,
                                                          TCard_Info* card_info)
{
    uint32_t delay;
    {
        std::lock_guard<std::mutex> guard(TheSimulator().lock);
        SimCall& call = TheSimulator().Record(SimPollingAndGetCardInformation);
        CopyCut(call.systemCode, 2, polling->system_code, 2);
        call.timeSlot = polling->time_slot;
        call.numberOfCardsIn = *number_of_cards;
        delay = TheSimulator().script.pollDelayMilliseconds;
    }
    // Outside the simulator's own lock, so that overlapping callers would show.
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));

    std::lock_guard<std::mutex> guard(TheSimulator().lock);
    const SimScript& script = TheSimulator().script;
    if (script.writesPollOutputs) {
        *number_of_cards = script.numberOfCards;
        if (script.numberOfCards > 0) {
            std::memcpy(card_info->card_idm, script.idm, 8);
            std::memcpy(card_info->card_pmm, script.pmm, 8);
        }
    }
    return TheSimulator().Finish(SimPollingAndGetCardInformation);
}

ReaderResult READER_CALL read_block_without_encryption(TRead_Param* read, TRead_Result* result)
{
    std::lock_guard<std::mutex> guard(TheSimulator().lock);
    SimCall& call = TheSimulator().Record(SimReadBlockWithoutEncryption);
    CopyCut(call.idm, 8, read->card_idm, 8);
    call.numberOfServices = read->number_of_services;
    CopyCut(call.serviceCodeList, sizeof call.serviceCodeList, read->service_code_list,
            2u * read->number_of_services);
    call.numberOfBlocks = read->number_of_blocks;
    CopyCut(call.blockList, sizeof call.blockList, read->block_list, 2u * read->number_of_blocks);
    CopyCut(call.blockDataIn, 16, result->block_data, 16);

    const SimScript& script = TheSimulator().script;
    if (script.writesReadOutputs) {
        *result->status_flag_1 = script.statusFlag1;
        *result->status_flag_2 = script.statusFlag2;
        *result->result_number_of_blocks = script.statusFlag1 == 0 ? 1 : 0;
        if (script.statusFlag1 == 0)
            std::memcpy(result->block_data, script.blockData, 16);
    }
    return TheSimulator().Finish(SimReadBlockWithoutEncryption);
}

ReaderResult READER_CALL get_last_error_type(int32_t* error_code)
{
    std::lock_guard<std::mutex> guard(TheSimulator().lock);
    TheSimulator().Record(SimGetLastErrorType);
    if (TheSimulator().script.writesErrorCode)
        *error_code = TheSimulator().lastError;
    return TheSimulator().Finish(SimGetLastErrorType);
}

void sim_reset()
{
    std::lock_guard<std::mutex> guard(TheSimulator().lock);
    TheSimulator().Follow({DefaultScript()});
    TheSimulator().lastError = 1000;
    TheSimulator().calls.clear();
    TheSimulator().callCount = 0;
    TheSimulator().threads.clear();
}

void sim_set_script(const SimScript* script)
{
    std::lock_guard<std::mutex> guard(TheSimulator().lock);
    TheSimulator().Follow({*script});
}

void sim_get_script(SimScript* script)
{
    std::lock_guard<std::mutex> guard(TheSimulator().lock);
    *script = TheSimulator().script;
}

int32_t sim_call_count()
{
    std::lock_guard<std::mutex> guard(TheSimulator().lock);
    return static_cast<int32_t>(std::min<uint64_t>(TheSimulator().callCount, INT32_MAX));
}

int32_t sim_get_call(int32_t index, SimCall* call)
{
    std::lock_guard<std::mutex> guard(TheSimulator().lock);
    const SimCall* kept = TheSimulator().Call(index);
    if (!kept)
        return 0;
    *call = *kept;
    return 1;
}

}  // extern "C"

void SimulatorFollowSteps(const std::vector<SimScript>& steps)
{
    std::lock_guard<std::mutex> guard(TheSimulator().lock);
    TheSimulator().Follow(steps.empty() ? std::vector<SimScript>{DefaultScript()} : steps);
}

ReaderEntryPoints SimulatorEntryPoints()
{
    ReaderEntryPoints e;
    e.initialize_library = initialize_library;
    e.dispose_library = dispose_library;
    e.open_reader_writer_auto = open_reader_writer_auto;
    e.close_reader_writer = close_reader_writer;
    e.polling_and_get_card_information = polling_and_get_card_information;
    e.read_block_without_encryption = read_block_without_encryption;
    e.get_last_error_type = get_last_error_type;
    return e;
}
