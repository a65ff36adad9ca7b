#include "SimulatorCommand.h"

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "ControlHost.h"
#include "ReaderLibrary.h"
#include "WindowsError.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t SimulatorDescription[] = L"Norvane reader simulator";
constexpr wchar_t SetAsideSuffix[] = L".set-aside";

std::string Shown(const fs::path& path) { return Utf8Text(path.wstring()); }


int Refuse(const std::string& message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    return 2;
}

fs::path SetAside(const fs::path& library) { return fs::path(library) += SetAsideSuffix; }

// Where this build's control looks first, as the real library of its processor would be; on a
// 32-bit system, which has no "Program Files (x86)", at the second path.
fs::path InstallPath()
{
    const fs::path first = ReaderLibraryPaths[0];
    return fs::exists(first.root_path() / *first.relative_path().begin()) ? first : fs::path(ReaderLibraryPaths[1]);
}

int Install(bool setAside, const std::wstring& scenario)
{
    const fs::path library = InstallPath(), folder = library.parent_path();
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
    fs::create_directories(folder, error);
    if (error)
        return Refuse("the folder " + Shown(folder) + " cannot be made (" + error.message() + "): nothing changed");

    // The simulator goes in under a temporary name first, so that a failure leaves the
    // library path as it was.
    const fs::path partial = fs::path(library) += L".partial";
    if (!CopyFileW((fs::path(ProgramFolder()) / L"simulator" / L"felica.dll").c_str(), partial.c_str(), FALSE))
        return Refuse("the simulator cannot be copied to " + Shown(folder) + " (" + WindowsErrorText(GetLastError()) +
                      "): nothing changed");
    if (foreign && !MoveFileExW(library.c_str(), SetAside(library).c_str(), 0)) {
        const DWORD failure = GetLastError();
        DeleteFileW(partial.c_str());
        return Refuse(Shown(library) + " cannot be set aside (" + WindowsErrorText(failure) + "): nothing changed");
    }
    if (!MoveFileExW(partial.c_str(), library.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD failure = GetLastError();
        DeleteFileW(partial.c_str());
        if (foreign)
            MoveFileExW(SetAside(library).c_str(), library.c_str(), 0);
        return Refuse("the simulator cannot be put at " + Shown(library) + " (" + WindowsErrorText(failure) +
                      "): nothing changed");
    }
    if (foreign)
        std::printf("set aside the library that was at %s as %s\n", Shown(library).c_str(),
                    Shown(SetAside(library)).c_str());
    if (!scenario.empty())
        fs::copy_file(scenario, scenarioFile, fs::copy_options::overwrite_existing, error);
    else
        fs::remove(scenarioFile, error);
    if (error)
        return Refuse("the simulator is installed in " + Shown(folder) + ", but its scenario is not (" +
                      error.message() + ")");
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

bool IsReaderSimulator(const std::wstring& path)
{
    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    if (block.empty() || !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()))
        return false;
    wchar_t* description = nullptr;
    UINT length = 0;
    return VerQueryValueW(block.data(), L"\\StringFileInfo\\000004B0\\FileDescription",
                          reinterpret_cast<void**>(&description), &length) &&
           description && std::wstring(description) == SimulatorDescription;
}

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
