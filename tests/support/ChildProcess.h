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

    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        result.output.append(buffer, got);
    if (WaitForSingleObject(processHandle.get(), timeoutMilliseconds) != WAIT_OBJECT_0)
        TerminateProcess(processHandle.get(), ~0u);
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
