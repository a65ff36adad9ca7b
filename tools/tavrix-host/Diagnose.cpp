#include "Diagnose.h"

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "JsonText.h"
#include "ReaderLibrary.h"
#include "SimulatorCommand.h"
#include "Tavrix_h.h"
#include "TraceCommand.h"
#include "TraceFormat.h"
#include "WindowsError.h"

namespace {

// The registry key naming the control's server file.
std::wstring ServerKey()
{
    wchar_t classId[39] = {};
    StringFromGUID2(CLSID_Tavrix, classId, 39);
    return std::wstring(L"CLSID\\") + classId + L"\\InprocServer32";
}

// A text as a JSON string.
std::string Utf8(const std::wstring& text) { return JsonText(std::u16string(text.begin(), text.end())); }

const char* MachineName(std::optional<uint16_t> machine)
{
    if (!machine)
        return "not a library";
    return *machine == MachineI386 ? "x86" : *machine == MachineAmd64 ? "x64" : "another processor";
}


bool Is64BitWindows()
{
    if (sizeof(void*) == 8)
        return true;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::wstring FileVersion(const std::wstring& path)
{
    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (block.empty() || !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed)
        return L"";
    return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) +
           L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS));
}

struct Control {
    const char* architecture = "";
    bool registered = false;
    std::wstring path, version;
    bool present = false;
};

// The class's server in one registry view (the per-user and machine registrations merged, as
// COM reads them).
Control RegisteredControl(const char* architecture, REGSAM view)
{
    Control control;
    control.architecture = architecture;
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ServerKey().c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return control;
    control.registered = RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) ==
                         ERROR_SUCCESS;
    RegCloseKey(key);
    control.path = path;
    control.present = GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    control.version = FileVersion(path);
    return control;
}

struct Library {
    std::wstring path;
    std::string presence;  // "absent", "a folder" or "present"
    std::optional<uint16_t> machine;
    bool loads = false;
    std::string loadError;
    std::vector<std::string> missing;  // entry points it lacks, when it loads
    bool simulator = false;
    bool tracing = false;
    TraceSettings trace;     // when tracing
    std::string stands;      // what the tracing library stands in for
};

Library Examine(const wchar_t* path)
{
    Library library;
    library.path = path;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        library.presence = "absent";
        return library;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        library.presence = "a folder";
        return library;
    }
    library.presence = "present";
    library.machine = FileMachine(path);
    library.simulator = IsReaderSimulator(path);
    library.tracing = IsTracingLibrary(path);
    if (library.tracing) {
        library.trace = ReadTraceSettings(path);
        const std::wstring traced = std::wstring(path) + trace_format::TracedSuffix;
        library.stands = GetFileAttributesW(traced.c_str()) == INVALID_FILE_ATTRIBUTES ? "nothing (no library beside it)"
                         : IsReaderSimulator(traced)                                   ? "the Norvane reader simulator"
                                                                                        : "a library that is not ours";
    }
    // Loaded as the control loads it, so that its own failures show; never unloaded while a
    // library of that name may be in use by this process.
    if (HMODULE module = LoadLibraryExW(path, nullptr, 0)) {
        library.loads = true;
        for (const char* name : ReaderEntryPointNames)
            if (!GetProcAddress(module, name))
                library.missing.emplace_back(name);
        FreeLibrary(module);
    } else {
        library.loadError = WindowsErrorText(GetLastError());
    }
    return library;
}

std::string LibraryLine(const Library& library)
{
    std::string line = "library " + Utf8Text(library.path) + ": " + library.presence;
    if (library.presence != "present")
        return line;
    line += std::string(", built for ") + MachineName(library.machine);
    if (library.loads) {
        line += ", loads in this process, ";
        line += library.missing.empty() ? "all 7 entry points" : std::to_string(7 - library.missing.size()) + " of 7 entry points (missing:";
        for (const std::string& name : library.missing)
            line += " " + name;
        if (!library.missing.empty())
            line += ")";
    } else {
        line += ", does not load in this process (" + library.loadError + ")";
    }
    line += library.simulator ? ", the Norvane reader simulator" : library.tracing ? "" : ", not the simulator";
    if (library.tracing)
        line += ", the Norvane tracing library: on, level " + std::to_string(library.trace.level) + ", to " +
                (library.trace.file.empty() ? "%LOCALAPPDATA%\\Norvane\\felica-trace.jsonl"
                                            : Utf8Text(library.trace.file)) +
                ", standing in for " + library.stands;
    return line;
}

}  // namespace

