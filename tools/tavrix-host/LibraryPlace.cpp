#include "LibraryPlace.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "ReaderLibrary.h"
#include "WindowsError.h"

namespace fs = std::filesystem;

fs::path LibraryInstallPath()
{
    const fs::path first = ReaderLibraryPaths[0];
    return fs::exists(first.root_path() / *first.relative_path().begin()) ? first : fs::path(ReaderLibraryPaths[1]);
}

std::string Shown(const fs::path& path) { return Utf8Text(path.wstring()); }

int Refuse(const std::string& message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    return 2;
}

bool IsDescribedAs(const std::wstring& path, const std::wstring& description)
{
    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    if (block.empty() || !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()))
        return false;
    wchar_t* text = nullptr;
    UINT length = 0;
    return VerQueryValueW(block.data(), L"\\StringFileInfo\\000004B0\\FileDescription", reinterpret_cast<void**>(&text),
                          &length) &&
           text && std::wstring(text) == description;
}

namespace {

constexpr wchar_t ClearedSuffix[] = L".cleared";

std::string NotPutBack(const fs::path& what, const fs::path& where, DWORD failure)
{
    return Shown(what) + " could not be put back at " + Shown(where) + " (" + WindowsErrorText(failure) + ")";
}

}  // namespace

unsigned long MachineChange::MakeFolders(const fs::path& folder)
{
    std::vector<fs::path> missing;
    std::error_code error;
    for (fs::path above = folder; !above.empty() && !fs::exists(above, error); above = above.parent_path()) {
        missing.push_back(above);
        if (above == above.parent_path())
            break;
    }
    for (auto made = missing.rbegin(); made != missing.rend(); ++made) {
        if (!CreateDirectoryW(made->c_str(), nullptr))
            return GetLastError();
        undo_.push_back([made = *made] {
            return RemoveDirectoryW(made.c_str()) ? std::string() : "the folder " + Shown(made) + " is left";
        });
    }
    return 0;
}

unsigned long MachineChange::Copy(const fs::path& from, const fs::path& to)
{
    // (CopyFileW, not std::filesystem::copy_file: this runtime takes any two files on one drive
    // for the same file, having no file numbers to tell them apart, and refuses to copy.)
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        return GetLastError();
    Wrote(to);
    return 0;
}

unsigned long MachineChange::Move(const fs::path& from, const fs::path& to)
{
    if (!MoveFileExW(from.c_str(), to.c_str(), 0))
        return GetLastError();
    undo_.push_back([from, to] {
        return MoveFileExW(to.c_str(), from.c_str(), 0) ? std::string() : NotPutBack(to, from, GetLastError());
    });
    return 0;
}

unsigned long MachineChange::Clear(const fs::path& file)
{
    std::error_code error;
    if (!fs::exists(file, error))
        return 0;
    const fs::path aside = fs::path(file) += ClearedSuffix;
    DeleteFileW(aside.c_str());  // left by an earlier change that could not delete it
    if (const unsigned long failure = Move(file, aside))
        return failure;
    cleared_.push_back(aside);
    return 0;
}

void MachineChange::Wrote(const fs::path& file)
{
    undo_.push_back([file] {
        if (DeleteFileW(file.c_str()))
            return std::string();
        const DWORD failure = GetLastError();
        return Shown(file) + " is left (" + WindowsErrorText(failure) + ")";
    });
}

void MachineChange::Keep()
{
    undo_.clear();
    for (const fs::path& aside : cleared_)
        DeleteFileW(aside.c_str());
    cleared_.clear();
}

std::string MachineChange::Undo()
{
    std::string left;
    for (auto step = undo_.rbegin(); step != undo_.rend(); ++step)
        if (const std::string failed = (*step)(); !failed.empty())
            left += (left.empty() ? "" : "; ") + failed;
    undo_.clear();
    cleared_.clear();
    return left;
}

int Undone(MachineChange& change, const std::string& what)
{
    const std::string left = change.Undo();
    return Refuse(what + ": " + (left.empty() ? "nothing changed" : "not all went back: " + left));
}

int Undone(MachineChange& change, const std::string& what, unsigned long failure)
{
    return Undone(change, what + " (" + WindowsErrorText(failure) + ")");
}
