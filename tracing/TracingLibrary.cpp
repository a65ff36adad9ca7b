// The tracing reader library's seven entry points: each forwards the caller's arguments, as they
// came, to the library it stands in for, gives back whatever that returned and wrote, and
// appends a line saying so to the trace. Nothing the tracing does can change a call's outcome:
// it catches its own failures and falls silent.
#include <windows.h>

#include <atomic>
#include <mutex>  // std::lock_guard

#include "CallFields.h"
#include "Clock.h"
#include "Lock.h"
#include "ReaderEntryPoints.h"
#include "SettingsFile.h"
#include "TraceFormat.h"
#include "TraceWriter.h"
#include "TracedLibrary.h"

namespace {

enum EntryPoint { Initialize, Dispose, Open, Close, Poll, Read, LastError };

// The settings beside the tracing library; none when its folder is unknown, rather than a file of
// that name in whatever folder the host is in.
std::wstring SettingsPath()
{
    const std::wstring folder = OwnFolder();
    return folder.empty() ? std::wstring() : folder + trace_format::SettingsFileName;
}

struct Tracing {
    Lock lock;  // for the settings file, which threads starting a read at once would share
    SettingsFile settings{SettingsPath()};
    TraceWriter writer;
    std::atomic<bool> begun = false;
};

// Made on first need, from an entry point: its construction asks the loader for the own path,
// which must not happen under the loader lock.
Tracing& TheTracing()
{
    static Tracing tracing;
    return tracing;
}

// A read begins with initialize_library, and so do the settings it is traced with; a caller that
// skips it gets them at its first call.
void Begin(bool initialization)
{
    Tracing& tracing = TheTracing();
    if (!initialization && tracing.begun)
        return;
    const std::lock_guard<Lock> guard(tracing.lock);
    tracing.writer.Begin(tracing.settings.Current());
    tracing.begun = true;
}

// One call on its way through, and its line in the making.
class TracedCall {
public:
    TracedCall(EntryPoint entryPoint, bool initialization) noexcept
        : name_(ReaderEntryPointNames[entryPoint]), initialization_(initialization)
    {
        try {
            Begin(initialization);
            const TraceWriter& writer = TheTracing().writer;
            tracing_ = writer.Tracing();
            if (tracing_)
                stamp_ = StampNow(writer.Level());
        } catch (...) {
            tracing_ = false;
        }
    }

    int Level() const { return stamp_.level; }
    bool Forwarded() const { return forwarded_; }

    // Adds fields to the line; a failure to form them costs the line, never the call.
    template <typename Describe>
    void Add(Describe describe) noexcept
    {
        if (!tracing_)
            return;
        try {
            describe(fields_);
        } catch (...) {
            tracing_ = false;
        }
    }

    template <typename Function, typename... Arguments>
    ReaderResult Forward(Function ReaderEntryPoints::*entryPoint, Arguments... arguments)
    {
        const TracedBinding traced = Traced(initialization_);
        const Function function = traced.entryPoints.*entryPoint;
        if (!function) {
            Add([&](TraceFields& fields) { fields.Text(trace_format::Error, NotForwardedReason(traced, name_)); });
            return 0;
        }
        const int64_t start = CounterNow();
        const ReaderResult result = function(arguments...);
        microseconds_ = Microseconds(start, CounterNow());
        forwarded_ = true;
        return result;
    }

    void Finish(ReaderResult result) noexcept
    {
        if (!tracing_)
            return;
        try {
            TheTracing().writer.Append(CallLine(stamp_, name_, result, microseconds_, fields_));
        } catch (...) {
        }
    }

private:
    const char* name_;
    bool initialization_;
    bool tracing_ = false;
    bool forwarded_ = false;
    LineStamp stamp_;
    TraceFields fields_;
    uint64_t microseconds_ = 0;
};

template <typename Function>
ReaderResult Plain(EntryPoint entryPoint, Function ReaderEntryPoints::*function)
{
    TracedCall call(entryPoint, entryPoint == Initialize);
    const ReaderResult result = call.Forward(function);
    call.Finish(result);
    return result;
}

}  // namespace

extern "C" {

ReaderResult READER_CALL initialize_library()
{
    return Plain(Initialize, &ReaderEntryPoints::initialize_library);
}

ReaderResult READER_CALL dispose_library()
{
    return Plain(Dispose, &ReaderEntryPoints::dispose_library);
}

ReaderResult READER_CALL open_reader_writer_auto()
{
    return Plain(Open, &ReaderEntryPoints::open_reader_writer_auto);
}

ReaderResult READER_CALL close_reader_writer()
{
    return Plain(Close, &ReaderEntryPoints::close_reader_writer);
}

ReaderResult READER_CALL polling_and_get_card_information(TPolling_Param* polling,
                                                                uint8_t* number_of_cards,
                                                                TCard_Info* card_info)
{
    TracedCall call(Poll, false);
    call.Add([&](TraceFields& fields) { fields = PollInputs(polling); });
    const ReaderResult result =
        call.Forward(&ReaderEntryPoints::polling_and_get_card_information, polling, number_of_cards, card_info);
    if (call.Forwarded())
        call.Add([&](TraceFields& fields) { AddPollOutputs(fields, call.Level(), number_of_cards, card_info); });
    call.Finish(result);
    return result;
}

ReaderResult READER_CALL read_block_without_encryption(TRead_Param* read, TRead_Result* result)
{
    TracedCall call(Read, false);
    call.Add([&](TraceFields& fields) { fields = ReadInputs(call.Level(), read); });
    const ReaderResult returned = call.Forward(&ReaderEntryPoints::read_block_without_encryption, read, result);
    if (call.Forwarded())
        call.Add([&](TraceFields& fields) { AddReadOutputs(fields, call.Level(), result); });
    call.Finish(returned);
    return returned;
}

ReaderResult READER_CALL get_last_error_type(int32_t* error_code)
{
    TracedCall call(LastError, false);
    const ReaderResult result = call.Forward(&ReaderEntryPoints::get_last_error_type, error_code);
    if (call.Forwarded())
        call.Add([&](TraceFields& fields) { AddErrorCode(fields, error_code); });
    call.Finish(result);
    return result;
}

}  // extern "C"
