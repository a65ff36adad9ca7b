// Where tavrix-host puts a reader library of its own (the simulator, the tracing library), and how
// it knows one of them again.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Where this build's control looks first, as the real library of its processor would be; on a
// 32-bit system, which has no "Program Files (x86)", at the second path.
std::filesystem::path LibraryInstallPath();

// A path as tavrix-host's messages show it (UTF-8).
std::string Shown(const std::filesystem::path& path);

// Says why a command changes nothing, on stderr; gives the exit status for it.
int Refuse(const std::string& message);

// Whether the file's version resource gives exactly that FileDescription; false for a file that is
// not there or has no such resource.
bool IsDescribedAs(const std::wstring& path, const std::wstring& description);

// Changes to the machine made step by step, for a command that promises to change nothing when it
// fails: unless kept, each step done is undone, the last first. Each step gives 0, or the Windows
// error that stopped it (and then changed nothing itself).
class MachineChange {
public:
    MachineChange() = default;
    MachineChange(const MachineChange&) = delete;
    MachineChange& operator=(const MachineChange&) = delete;
    ~MachineChange() { Undo(); }

    // The folder and each folder above it that is missing.
    unsigned long MakeFolders(const std::filesystem::path& folder);
    // A copy under a name of ours (a copy left there by an earlier failure is replaced).
    unsigned long Copy(const std::filesystem::path& from, const std::filesystem::path& to);
    // A file moved to a name that nothing holds.
    unsigned long Move(const std::filesystem::path& from, const std::filesystem::path& to);
    // A file out of the way, deleted when the change is kept; nothing to do when there is none.
    unsigned long Clear(const std::filesystem::path& file);
    // A file the caller has just written where none was.
    void Wrote(const std::filesystem::path& file);

    // The change stands: what was cleared goes.
    void Keep();
    // Undoes every step still standing; gives what could not be put back (empty when all was).
    std::string Undo();

private:
    std::vector<std::function<std::string()>> undo_;  // each gives what it could not put back
    std::vector<std::filesystem::path> cleared_;
};

// Says why a command failed after MachineChange steps (with the Windows error that stopped it,
// where one did), undoing them first: "nothing changed" when all went back, and otherwise what
// is left; gives the exit status for it.
int Undone(MachineChange& change, const std::string& what, unsigned long failure);
int Undone(MachineChange& change, const std::string& what);
