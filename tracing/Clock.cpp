#include "Clock.h"

#include <windows.h>

namespace {

using TimeFunction = VOID(WINAPI*)(LPFILETIME);

// Looked up rather than imported: a system older than Windows 8 lacks the precise clock, and a
// library that failed to load there would leave the control without any reader at all.
TimeFunction SystemTimeFunction()
{
    static const TimeFunction function = [] {
        const auto precise = reinterpret_cast<TimeFunction>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
        return precise ? precise : &GetSystemTimeAsFileTime;
    }();
    return function;
}

}  // namespace

LineStamp StampNow(int level)
{
    FILETIME now{};
    SystemTimeFunction()(&now);
    LineStamp stamp;
    stamp.fileTime = uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
    stamp.process = GetCurrentProcessId();
    stamp.thread = GetCurrentThreadId();
    stamp.level = level;
    return stamp;
}

int64_t CounterNow()
{
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

uint64_t Microseconds(int64_t from, int64_t to)
{
    LARGE_INTEGER frequency{};
    if (to <= from || !QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0)
        return 0;
    const auto ticks = static_cast<uint64_t>(to - from), perSecond = static_cast<uint64_t>(frequency.QuadPart);
    // In two parts, so that a long call at a fast counter does not overflow.
    return ticks / perSecond * 1000000 + ticks % perSecond * 1000000 / perSecond;
}
