// Binding a loaded reader library's entry points, shared by the control and by the tracing
// library that forwards to the real one.
#pragma once

#include <windows.h>

#include <type_traits>

#include "ReaderEntryPoints.h"

// Every entry point by its exported name; one the library lacks stays null.
inline void BindEntryPoints(HMODULE module, ReaderEntryPoints& entryPoints)
{
    entryPoints.ForEach([module](const char* name, auto& entryPoint) {
        entryPoint = reinterpret_cast<std::remove_reference_t<decltype(entryPoint)>>(
            reinterpret_cast<void*>(GetProcAddress(module, name)));
    });
}
