// The library that the tracing library stands in for: "felica.dll.traced" in its own folder
// (Windows only). Loaded on first need, never under the loader lock, and never unloaded: a call
// into it may still be running on another thread when the tracing library is told to go.
#pragma once

#include <windows.h>

#include <string>

#include "../reader/ReaderEntryPoints.h"

struct TracedBinding {
    ReaderEntryPoints entryPoints;  // those the library has; none when it did not load
    bool loaded = false;
    DWORD loadError = 0;
};

// The folder of the module holding this code, with a trailing backslash; empty when its path
// cannot be had.
std::wstring OwnFolder();

// The binding as it stands. With retry, a library that failed to load is tried again (at each
// initialize_library, so that one put in place later is found without restarting the host).
TracedBinding Traced(bool retry);

// Why a call could not be forwarded: the library did not load, or lacks the entry point.
std::string NotForwardedReason(const TracedBinding& binding, const char* entryPoint);
