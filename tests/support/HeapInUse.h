// Bytes in allocated blocks across the process's heaps (tests only): Wine reports no private
// bytes, so a leak shows here or nowhere.
#pragma once

#include <windows.h>

#include <cstddef>

inline size_t HeapInUse()
{
    size_t total = 0;
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; ++i) {
        PROCESS_HEAP_ENTRY entry{};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}
