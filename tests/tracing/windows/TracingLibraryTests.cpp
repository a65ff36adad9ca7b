// The tracing reader library as the control meets it: a copy in a folder of the test's own, the
// simulator beside it as the library it stands in for, and its settings file. Each copy is a
// module of its own with a simulator of its own behind it, so each case brings its own folder.
// The program restarts itself as a second process to trace to the same file at once.
#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../../support/CrashGuard.h"
#include "../../support/SimulatorDll.h"
#include "TraceFormat.h"

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

fs::path Root()
{
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    return fs::path(std::wstring(temp, length)) / L"norvane-tracing-tests";
}

fs::path BuiltTracing() { return fs::path(ProgramFolder()) / L"tracing" / L"felica.dll"; }

std::string Hex(const uint8_t* bytes, size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string FileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFileText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A trace as a reader sees it: the lines that are whole JSON objects, and those that are not.
struct Trace {
    std::vector<json> lines;
    std::vector<std::string> broken;

    size_t Stopped() const
    {
        size_t count = 0;
        for (const json& line : lines)
            count += line.contains(trace_format::Trace) ? 1 : 0;
        return count;
    }
};

Trace ReadTrace(const fs::path& path)
{
    Trace trace;
    const std::string text = FileText(path);
    for (size_t from = 0; from < text.size();) {
        const size_t end = text.find('\n', from);
        if (end == std::string::npos) {
            trace.broken.push_back(text.substr(from) + " [no line end]");
            break;
        }
        const std::string line = text.substr(from, end - from);
        from = end + 1;
        json parsed = json::parse(line, nullptr, false);
        if (parsed.is_discarded() || !parsed.is_object())
            trace.broken.push_back(line);
        else
            trace.lines.push_back(std::move(parsed));
    }
    return trace;
}

struct LibraryFreer {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Library = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

template <typename Function>
void Resolve(HMODULE module, const char* name, Function& function)
{
    function = module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

ReaderEntryPoints EntryPointsOf(HMODULE module)
{
    ReaderEntryPoints e;
    Resolve(module, "initialize_library", e.initialize_library);
    Resolve(module, "dispose_library", e.dispose_library);
    Resolve(module, "open_reader_writer_auto", e.open_reader_writer_auto);
    Resolve(module, "close_reader_writer", e.close_reader_writer);
    Resolve(module, "polling_and_get_card_information", e.polling_and_get_card_information);
    Resolve(module, "read_block_without_encryption", e.read_block_without_encryption);
    Resolve(module, "get_last_error_type", e.get_last_error_type);
    return e;
}

// The simulator's own exports, for scripting it and reading what it saw.
struct Simulator {
    void (*reset)() = nullptr;
    void (*setScript)(const SimScript*) = nullptr;
    void (*getScript)(SimScript*) = nullptr;
    int32_t (*callCount)() = nullptr;
    int32_t (*getCall)(int32_t, SimCall*) = nullptr;

    void Follow(const SimScript& script) const
    {
        reset();
        setScript(&script);
    }

    std::vector<SimCall> Calls() const
    {
        std::vector<SimCall> calls(static_cast<size_t>(callCount()));
        for (size_t i = 0; i < calls.size(); ++i)
            getCall(static_cast<int32_t>(i), &calls[i]);
        return calls;
    }
};

// A folder with a copy of the tracing library as felica.dll, the library it stands in for beside
// it (or none), and settings that trace at level 2 to trace.jsonl in the same folder. Never the
// folder of an earlier place: the library it stands in for stays loaded, and a path that is
// loaded already gives the module loaded, with its state.
class Place {
public:
    explicit Place(const std::wstring& name, const wchar_t* traced = L"simulator")
        : folder_(Root() / (name + L"-" + std::to_wstring(++made_)))
    {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        fs::copy_file(BuiltTracing(), folder_ / L"felica.dll");
        if (traced)
            InstallSimulator(Traced(), traced);
        Settings(2);
    }

    const fs::path& Folder() const { return folder_; }
    fs::path TracePath() const { return folder_ / L"trace.jsonl"; }
    fs::path Traced() const { return folder_ / (std::wstring(L"felica.dll") + trace_format::TracedSuffix); }
    fs::path SettingsPath() const { return folder_ / trace_format::SettingsFileName; }

    void Settings(const std::string& text) const { WriteFileText(SettingsPath(), text); }
    void Settings(int level, const std::string& more = "") const
    {
        Settings("level=" + std::to_string(level) + "\r\nfile=" + TracePath().string() + "\r\n" + more);
    }

    ReaderEntryPoints Load()
    {
        tracing_.reset(LoadLibraryW((folder_ / L"felica.dll").c_str()));
        EXPECT_TRUE(tracing_) << "error " << GetLastError();
        return EntryPointsOf(tracing_.get());
    }

    // The library it stands in for, loaded by the test as well, to script it and to call it directly.
    HMODULE TracedModule()
    {
        if (!traced_)
            traced_.reset(LoadLibraryW(Traced().c_str()));
        return traced_.get();
    }
    ReaderEntryPoints Direct() { return EntryPointsOf(TracedModule()); }
    Simulator Sim()
    {
        Simulator sim;
        Resolve(TracedModule(), "sim_reset", sim.reset);
        Resolve(TracedModule(), "sim_set_script", sim.setScript);
        Resolve(TracedModule(), "sim_get_script", sim.getScript);
        Resolve(TracedModule(), "sim_call_count", sim.callCount);
        Resolve(TracedModule(), "sim_get_call", sim.getCall);
        EXPECT_TRUE(sim.reset && sim.setScript && sim.getScript && sim.callCount && sim.getCall);
        return sim;
    }

private:
    static inline int made_ = 0;
    fs::path folder_;
    Library traced_, tracing_;
};

// What a caller ends with after the seven calls: each result, and every buffer it passed.
struct Outcome {
    uint32_t results[7];
    uint8_t cards, idm[8], pmm[8], flag1, flag2, blocks, data[16];
    int32_t errorCode;

    bool operator==(const Outcome&) const = default;
};

// The calls in the order Drive makes them, by their index in ReaderEntryPointNames.
constexpr int DriveOrder[7] = {SimInitializeLibrary, SimOpenReaderWriterAuto, SimPollingAndGetCardInformation,
                               SimReadBlockWithoutEncryption, SimGetLastErrorType, SimCloseReaderWriter,
                               SimDisposeLibrary};

// A caller's buffers before the calls: a pattern that no library writes by chance.
Outcome Untouched()
{
    Outcome outcome;
    std::memset(&outcome, 0xA5, sizeof outcome);
    std::memset(outcome.results, 0, sizeof outcome.results);
    return outcome;
}

template <typename Function, typename... Arguments>
uint32_t Call(Function function, Arguments... arguments)
{
    return function ? function(arguments...) : 0;
}

// A read as the control makes it, with every call made whatever the one before gave. The poll
// carries the tag in its system code and time slot, to find the call again in the trace.
Outcome Drive(const ReaderEntryPoints& e, uint16_t tag = 0xFE00, uint8_t slot = 0)
{
    Outcome o = Untouched();
    uint8_t systemCode[2] = {static_cast<uint8_t>(tag >> 8), static_cast<uint8_t>(tag)};
    TPolling_Param polling{systemCode, slot};
    TCard_Info info{o.idm, o.pmm};
    uint8_t services[2] = {0x0B, 0x11}, blocks[2] = {0x80, 0x00};
    TRead_Param read{o.idm, 1, services, 1, blocks};
    TRead_Result result{&o.flag1, &o.flag2, &o.blocks, o.data};
    o.results[0] = Call(e.initialize_library);
    o.results[1] = Call(e.open_reader_writer_auto);
    o.results[2] = Call(e.polling_and_get_card_information, &polling, &o.cards, &info);
    o.results[3] = Call(e.read_block_without_encryption, &read, &result);
    o.results[4] = Call(e.get_last_error_type, &o.errorCode);
    o.results[5] = Call(e.close_reader_writer);
    o.results[6] = Call(e.dispose_library);
    return o;
}

std::string Masked(const uint8_t* bytes, size_t count, size_t keepFrom, size_t keep)
{
    return std::string(2 * keepFrom, '*') + Hex(bytes + keepFrom, keep) + std::string(2 * (count - keepFrom - keep), '*');
}

std::string ShownIdm(const uint8_t* idm, int level) { return level == 2 ? Hex(idm, 8) : Masked(idm, 8, 6, 2); }
std::string ShownBlock(const uint8_t* data, int level) { return level == 2 ? Hex(data, 16) : Masked(data, 16, 8, 2); }

// The line's time, read back, within ten minutes of now: a wrong date or zone would be hours off.
void ExpectTimeIsNow(const json& line)
{
    const std::string time = line.value(trace_format::Time, "");
    SYSTEMTIME at{};
    int micro = -1;
    char zone = 0;
    ASSERT_EQ(time.size(), 27u) << time;
    ASSERT_EQ(std::sscanf(time.c_str(), "%4hu-%2hu-%2huT%2hu:%2hu:%2hu.%6d%c", &at.wYear, &at.wMonth, &at.wDay,
                          &at.wHour, &at.wMinute, &at.wSecond, &micro, &zone),
              8)
        << time;
    EXPECT_EQ(zone, 'Z');
    FILETIME written{}, now{};
    ASSERT_TRUE(SystemTimeToFileTime(&at, &written)) << time;
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& t) { return static_cast<int64_t>(uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime); };
    EXPECT_LT(std::llabs(ticks(now) - ticks(written)), 10LL * 60 * 10000000) << time;
}

// The lines of one driven read against what the simulator saw and what the caller got.
void ExpectLinesOfRead(const std::vector<json>& lines, const std::vector<SimCall>& calls, const Outcome& o, int level,
                       const std::string& name)
{
    ASSERT_EQ(calls.size(), 7u) << name;
    ASSERT_EQ(lines.size(), 7u) << name;
    for (size_t i = 0; i < 7; ++i) {
        const json& line = lines[i];
        const SimCall& call = calls[i];
        const std::string where = name + ", line " + std::to_string(i);
        EXPECT_EQ(call.entryPoint, DriveOrder[i]) << where;
        const auto kept = [&line](const char* key) { return line.contains(key) ? line.at(key) : json(); };
        EXPECT_TRUE(kept(trace_format::Microseconds).is_number_unsigned()) << where;
        ExpectTimeIsNow(line);
        json expected = {
            {trace_format::Format, 1},
            {trace_format::Time, kept(trace_format::Time)},
            {trace_format::Process, GetCurrentProcessId()},
            {trace_format::Thread, GetCurrentThreadId()},
            {trace_format::Level, level},
            {trace_format::Call, ReaderEntryPointNames[call.entryPoint]},
            {trace_format::Result, o.results[i]},
            {trace_format::Microseconds, kept(trace_format::Microseconds)},
        };
        if (call.entryPoint == SimPollingAndGetCardInformation) {
            expected[trace_format::SystemCode] = Hex(call.systemCode, 2);
            expected[trace_format::TimeSlot] = call.timeSlot;
            expected[trace_format::Cards] = o.cards;
            expected[trace_format::Idm] = ShownIdm(o.idm, level);
            expected[trace_format::Pmm] = Hex(o.pmm, 8);
        } else if (call.entryPoint == SimReadBlockWithoutEncryption) {
            expected[trace_format::Idm] = ShownIdm(call.idm, level);
            expected[trace_format::Services] = Hex(call.serviceCodeList, 2);
            expected[trace_format::BlockList] = Hex(call.blockList, 2);
            expected[trace_format::StatusFlag1] = o.flag1;
            expected[trace_format::StatusFlag2] = o.flag2;
            expected[trace_format::Blocks] = o.blocks;
            expected[trace_format::BlockData] = ShownBlock(o.data, level);
        } else if (call.entryPoint == SimGetLastErrorType) {
            expected[trace_format::ErrorCode] = o.errorCode;
        }
        EXPECT_EQ(line, expected) << where;
    }
}

struct Scenario {
    const char* name;
    std::function<void(SimScript&)> change;
};

const Scenario Scenarios[] = {
    {"a good read", [](SimScript&) {}},
    {"no card", [](SimScript& s) { s.numberOfCards = 0; }},
    {"reader unplugged",
     [](SimScript& s) {
         s.results[SimOpenReaderWriterAuto] = 0;
         s.errorCodes[SimOpenReaderWriterAuto] = 1028;
     }},
    {"a failing read",
     [](SimScript& s) {
         s.statusFlag1 = 0xA6;
         s.statusFlag2 = 0x70;
         s.results[SimReadBlockWithoutEncryption] = 0;
         s.errorCodes[SimReadBlockWithoutEncryption] = -3;
     }},
    {"a library that writes nothing",
     [](SimScript& s) {
         s.writesPollOutputs = 0;
         s.writesReadOutputs = 0;
         s.writesErrorCode = 0;
     }},
};

SimScript ScriptOf(const Simulator& sim, const Scenario& scenario)
{
    sim.reset();
    SimScript script{};
    sim.getScript(&script);
    scenario.change(script);
    return script;
}

TEST(TracingLibrary, EachScenarioPassesThroughUnchangedAndIsTracedInOrder)
{
    const std::string wholeIdm = "012E4C7A9B3D1108", cardNumber = "2160012345678901";
    for (const int level : {1, 2}) {
        Place place(L"scenarios-" + std::to_wstring(level));
        place.Settings(level);
        const ReaderEntryPoints tracing = place.Load();
        const Simulator sim = place.Sim();
        for (const Scenario& scenario : Scenarios) {
            const std::string name = std::string(scenario.name) + " at level " + std::to_string(level);
            const SimScript script = ScriptOf(sim, scenario);
            const size_t before = ReadTrace(place.TracePath()).lines.size();
            sim.Follow(script);
            const Outcome traced = Drive(tracing);
            const std::vector<SimCall> calls = sim.Calls();
            sim.Follow(script);
            const Outcome direct = Drive(place.Direct());
            EXPECT_TRUE(traced == direct) << name;

            const Trace trace = ReadTrace(place.TracePath());
            EXPECT_TRUE(trace.broken.empty()) << name << ": " << trace.broken.front();
            ASSERT_GE(trace.lines.size(), before) << name;
            ExpectLinesOfRead(std::vector<json>(trace.lines.begin() + static_cast<ptrdiff_t>(before), trace.lines.end()),
                              calls, traced, level, name);
        }
        // Over every scenario, level 1 never holds what names a card.
        const std::string text = FileText(place.TracePath());
        EXPECT_EQ(text.find(wholeIdm) != std::string::npos, level == 2) << text;
        EXPECT_EQ(text.find(cardNumber) != std::string::npos, level == 2) << text;
    }
}

TEST(TracingLibrary, WithoutALibraryOrAnEntryPointCallsFailAndSayWhy)
{
    const struct {
        const char* name;
        const wchar_t* traced;
        bool forwarded[7];  // in the order Drive calls
        const char* error;
    } cases[] = {
        {"no library", nullptr, {}, "no library to stand in for"},
        {"a library lacking an entry point", L"simulator-incomplete", {true, true, true, false, true, true, true},
         "lacks the entry point read_block_without_encryption"},
    };
    for (const auto& c : cases) {
        Place place(c.traced ? L"incomplete" : L"none", c.traced);
        const ReaderEntryPoints tracing = place.Load();
        // Loaded on first need, not while the tracing library itself loads.
        EXPECT_EQ(GetModuleHandleW(place.Traced().c_str()), nullptr) << c.name;
        Outcome expected = Untouched();
        if (c.traced) {
            const Simulator sim = place.Sim();
            sim.reset();
            expected = Drive(place.Direct());
            sim.reset();
        }
        const Outcome got = Drive(tracing);
        EXPECT_TRUE(got == expected) << c.name;

        const Trace trace = ReadTrace(place.TracePath());
        EXPECT_TRUE(trace.broken.empty()) << c.name;
        ASSERT_EQ(trace.lines.size(), 7u) << c.name;
        for (size_t i = 0; i < 7; ++i) {
            const json& line = trace.lines[i];
            const std::string where = std::string(c.name) + ", line " + std::to_string(i);
            EXPECT_EQ(line.value(trace_format::Call, ""), ReaderEntryPointNames[DriveOrder[i]]) << where;
            EXPECT_EQ(line.value(trace_format::Result, ~0u), got.results[i]) << where;
            EXPECT_EQ(line.contains(trace_format::Error), !c.forwarded[i]) << where;
            if (!c.forwarded[i]) {
                EXPECT_EQ(got.results[i], 0u) << where;
                EXPECT_NE(line.value(trace_format::Error, "").find(c.error), std::string::npos) << where;
                // What the caller's buffers would hold is not read: the library never wrote them.
                for (const char* output : {trace_format::Cards, trace_format::Pmm, trace_format::StatusFlag1,
                                           trace_format::BlockData, trace_format::ErrorCode})
                    EXPECT_FALSE(line.contains(output)) << where << ": " << output;
            }
        }
    }
}

// A library put in place after the first calls is found at the next initialize_library, where a
// read begins; not by each call in between, which would look for it every time.
TEST(TracingLibrary, ALibraryPutInPlaceLaterIsFoundAtTheNextRead)
{
    Place place(L"later", nullptr);
    const ReaderEntryPoints tracing = place.Load();
    EXPECT_TRUE(Drive(tracing) == Untouched());
    InstallSimulator(place.Traced());
    EXPECT_EQ(tracing.open_reader_writer_auto(), 0u);
    EXPECT_EQ(GetModuleHandleW(place.Traced().c_str()), nullptr);
    EXPECT_EQ(tracing.initialize_library(), 1u);
    EXPECT_NE(GetModuleHandleW(place.Traced().c_str()), nullptr);
    EXPECT_EQ(tracing.open_reader_writer_auto(), 1u);
    const Trace trace = ReadTrace(place.TracePath());
    ASSERT_EQ(trace.lines.size(), 10u);
    EXPECT_TRUE(trace.lines[8].value(trace_format::Result, 0u) == 1 && !trace.lines[8].contains(trace_format::Error));
}

// Wherever the trace cannot go, the calls go on as they would without it, and at most one line says
// the trace stopped; a setting that is not understood takes its default, which here is a folder
// of the case's own.
TEST(TracingLibrary, NoBadPlaceChangesAResult)
{
    using Prepare = std::function<std::string(const Place&, UniqueHandle& held)>;
    const auto file = [](const fs::path& path) { return "level=2\r\nfile=" + path.string() + "\r\n"; };
    const struct {
        const char* name;
        Prepare prepare;  // makes the place bad and gives the settings' text
        bool defaults;    // whether the trace goes to the default file, at level 1
    } cases[] = {
        {"a folder that cannot be made",
         [&](const Place& p, UniqueHandle&) {
             WriteFileText(p.Folder() / L"plain", "a file where a folder should be");
             return file(p.Folder() / L"plain" / L"sub" / L"trace.jsonl");
         },
         false},
        {"a folder at the file's path",
         [&](const Place& p, UniqueHandle&) {
             fs::create_directory(p.TracePath());
             return file(p.TracePath());
         },
         false},
        {"a file locked by another handle",
         [&](const Place& p, UniqueHandle& held) {
             held.reset(CreateFileW(p.TracePath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
             EXPECT_NE(held.get(), INVALID_HANDLE_VALUE);
             return file(p.TracePath());
         },
         false},
        {"a full disk", [&](const Place&, UniqueHandle&) { return file("Z:\\dev\\full"); }, false},
        {"settings that are all broken",
         [&](const Place&, UniqueHandle&) {
             return "level=9\r\nfile=relative\\trace.jsonl\r\nrollover_bytes=lots\r\n" + std::string("\xFF\xFE\0\x01", 4);
         },
         true},
        {"a file named by a variable that is not set",
         [&](const Place&, UniqueHandle&) { return std::string("level=1\r\nfile=%NORVANE_NOT_SET%\\trace.jsonl\r\n"); },
         true},
        {"settings too long to be settings",
         [&](const Place& p, UniqueHandle&) { return file(p.TracePath()) + std::string(70000, '\n'); }, true},
        {"no settings at all",
         [&](const Place& p, UniqueHandle&) {
             fs::remove(p.SettingsPath());
             return std::string();
         },
         true},
    };
    for (const auto& c : cases) {
        Place place(L"bad-place");
        const fs::path local = place.Folder() / L"local", defaultTrace = local / L"Norvane" / L"felica-trace.jsonl";
        SetEnvironmentVariableW(L"LOCALAPPDATA", local.c_str());
        UniqueHandle held;
        const std::string settings = c.prepare(place, held);
        if (!settings.empty())
            place.Settings(settings);
        const ReaderEntryPoints tracing = place.Load();
        const Simulator sim = place.Sim();
        // Twice: a second read, beginning with initialize_library, tries the place again.
        for (int read = 0; read < 2; ++read) {
            sim.reset();
            const Outcome traced = Drive(tracing);
            sim.reset();
            EXPECT_TRUE(traced == Drive(place.Direct())) << c.name << ", read " << read;
        }
        held.reset();

        for (const fs::path& at : {place.TracePath(), defaultTrace}) {
            if (!fs::is_regular_file(at))
                continue;
            const Trace trace = ReadTrace(at);
            EXPECT_TRUE(trace.broken.empty()) << c.name;
            EXPECT_LE(trace.Stopped(), 1u) << c.name;
        }
        const Trace atDefault = ReadTrace(defaultTrace);
        EXPECT_EQ(atDefault.lines.size(), c.defaults ? 14u : 0u) << c.name;
        for (const json& line : atDefault.lines)
            EXPECT_EQ(line.value(trace_format::Level, 0), 1) << c.name;
        if (c.defaults)
            EXPECT_FALSE(fs::exists(place.TracePath())) << c.name;
        else
            EXPECT_EQ(ReadTrace(place.TracePath()).lines.size(), 0u) << c.name;
    }
    SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);
}

// The file moved away and a folder put in its place while a read goes on: the line that says the
// trace stopped goes to the file as it was, once, however many calls and reads follow; once the
// path can be written again, the next read traces there.
TEST(TracingLibrary, ATraceThatCannotGoOnStopsOnceAndResumesAtALaterRead)
{
    Place place(L"moved");
    const ReaderEntryPoints tracing = place.Load();
    ASSERT_EQ(tracing.initialize_library(), 1u);
    ASSERT_EQ(tracing.open_reader_writer_auto(), 1u);
    const fs::path aside = place.Folder() / L"aside.jsonl";
    fs::rename(place.TracePath(), aside);
    fs::create_directory(place.TracePath());

    Outcome stopped = Drive(tracing);
    Outcome again = Drive(tracing);
    for (const Outcome& o : {stopped, again})
        for (uint32_t result : o.results)
            EXPECT_EQ(result, 1u);
    const Trace trace = ReadTrace(aside);
    EXPECT_TRUE(trace.broken.empty());
    ASSERT_EQ(trace.lines.size(), 3u);
    EXPECT_EQ(trace.lines[1].value(trace_format::Call, ""), "open_reader_writer_auto");
    EXPECT_EQ(trace.lines[2].value(trace_format::Trace, ""), trace_format::Stopped);
    EXPECT_NE(trace.lines[2].value(trace_format::Reason, "").find("cannot be opened"), std::string::npos);

    fs::remove(place.TracePath());
    EXPECT_EQ(tracing.open_reader_writer_auto(), 1u);  // still within the stopped read
    EXPECT_FALSE(fs::exists(place.TracePath()));
    EXPECT_EQ(tracing.initialize_library(), 1u);
    const Trace resumed = ReadTrace(place.TracePath());
    ASSERT_EQ(resumed.lines.size(), 1u);
    EXPECT_EQ(resumed.lines[0].value(trace_format::Call, ""), "initialize_library");
    EXPECT_EQ(ReadTrace(aside).lines.size(), 3u);
}

TEST(TracingLibrary, TheSettingsAreReadAgainWhereAReadBegins)
{
    Place place(L"settings");
    place.Settings(1);
    const ReaderEntryPoints tracing = place.Load();
    ASSERT_EQ(tracing.initialize_library(), 1u);
    const fs::path elsewhere = place.Folder() / L"elsewhere" / L"level2.jsonl";
    place.Settings("level=2\r\nfile=" + elsewhere.string() + "\r\n");
    ASSERT_EQ(tracing.dispose_library(), 1u);  // the read that began goes on as it began
    EXPECT_TRUE(Drive(tracing).results[0] == 1);

    const Trace first = ReadTrace(place.TracePath()), second = ReadTrace(elsewhere);
    ASSERT_EQ(first.lines.size(), 2u);
    ASSERT_EQ(second.lines.size(), 7u);
    for (const json& line : first.lines)
        EXPECT_EQ(line.value(trace_format::Level, 0), 1);
    for (const json& line : second.lines)
        EXPECT_EQ(line.value(trace_format::Level, 0), 2);
    EXPECT_EQ(second.lines[2].value(trace_format::Idm, ""), "012E4C7A9B3D1108");
}

// The calls of every thread, in the order of the files given, each as Drive makes them: whole
// reads with their tags counting up from 0; calls counts them all.
void ExpectWholeReadsPerThread(const std::vector<const Trace*>& traces, int reads, size_t& calls)
{
    std::map<std::pair<uint64_t, uint64_t>, std::vector<const json*>> threads;
    calls = 0;
    for (const Trace* trace : traces) {
        EXPECT_TRUE(trace->broken.empty()) << trace->broken.size() << " broken, the first: " << trace->broken.front();
        for (const json& line : trace->lines) {
            threads[{line.value(trace_format::Process, 0ull), line.value(trace_format::Thread, 0ull)}].push_back(&line);
            ++calls;
        }
    }
    for (const auto& [thread, lines] : threads) {
        ASSERT_EQ(lines.size(), 7u * reads) << "process " << thread.first << " thread " << thread.second;
        for (size_t i = 0; i < lines.size(); ++i) {
            const json& line = *lines[i];
            ASSERT_EQ(line.value(trace_format::Call, ""), ReaderEntryPointNames[DriveOrder[i % 7]])
                << "process " << thread.first << " thread " << thread.second << ", call " << i;
            if (DriveOrder[i % 7] == SimPollingAndGetCardInformation) {
                char tag[5];
                std::snprintf(tag, sizeof tag, "%04X", static_cast<unsigned>(i / 7));
                ASSERT_EQ(line.value(trace_format::SystemCode, ""), tag);
            }
        }
    }
}

void Hammer(const ReaderEntryPoints& tracing, int threads, int reads)
{
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&tracing, reads, t] {
            for (int i = 0; i < reads; ++i)
                Drive(tracing, static_cast<uint16_t>(i), static_cast<uint8_t>(t));
        });
    for (std::thread& worker : workers)
        worker.join();
}

// Child side: the tracing library of that folder, hammered from several threads once the parent says go.
int HammerChild(const fs::path& folder, int threads, int reads, const std::wstring& events)
{
    const Library tracing(LoadLibraryW((folder / L"felica.dll").c_str()));
    const UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, (events + L".ready").c_str()));
    const UniqueHandle go(OpenEventW(SYNCHRONIZE, FALSE, (events + L".go").c_str()));
    if (!tracing || !ready || !go)
        return 3;
    SetEvent(ready.get());
    if (WaitForSingleObject(go.get(), 60000) != WAIT_OBJECT_0)
        return 4;
    Hammer(EntryPointsOf(tracing.get()), threads, reads);
    return 0;
}

