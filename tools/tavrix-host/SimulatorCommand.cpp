#include "SimulatorCommand.h"

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "ControlHost.h"
#include "LibraryPlace.h"
#include "ReaderLibrary.h"
#include "WindowsError.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t SimulatorDescription[] = L"Norvane reader simulator";
constexpr wchar_t SetAsideSuffix[] = L".set-aside";

fs::path SetAside(const fs::path& library) { return fs::path(library) += SetAsideSuffix; }

int Install(bool setAside, const std::wstring& scenario)
{
    const fs::path library = LibraryInstallPath(), folder = library.parent_path();
    const fs::path scenarioFile = folder / L"felica-scenario.txt";
    std::error_code error;
    if (fs::is_directory(library, error))
        return Refuse(Shown(library) + " is a folder, not a library: nothing changed");
    const bool occupied = fs::exists(library, error);
    const bool foreign = occupied && !IsReaderSimulator(library);
    if (foreign && !setAside)
        return Refuse("a reader library that is not the simulator is at " + Shown(library) +
                      ": nothing changed. To keep it under another name and install the simulator, run "
                      "tavrix-host simulator install --set-aside [scenario-file]; simulator remove puts it back");
    if (foreign && fs::exists(SetAside(library), error))
        return Refuse(Shown(SetAside(library)) + " already holds a library set aside: nothing changed");

    // Every input is staged before anything at the library's path changes, and every step goes
    // back when a later one fails: the folders, the simulator and the scenario under temporary
    // names, the library there set aside (or ours and its scenario cleared), each put in place.
    MachineChange change;
    if (const DWORD failure = change.MakeFolders(folder))
        return Undone(change, "the folder " + Shown(folder) + " cannot be made", failure);
    const fs::path partial = fs::path(library) += L".partial", scenarioPartial = fs::path(scenarioFile) += L".partial";
    if (const DWORD failure = change.Copy(fs::path(ProgramFolder()) / L"simulator" / L"felica.dll", partial))
        return Undone(change, "the simulator cannot be copied to " + Shown(folder), failure);
    if (!scenario.empty())
        if (const DWORD failure = change.Copy(scenario, scenarioPartial))
            return Undone(change, "the scenario " + Utf8Text(scenario) + " cannot be copied to " + Shown(folder), failure);
    if (const DWORD failure = foreign ? change.Move(library, SetAside(library)) : change.Clear(library))
        return Undone(change, Shown(library) + " cannot be " + (foreign ? "set aside" : "replaced"), failure);
    if (const DWORD failure = change.Move(partial, library))
        return Undone(change, "the simulator cannot be put at " + Shown(library), failure);
    if (const DWORD failure = change.Clear(scenarioFile))
        return Undone(change, "the scenario at " + Shown(scenarioFile) + " cannot be replaced", failure);
    if (!scenario.empty())
        if (const DWORD failure = change.Move(scenarioPartial, scenarioFile))
            return Undone(change, "the scenario cannot be put at " + Shown(scenarioFile), failure);
    change.Keep();
    if (foreign)
        std::printf("set aside the library that was at %s as %s\n", Shown(library).c_str(),
                    Shown(SetAside(library)).c_str());
    std::printf("simulator installed in %s\n", Shown(folder).c_str());
    return 0;
}

int Remove()
{
    int status = 0;
    bool changed = false;
    for (const fs::path library : ReaderLibraryPaths) {
        std::error_code error;
        if (IsReaderSimulator(library)) {
            if (!DeleteFileW(library.c_str())) {
                status = Refuse("the simulator at " + Shown(library) + " cannot be removed (" +
                                WindowsErrorText(GetLastError()) + ")");
                continue;
            }
            fs::remove(library.parent_path() / L"felica-scenario.txt", error);
            std::printf("removed the simulator at %s\n", Shown(library).c_str());
            changed = true;
        } else if (fs::exists(library, error)) {
            std::printf("left %s as it is: it is not the simulator\n", Shown(library).c_str());
        }
        if (fs::is_regular_file(SetAside(library), error) && !fs::exists(library, error)) {
            if (!MoveFileExW(SetAside(library).c_str(), library.c_str(), 0)) {
                status = Refuse("the library set aside as " + Shown(SetAside(library)) + " cannot be put back (" +
                                WindowsErrorText(GetLastError()) + ")");
                continue;
            }
            std::printf("put back the library set aside at %s\n", Shown(library).c_str());
            changed = true;
        }
    }
    if (!changed && status == 0)
        std::puts("no simulator is installed: nothing removed");
    return status;
}

}  // namespace

bool IsReaderSimulator(const std::wstring& path) { return IsDescribedAs(path, SimulatorDescription); }

int SimulatorCommand(const std::vector<std::wstring>& arguments)
{
    if (arguments.size() == 1 && arguments[0] == L"remove")
        return Remove();
    if (arguments.empty() || arguments[0] != L"install")
        return -1;
    const bool setAside = arguments.size() >= 2 && arguments[1] == L"--set-aside";
    const size_t rest = arguments.size() - 1 - (setAside ? 1 : 0);
    if (rest > 1)
        return -1;
    return Install(setAside, rest == 1 ? arguments.back() : std::wstring());
}
