// The reader simulator DLL as tests find, install and drive it (Windows tests only).
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ChildProcess.h"
#include "ReaderLibrary.h"
#include "SimulatorScript.h"

// The simulator as built: "simulator" is complete, "simulator-incomplete" lacks an entry point.
inline std::filesystem::path BuiltSimulator(const wchar_t* folder = L"simulator")
{
    return std::filesystem::path(ProgramFolder()) / folder / L"felica.dll";
}

inline void InstallSimulator(const std::filesystem::path& at, const wchar_t* folder = L"simulator")
{
    std::filesystem::create_directories(at.parent_path());
    std::filesystem::copy_file(BuiltSimulator(folder), at, std::filesystem::copy_options::overwrite_existing);
}

// The simulator with its image header saying it was built for the other processor: as far as
// anyone can tell without loading it, a 32-bit library for a 64-bit process (or the other way round).
inline void InstallOtherProcessorLibrary(const std::filesystem::path& at)
{
    InstallSimulator(at);
    std::fstream file(at, std::ios::in | std::ios::out | std::ios::binary);
    uint32_t signature = 0;
    file.seekg(0x3C).read(reinterpret_cast<char*>(&signature), 4);
    const uint16_t other = ProcessMachine == MachineAmd64 ? MachineI386 : MachineAmd64;
    file.seekp(signature + 4).write(reinterpret_cast<const char*>(&other), 2);
}

// The path of the reader library loaded into this process, or "none".
inline std::string LoadedReaderLibrary()
{
    HMODULE module = GetModuleHandleW(L"felica.dll");
    if (!module)
        return "none";
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return std::filesystem::path(std::wstring(path, length)).string();
}

// One of the simulator's scripting exports, from the library loaded into this process.
template <typename Function>
Function SimulatorExport(const char* name)
{
    HMODULE module = GetModuleHandleW(L"felica.dll");
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}