// Two processes with several threads each, reading at once into one file: only whole lines, every
// call of every thread, in its order. Then again with the rollover set to come once, about halfway:
// processes that reach it together must neither lose lines nor roll the file twice.
TEST(TracingLibrary, TwoProcessesWithSeveralThreadsKeepEveryLineWhole)
{
    constexpr int threads = 4, reads = 150;
    uintmax_t unrolledSize = 0;
    for (const bool rolling : {false, true}) {
        Place place(rolling ? L"two-processes-rolling" : L"two-processes");
        if (rolling)
            place.Settings(2, "rollover_bytes=" + std::to_string(unrolledSize * 6 / 10) + "\r\n");
        const ReaderEntryPoints tracing = place.Load();
        const std::wstring events = L"Local\\norvane-tracing-test-" + std::to_wstring(GetCurrentProcessId()) +
                                    (rolling ? L"-rolling" : L"");
        const UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, (events + L".ready").c_str()));
        const UniqueHandle go(CreateEventW(nullptr, TRUE, FALSE, (events + L".go").c_str()));
        ASSERT_TRUE(ready && go);

        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        ChildResult child;
        std::thread childRun([&] {
            child = RunChild(L"\"" + std::wstring(self) + L"\" --hammer \"" + place.Folder().wstring() + L"\" " +
                                 std::to_wstring(threads) + L" " + std::to_wstring(reads) + L" " + events,
                             120000);
        });
        EXPECT_EQ(WaitForSingleObject(ready.get(), 60000), WAIT_OBJECT_0);
        SetEvent(go.get());
        Hammer(tracing, threads, reads);
        childRun.join();
        EXPECT_EQ(child.exitCode, 0u) << child.output;

        const fs::path older = fs::path(place.TracePath()) += L".1";
        const Trace first = ReadTrace(older), second = ReadTrace(place.TracePath());
        EXPECT_EQ(fs::exists(older), rolling);
        size_t calls = 0;
        ExpectWholeReadsPerThread({&first, &second}, reads, calls);
        EXPECT_EQ(calls, 2u * threads * reads * 7) << "rolling " << rolling;
        if (!rolling)
            unrolledSize = fs::file_size(place.TracePath());
    }
}

