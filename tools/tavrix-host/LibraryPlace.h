// Where tavrix-host puts a reader library of its own (the simulator, the tracing library), and how
// it knows one of them again.
#pragma once

#include <filesystem>
#include <string>

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
