// What the library keeps as a whole: its module handle, whether the process is ending, and the
// count that decides when COM may unload it.
#pragma once

#include <windows.h>

#include <atomic>

extern HINSTANCE LibraryInstance;

// Set while the library unloads because the process ends: other libraries may be gone
// already, so nothing of theirs is released then.
extern std::atomic<bool> LibraryUnloadsWithProcess;

// Live objects, references to the class factory and LockServer(TRUE) locks.
extern std::atomic<long> LibraryUsers;

// One use of the library for as long as it lives.
class LibraryUse {
public:
    LibraryUse() { ++LibraryUsers; }
    ~LibraryUse() { --LibraryUsers; }
    LibraryUse(const LibraryUse&) = delete;
    LibraryUse& operator=(const LibraryUse&) = delete;
};
