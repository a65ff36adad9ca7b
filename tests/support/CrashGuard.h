// Turns a crash in our own code into a visible failure (tests only). Wine swallows an
// access violation raised inside a window procedure and the message simply returns, so a
// fault in the form's window code would otherwise pass unseen. Install it first thing in
// main (or in a global test environment); it ends the process with ExitCode after printing
// where the fault happened.
#pragma once

#include <windows.h>

namespace CrashGuard {

// Distinct from any count of failed tests and from a killed child's ~0u.
constexpr DWORD ExitCode = 0x0BADC0DE;

// Where the address lies: "Norvane.ocx+0x1234", or "no module 0x..." for code that was
// unloaded (or a jump through a dangling pointer).
// text holds at least MAX_PATH + 32 characters.
inline void DescribeAddress(const void* address, char* text)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module)) {
        wsprintfA(text, "no module %p", address);
        return;
    }
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    const char* name = path;
    for (DWORD i = 0; i < length; ++i)
        if (path[i] == '\\' || path[i] == '/')
            name = path + i + 1;
    wsprintfA(text, "%s+0x%lx", length ? name : "?",
               static_cast<unsigned long>(static_cast<const char*>(address) - reinterpret_cast<const char*>(module)));
}

// A fault is ours when it happens in Norvane.ocx, in the test program or in no module at
// all; Wine probes memory inside system libraries on purpose, and those faults are handled.
inline bool IsOurs(const void* address)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return true;
    return module == GetModuleHandleW(nullptr) || module == GetModuleHandleW(L"Norvane.ocx");
}

inline LONG CALLBACK Handler(EXCEPTION_POINTERS* information)
{
    const EXCEPTION_RECORD& record = *information->ExceptionRecord;
    if (record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION && record.ExceptionCode != EXCEPTION_ILLEGAL_INSTRUCTION &&
        record.ExceptionCode != EXCEPTION_PRIV_INSTRUCTION && record.ExceptionCode != EXCEPTION_STACK_OVERFLOW)
        return EXCEPTION_CONTINUE_SEARCH;
    if (!IsOurs(record.ExceptionAddress))
        return EXCEPTION_CONTINUE_SEARCH;
    // Little stack and no C runtime: this may run on an overflowed stack, or while the
    // faulting code holds the runtime's locks.
    char where[MAX_PATH + 32], line[1100];  // wsprintfA writes at most 1024
    DescribeAddress(record.ExceptionAddress, where);
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
        const ULONG_PTR kind = record.ExceptionInformation[0];
        wsprintfA(line, "\n[crash] access violation at %s: %s of %p\n", where,
                   kind == 0 ? "read" : kind == 1 ? "write" : "execution",
                   reinterpret_cast<void*>(record.ExceptionInformation[1]));
    } else {
        wsprintfA(line, "\n[crash] exception 0x%08lx at %s\n",
                   static_cast<unsigned long>(record.ExceptionCode), where);
    }
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, lstrlenA(line), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), ExitCode);
    return EXCEPTION_CONTINUE_SEARCH;
}

inline void Install() { AddVectoredExceptionHandler(1, Handler); }

}  // namespace CrashGuard