// Past the cap the file becomes "<file>.1", over an older one, and a new file begins; each holds
// whole lines, no more than the cap, and between them the latest calls without a gap.
TEST(TracingLibrary, RolloverKeepsTheLatestLinesWholeInTwoFiles)
{
    constexpr uint64_t cap = 2048;
    Place place(L"rollover");
    place.Settings(2, "rollover_bytes=" + std::to_string(cap) + "\r\n");
    const fs::path older = fs::path(place.TracePath()) += L".1";
    WriteFileText(older, "an older trace that the first rollover replaces\n");
    const ReaderEntryPoints tracing = place.Load();
    constexpr int reads = 40;
    for (int i = 0; i < reads; ++i)
        Drive(tracing, static_cast<uint16_t>(i));

    const Trace first = ReadTrace(older), second = ReadTrace(place.TracePath());
    std::vector<int> tags;
    for (const Trace* trace : {&first, &second}) {
        EXPECT_TRUE(trace->broken.empty()) << trace->broken.front();
        for (const json& line : trace->lines)
            if (line.contains(trace_format::SystemCode))
                tags.push_back(std::stoi(line.value(trace_format::SystemCode, ""), nullptr, 16));
    }
    EXPECT_LE(fs::file_size(older), cap);
    EXPECT_LE(fs::file_size(place.TracePath()), cap);
    ASSERT_GE(tags.size(), 2u);
    EXPECT_EQ(tags.back(), reads - 1);
    for (size_t i = 1; i < tags.size(); ++i)
        EXPECT_EQ(tags[i], tags[i - 1] + 1) << "a gap between the files";
    EXPECT_FALSE(first.lines.empty());
    EXPECT_EQ(FileText(older).find("an older trace"), std::string::npos);
}

TEST(TracingLibrary, ItsVersionResourceNamesIt)
{
    const std::wstring path = BuiltTracing().wstring();
    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    wchar_t* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\000004B0\\FileDescription",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(std::wstring(text), L"Norvane tracing reader library");
}

}  // namespace

int main(int argc, char** argv)
{
    CrashGuard::Install();
    if (argc >= 6 && std::strcmp(argv[1], "--hammer") == 0) {
        const std::wstring events(argv[5], argv[5] + std::strlen(argv[5]));
        return HammerChild(fs::path(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), events);
    }
    std::error_code ignored;
    fs::remove_all(Root(), ignored);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
