#include "TraceCommand.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "ControlHost.h"
#include "LibraryPlace.h"
#include "ReaderLibrary.h"
#include "SimulatorCommand.h"
#include "TraceFormat.h"
#include "TraceScenario.h"
#include "TraceTable.h"
#include "WindowsError.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t TracingDescription[] = L"Norvane tracing reader library";
constexpr wchar_t DefaultTraceFile[] = L"%LOCALAPPDATA%\\Norvane\\felica-trace.jsonl";

fs::path Traced(const fs::path& library) { return fs::path(library) += trace_format::TracedSuffix; }
fs::path SettingsOf(const fs::path& library) { return library.parent_path() / trace_format::SettingsFileName; }

// Writes the settings under a temporary name first, so that the tracing library never reads half a file.
bool WriteSettings(const fs::path& library, const TraceSettings& settings)
{
    const fs::path file = SettingsOf(library), partial = fs::path(file) += L".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << "level=" << settings.level << "\r\n";
        if (!settings.file.empty())
            out << "file=" << Utf8Text(settings.file) << "\r\n";
        if (!out)
            return false;
    }
    return MoveFileExW(partial.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::string WhatItStandsIn(const fs::path& library)
{
    std::error_code error;
    const fs::path traced = Traced(library);
    if (!fs::is_regular_file(traced, error))
        return "no library (" + Shown(traced) + " is missing: every call fails)";
    return Shown(traced) + (IsReaderSimulator(traced) ? ", the reader simulator" : ", the library that was there");
}

void PrintSettings(const fs::path& library, const TraceSettings& settings)
{
    std::printf("tracing at %s, level %d, to %s, standing in for %s\n", Shown(library).c_str(), settings.level,
                settings.file.empty() ? (Utf8Text(DefaultTraceFile) + " of the user whose program reads").c_str()
                                      : Utf8Text(settings.file).c_str(),
                WhatItStandsIn(library).c_str());
}

int Install(const std::optional<int>& level, const std::wstring& file)
{
    const fs::path library = LibraryInstallPath(), traced = Traced(library);
    std::error_code error;
    if (IsTracingLibrary(library)) {
        // Already in place: only what was asked changes.
        TraceSettings settings = ReadTraceSettings(library);
        if (level)
            settings.level = *level;
        if (!file.empty())
            settings.file = file;
        if (!WriteSettings(library, settings))
            return Refuse("the settings beside " + Shown(library) + " cannot be written: nothing changed");
        PrintSettings(library, settings);
        return 0;
    }
    if (fs::is_directory(library, error))
        return Refuse(Shown(library) + " is a folder, not a library: nothing changed");
    if (!fs::exists(library, error))
        return Refuse("no reader library is at " + Shown(library) + " to trace: nothing changed");
    if (fs::exists(traced, error))
        return Refuse(Shown(traced) + " already holds a library: nothing changed");

    // Each step goes back when a later one fails: the settings, the tracing library under a
    // temporary name, the library set aside, the tracing library in its place.
    const TraceSettings settings{level.value_or(1), file};
    MachineChange change;
    if (const DWORD failure = change.Clear(SettingsOf(library)))
        return Undone(change, "the settings beside " + Shown(library) + " cannot be replaced", failure);
    if (!WriteSettings(library, settings))
        return Undone(change, "the settings cannot be written beside " + Shown(library));
    change.Wrote(SettingsOf(library));
    const fs::path partial = fs::path(library) += L".partial";
    if (const DWORD failure = change.Copy(fs::path(ProgramFolder()) / L"tracing" / L"felica.dll", partial))
        return Undone(change, "the tracing library cannot be copied beside " + Shown(library), failure);
    if (const DWORD failure = change.Move(library, traced))
        return Undone(change, Shown(library) + " cannot be set aside", failure);
    if (const DWORD failure = change.Move(partial, library))
        return Undone(change, "the tracing library cannot be put at " + Shown(library), failure);
    change.Keep();
    PrintSettings(library, settings);
    return 0;
}

int Remove()
{
    int status = 0;
    bool changed = false;
    for (const fs::path library : ReaderLibraryPaths) {
        std::error_code error;
        const fs::path traced = Traced(library);
        if (IsTracingLibrary(library)) {
            if (!DeleteFileW(library.c_str())) {
                status = Refuse("the tracing library at " + Shown(library) + " cannot be removed (" +
                                WindowsErrorText(GetLastError()) + ")");
                continue;
            }
            fs::remove(SettingsOf(library), error);
            std::printf("removed the tracing library at %s\n", Shown(library).c_str());
            changed = true;
        }
        if (fs::is_regular_file(traced, error) && !fs::exists(library, error)) {
            if (!MoveFileExW(traced.c_str(), library.c_str(), 0)) {
                status = Refuse("the library traced as " + Shown(traced) + " cannot be put back (" +
                                WindowsErrorText(GetLastError()) + ")");
                continue;
            }
            std::printf("put back the library it stood in for at %s\n", Shown(library).c_str());
            changed = true;
        }
    }
    if (!changed && status == 0)
        std::puts("no tracing library is installed: nothing removed");
    return status;
}

std::optional<std::string> FileText(const std::wstring& path)
{
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

bool IsTracingLibrary(const std::wstring& path) { return IsDescribedAs(path, TracingDescription); }

TraceSettings ReadTraceSettings(const std::wstring& library)
{
    TraceSettings settings;
    std::ifstream in(SettingsOf(library));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "level=1" || line == "level=2")
            settings.level = line.back() - '0';
        else if (line.rfind("file=", 0) == 0 && line.size() > 5) {
            const std::string utf8 = line.substr(5);
            std::wstring wide(utf8.size(), L'\0');
            wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                                wide.data(), static_cast<int>(wide.size()))));
            settings.file = wide;
        }
    }
    return settings;
}

