#include "SettingsFile.h"

#include <windows.h>

#include <string>

#include "FileHandle.h"

namespace {

uint64_t Wide(DWORD high, DWORD low) { return uint64_t{high} << 32 | low; }

std::wstring Windows(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

// Variables expanded; empty when the result would be longer than any path can be.
std::wstring Expanded(const std::u16string& text)
{
    const std::wstring unexpanded = Windows(text);
    const DWORD needed = ExpandEnvironmentStringsW(unexpanded.c_str(), nullptr, 0);
    if (needed == 0 || needed > 32768)
        return std::wstring();
    std::wstring expanded(needed, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(unexpanded.c_str(), expanded.data(), needed);
    if (written == 0 || written > needed)
        return std::wstring();
    expanded.resize(written - 1);
    return expanded;
}

bool IsFull(const std::wstring& path) { return IsFullWindowsPath(std::u16string(path.begin(), path.end())); }

// At most MaxSettingsBytes + 1 bytes, so that a file too long to be settings shows as one.
std::string Content(const std::wstring& path)
{
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::string();
    std::string content(MaxSettingsBytes + 1, '\0');
    size_t got = 0;
    while (got < content.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), content.data() + got, static_cast<DWORD>(content.size() - got), &read, nullptr) ||
            read == 0)
            break;
        got += read;
    }
    content.resize(got);
    return content;
}

}  // namespace

TracingSettings SettingsFile::Current()
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    std::optional<Stamp> stamp;
    if (GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        stamp = Stamp{Wide(data.nFileSizeHigh, data.nFileSizeLow),
                      Wide(data.ftCreationTime.dwHighDateTime, data.ftCreationTime.dwLowDateTime),
                      Wide(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime)};
    if (!known_ || stamp != stamp_) {
        written_ = stamp ? ParseTraceSettings(Content(path_)) : WrittenTraceSettings();
        stamp_ = stamp;
        known_ = true;
    }

    TracingSettings settings;
    settings.level = written_.level;
    settings.rolloverBytes = written_.rolloverBytes;
    settings.file = Expanded(written_.file);
    if (!IsFull(settings.file))
        settings.file = Expanded(DefaultTraceFile);
    if (!IsFull(settings.file))
        settings.file.clear();
    return settings;
}
