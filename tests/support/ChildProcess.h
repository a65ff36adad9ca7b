// Runs a Windows program to its end and collects what it printed (tests only).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

struct HandleCloser {
    void operator()(HANDLE handle) const
    {
        if (handle && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

struct ChildResult {
    DWORD exitCode = ~0u;
    std::string output;  // standard output and standard error, interleaved
};

// commandLine is passed as it stands: quote arguments that hold blanks.
inline ChildResult RunChild(std::wstring commandLine, DWORD timeoutMilliseconds = 60000)
{
    ChildResult result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readRaw = nullptr, writeRaw = nullptr;
    if (!CreatePipe(&readRaw, &writeRaw, &inherit, 0))
        return result;
    UniqueHandle readEnd(readRaw), writeEnd(writeRaw);
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return result;
    UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    writeEnd.reset();  // so that the read below ends when the child does

    // Read while the child runs, and stop when it has ended: a process it started may hold
    // the pipe open for longer (Wine's own helpers do), so the end of the pipe is not waited for.
    const auto drain = [&] {
        DWORD available = 0;
        while (PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(readEnd.get(), buffer, available < sizeof buffer ? available : sizeof buffer, &got, nullptr) ||
                got == 0)
                break;
            result.output.append(buffer, got);
        }
    };
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(processHandle.get(), 20) == WAIT_TIMEOUT) {
        drain();
        if (GetTickCount() - start > timeoutMilliseconds) {
            TerminateProcess(processHandle.get(), ~0u);
            result.output += "\n[the child did not end in time]\n";
            break;
        }
    }
    drain();
    GetExitCodeProcess(processHandle.get(), &result.exitCode);
    return result;
}

// The folder of the running program, with a trailing backslash.
inline std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}