int TraceCommand(const std::vector<std::wstring>& arguments)
{
    if (arguments.size() == 1 && arguments[0] == L"remove")
        return Remove();
    if (arguments.size() == 2 && arguments[0] == L"show") {
        const std::optional<std::string> text = FileText(arguments[1]);
        if (!text)
            return Refuse("the trace " + Utf8Text(arguments[1]) + " cannot be read");
        return ShowTrace(*text);
    }
    if (arguments.empty() || arguments[0] != L"install")
        return -1;
    std::optional<int> level;
    std::wstring file;
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == L"--level" && i + 1 < arguments.size() && (arguments[i + 1] == L"1" || arguments[i + 1] == L"2"))
            level = arguments[++i] == L"1" ? 1 : 2;
        else if (arguments[i] == L"--file" && i + 1 < arguments.size())
            file = fs::absolute(arguments[++i]).wstring();
        else
            return -1;
    }
    return Install(level, file);
}

int ScenarioCommand(const std::vector<std::wstring>& arguments)
{
    if (arguments.size() != 2 || arguments[0] != L"from-trace")
        return -1;
    const std::optional<std::string> text = FileText(arguments[1]);
    if (!text)
        return Refuse("the trace " + Utf8Text(arguments[1]) + " cannot be read");
    return ScenarioFromTraceCommand(*text);
}

namespace {

void PrintWarnings(const std::vector<std::string>& warnings)
{
    for (const std::string& warning : warnings)
        std::fprintf(stderr, "%s\n", warning.c_str());
}

}  // namespace

int ShowTrace(const std::string& trace)
{
    const TraceShown shown = TraceTable(trace);
    std::fwrite(shown.table.data(), 1, shown.table.size(), stdout);
    PrintWarnings(shown.warnings);
    return 0;
}

int ScenarioFromTraceCommand(const std::string& trace)
{
    const TraceReplay replay = ScenarioFromTrace(trace);
    PrintWarnings(replay.warnings);
    if (!replay.scenario)
        return Refuse(replay.error);
    std::fwrite(replay.scenario->data(), 1, replay.scenario->size(), stdout);
    return 0;
}
