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
