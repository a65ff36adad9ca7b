#include "Diagnose.h"

#include <windows.h>

#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
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

// Each architecture of the control: where its registration lives, and how a path registered for
// it reads from a process of the other architecture (its values of the variables that differ
// between them, and the alias through which such a process reaches its system folder).
struct Architecture {
    const char* name;
    uint16_t machine;
    REGSAM view;
    std::array<std::pair<const wchar_t*, const wchar_t*>, 2> variables;
    const wchar_t* systemFolder;
};
constexpr Architecture Architectures[] = {
    {"x86", MachineI386, KEY_WOW64_32KEY,
     {{{L"ProgramFiles", L"ProgramFiles(x86)"}, {L"CommonProgramFiles", L"CommonProgramFiles(x86)"}}}, L"SysWOW64"},
    {"x64", MachineAmd64, KEY_WOW64_64KEY,
     {{{L"ProgramFiles", L"ProgramW6432"}, {L"CommonProgramFiles", L"CommonProgramW6432"}}}, L"Sysnative"},
};

// The text with its %variables% expanded as a process of that architecture expands them.
std::wstring Expanded(const std::wstring& text, const Architecture& architecture)
{
    std::wstring renamed;
    for (size_t at = 0; at < text.size();) {
        const size_t open = text.find(L'%', at), close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
        if (close == std::wstring::npos) {
            renamed += text.substr(at);
            break;
        }
        std::wstring name = text.substr(open + 1, close - open - 1);
        if (architecture.machine != ProcessMachine)
            for (const auto& [ours, theirs] : architecture.variables)
                if (_wcsicmp(name.c_str(), ours) == 0)
                    name = theirs;
        renamed += text.substr(at, open - at) + L"%" + name + L"%";
        at = close + 1;
    }
    std::wstring expanded(renamed.size() + 1, L'\0');
    for (;;) {
        const DWORD needed = ExpandEnvironmentStringsW(renamed.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
        if (needed == 0)
            return renamed;
        if (needed <= expanded.size()) {
            expanded.resize(needed - 1);
            return expanded;
        }
        expanded.resize(needed);
    }
}

// The name under which this process reaches the file that a process of that architecture loads
// from the path: its system folder through this process's alias for it, and a path of any
// length in the form that lifts the MAX_PATH limit.
std::wstring Reachable(std::wstring path, const Architecture& architecture)
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH);
    const std::wstring windows(folder, length < MAX_PATH ? length : 0), system = windows + L"\\System32\\";
    if (architecture.machine != ProcessMachine && !windows.empty() && path.size() > system.size() &&
        _wcsnicmp(path.c_str(), system.c_str(), system.size()) == 0)
        path = windows + L"\\" + architecture.systemFolder + path.substr(system.size() - 1);
    if (path.size() < MAX_PATH)
        return path;
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\')
        return L"\\\\?\\" + path;
    if (path.rfind(L"\\\\", 0) == 0 && path.rfind(L"\\\\?\\", 0) != 0)
        return L"\\\\?\\UNC" + path.substr(1);
    return path;
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

using KeyOwner = std::unique_ptr<std::remove_pointer_t<HKEY>, decltype(&RegCloseKey)>;

// A key's default value when it is a text (REG_SZ, or REG_EXPAND_SZ as stored), at any length.
std::optional<std::wstring> DefaultText(HKEY key)
{
    constexpr DWORD texts = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    DWORD size = 0;
    if (RegGetValueW(key, nullptr, nullptr, texts, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring text;
    // The value may grow between the question and the read: ask again while it does.
    for (;;) {
        text.resize(size / sizeof(wchar_t) + 1);
        const DWORD room = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        size = room;
        const LSTATUS status = RegGetValueW(key, nullptr, nullptr, texts, nullptr, text.data(), &size);
        if (status == ERROR_SUCCESS)
            break;
        if (status != ERROR_MORE_DATA || size <= room)
            return std::nullopt;
    }
    text.resize(size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

struct Control {
    const char* architecture = "";
    bool registered = false;
    std::wstring path, version;  // the path expanded, as the control's architecture reads it
    bool present = false;
};

// The class's server in the architecture's registry view (the per-user and machine
// registrations merged, as COM reads them).
Control RegisteredControl(const Architecture& architecture)
{
    Control control;
    control.architecture = architecture.name;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ServerKey().c_str(), 0, KEY_READ | architecture.view, &opened) != ERROR_SUCCESS)
        return control;
    const KeyOwner key(opened, &RegCloseKey);
    const std::optional<std::wstring> stored = DefaultText(key.get());
    control.registered = stored.has_value();
    if (!stored)
        return control;
    control.path = Expanded(*stored, architecture);
    const std::wstring file = Reachable(control.path, architecture);
    control.present = GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
    control.version = FileVersion(file);
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
    struct Use {
        const char* architecture;
        const wchar_t* chosen;
    };
    std::vector<Control> controls;
    std::vector<Use> uses;
    for (const Architecture& architecture : Architectures) {
        if (architecture.machine == MachineAmd64 && !Is64BitWindows())
            continue;
        controls.push_back(RegisteredControl(architecture));
        uses.push_back({architecture.name, ChosenReaderLibrary(architecture.machine)});
    }
    std::vector<Library> libraries;
    for (const wchar_t* path : ReaderLibraryPaths)
        libraries.push_back(Examine(path));
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
                        l.loadError.empty() ? "null" : JsonUtf8Text(l.loadError).c_str());
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