int Diagnose(bool json)
{
    std::vector<Control> controls = {RegisteredControl("x86", KEY_WOW64_32KEY)};
    if (Is64BitWindows())
        controls.push_back(RegisteredControl("x64", KEY_WOW64_64KEY));
    std::vector<Library> libraries;
    for (const wchar_t* path : ReaderLibraryPaths)
        libraries.push_back(Examine(path));
    struct Use {
        const char* architecture;
        const wchar_t* chosen;
    };
    std::vector<Use> uses = {{"x86", ChosenReaderLibrary(MachineI386)}};
    if (Is64BitWindows())
        uses.push_back({"x64", ChosenReaderLibrary(MachineAmd64)});
    const char* self = ProcessMachine == MachineAmd64 ? "x64" : "x86";

    if (json) {
        std::printf("{\"tavrix_host\":\"%s\",\"controls\":[", self);
        for (size_t i = 0; i < controls.size(); ++i) {
            const Control& c = controls[i];
            std::printf("%s{\"architecture\":\"%s\",\"registered\":%s,\"path\":%s,\"file_present\":%s,\"version\":%s}",
                        i ? "," : "", c.architecture, c.registered ? "true" : "false", Utf8(c.path).c_str(),
                        c.present ? "true" : "false", Utf8(c.version).c_str());
        }
        std::printf("],\"libraries\":[");
        for (size_t i = 0; i < libraries.size(); ++i) {
            const Library& l = libraries[i];
            std::printf("%s{\"path\":%s,\"presence\":\"%s\",\"architecture\":%s,\"loads\":%s,\"load_error\":%s,"
                        "\"missing_entry_points\":[",
                        i ? "," : "", Utf8(l.path).c_str(), l.presence.c_str(),
                        l.presence == "present" ? ("\"" + std::string(MachineName(l.machine)) + "\"").c_str() : "null",
                        l.loads ? "true" : "false",
                        l.loadError.empty() ? "null" : Utf8(std::wstring(l.loadError.begin(), l.loadError.end())).c_str());
            for (size_t m = 0; m < l.missing.size(); ++m)
                std::printf("%s\"%s\"", m ? "," : "", l.missing[m].c_str());
            std::printf("],\"simulator\":%s,\"tracing\":", l.simulator ? "true" : "false");
            if (l.tracing)
                std::printf("{\"level\":%d,\"file\":%s,\"stands_in_for\":\"%s\"}", l.trace.level,
                            l.trace.file.empty() ? "null" : Utf8(l.trace.file).c_str(), l.stands.c_str());
            else
                std::printf("null");
            std::printf("}");
        }
        std::printf("],\"uses\":{");
        for (size_t i = 0; i < uses.size(); ++i)
            std::printf("%s\"%s\":%s", i ? "," : "", uses[i].architecture,
                        uses[i].chosen ? Utf8(uses[i].chosen).c_str() : "null");
        std::printf("}}\n");
        return 0;
    }

    std::printf("tavrix-host %s\n", self);
    for (const Control& c : controls) {
        if (!c.registered)
            std::printf("control %s: not registered\n", c.architecture);
        else
            std::printf("control %s: registered %s, %s%s\n", c.architecture, Utf8Text(c.path).c_str(),
                        c.present ? "version " : "the file is missing", c.present ? Utf8Text(c.version).c_str() : "");
    }
    for (const Library& l : libraries)
        std::printf("%s\n", LibraryLine(l).c_str());
    for (const Use& use : uses) {
        std::string verdict = use.chosen ? Utf8Text(use.chosen) : "none (Read_Card fails with 0x8000FFFF)";
        // What this process found out about the library its own build takes.
        for (const Library& l : libraries)
            if (use.chosen && l.path == use.chosen && use.architecture == std::string(self) &&
                (!l.loads || !l.missing.empty()))
                verdict += l.loads ? " (Read_Card fails with 0x8000FFFF: an entry point is missing)"
                                   : " (Read_Card fails with 0x8000FFFF: it does not load)";
        std::printf("the %s control would use: %s\n", use.architecture, verdict.c_str());
    }
    return 0;
}
