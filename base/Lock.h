// Locks for the little state that controls on several threads share. On Windows they are the
// platform's own: the standard ones would pull a threads library into Norvane.ocx.
#pragma once

#ifdef _WIN32

#include <windows.h>

class Lock {
public:
    Lock() = default;
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

// One that the thread holding it may take again.
class RecursiveLock {
public:
    RecursiveLock() { InitializeCriticalSection(&section_); }
    ~RecursiveLock() { DeleteCriticalSection(&section_); }
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;
    void lock() { EnterCriticalSection(&section_); }
    void unlock() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

#else

#include <mutex>

using Lock = std::mutex;
using RecursiveLock = std::recursive_mutex;

#endif
