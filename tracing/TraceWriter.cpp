#include "TraceWriter.h"

#include <mutex>  // std::lock_guard

#include "Clock.h"
#include "TraceLine.h"

namespace {

constexpr DWORD MutexWaitMilliseconds = 1000;

uint64_t Wide(DWORD high, DWORD low) { return uint64_t{high} << 32 | low; }

std::string WithError(const char* what, DWORD error) { return what + (" (error " + std::to_string(error) + ")"); }

// Appends only, so that each write lands at the end whoever else is writing; shared in every
// way, so that other processes, a reader, and a rollover's rename all go on while it is open.
HANDLE CreateTrace(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

// Every folder on the way to the file, past its root ("C:\" or "\\server\share\").
void CreateFolders(const std::wstring& file)
{
    size_t from = 3;
    if (file.size() > 2 && (file[0] == L'\\' || file[0] == L'/')) {
        from = file.find_first_of(L"\\/", 2);
        if (from == std::wstring::npos)
            return;
        from = file.find_first_of(L"\\/", from + 1);
        if (from == std::wstring::npos)
            return;
        ++from;
    }
    for (size_t at = file.find_first_of(L"\\/", from); at != std::wstring::npos; at = file.find_first_of(L"\\/", at + 1))
        CreateDirectoryW(file.substr(0, at).c_str(), nullptr);
}

bool WriteWhole(HANDLE file, std::string_view line, DWORD& written)
{
    written = 0;
    return WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) && written == line.size();
}

// The mutex of the processes writing the file at that path: named for the path as the
// platform compares paths, without regard to case or to the kind of slash.
HANDLE FileMutex(const std::wstring& path)
{
    std::wstring folded(path.size(), L'\0');
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, path.c_str(), static_cast<int>(path.size()), folded.data(),
                     static_cast<int>(folded.size())) != static_cast<int>(path.size()))
        folded = path;
    uint64_t hash = 14695981039346656037ull;
    for (const wchar_t c : folded)
        hash = (hash ^ static_cast<uint16_t>(c == L'/' ? L'\\' : c)) * 1099511628211ull;
    std::wstring name = L"Local\\Norvane.Trace.";
    for (int shift = 60; shift >= 0; shift -= 4)
        name += L"0123456789abcdef"[hash >> shift & 15];
    return CreateMutexW(nullptr, FALSE, name.c_str());
}

// Holds the mutex when it can be had in time. A process that keeps it longer is stuck, and must
// not hold up the others: they go on without it.
class MutexHold {
public:
    MutexHold(HANDLE mutex, bool& usable)
    {
        if (!mutex || !usable)
            return;
        const DWORD waited = WaitForSingleObject(mutex, MutexWaitMilliseconds);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
            mutex_ = mutex;
        else
            usable = false;
    }
    ~MutexHold()
    {
        if (mutex_)
            ReleaseMutex(mutex_);
    }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;

private:
    HANDLE mutex_ = nullptr;
};

}  // namespace

void TraceWriter::Begin(const TracingSettings& settings)
{
    const std::lock_guard<Lock> guard(lock_);
    if (!(settings == settings_)) {
        file_.reset();
        lastStop_.clear();
        if (settings.file != settings_.file)
            fileMutex_.reset(settings.file.empty() ? nullptr : FileMutex(settings.file));
        fileMutexUsable_ = true;
        settings_ = settings;
    }
    rolloverFailed_ = false;
    level_ = settings_.level;
    tracing_ = !settings_.file.empty();
}

void TraceWriter::Append(std::string_view line)
{
    const std::lock_guard<Lock> guard(lock_);
    if (!tracing_)
        return;
    const MutexHold hold(fileMutex_.get(), fileMutexUsable_);
    AppendHeld(line);
}

void TraceWriter::AppendHeld(std::string_view line)
{
    if ((!file_ || Stale()) && !OpenTrace())
        return;
    LARGE_INTEGER size{};
    if (!rolloverFailed_ && GetFileSizeEx(file_.get(), &size) && size.QuadPart > 0 &&
        static_cast<uint64_t>(size.QuadPart) + line.size() > settings_.rolloverBytes) {
        RollOver();
        if (!file_)
            return;
    }
    DWORD written = 0;
    if (!WriteWhole(file_.get(), line, written)) {
        const DWORD error = GetLastError();
        // A part of the line went out: the stopped line must not run on from it.
        if (written > 0)
            WriteWhole(file_.get(), "\n", written);
        Stop(WithError("the trace cannot be written", error));
        return;
    }
    lastStop_.clear();
}

// The file at the path, which need not be the one open until now: another process may have
// rolled that over, or someone moved it away.
bool TraceWriter::OpenTrace()
{
    HANDLE file = CreateTrace(settings_.file);
    if (!file && GetLastError() == ERROR_PATH_NOT_FOUND) {
        CreateFolders(settings_.file);
        file = CreateTrace(settings_.file);
    }
    if (!file) {
        Stop(WithError("the trace cannot be opened", GetLastError()));
        return false;
    }
    // The earlier file stays open until now, for a stopped line to go to.
    file_ = FileHandle(file);
    return true;
}

// Whether the path holds another file than the open one (another process rolled it over, or
// someone moved it away); by size, which costs a look at the path rather than an open. Two
// files of one size pass for one, but the open one keeps growing and will differ by the next
// line; a process appending between the two looks, without the mutex, makes a false alarm, and
// so only a reopen.
bool TraceWriter::Stale() const
{
    LARGE_INTEGER own{};
    WIN32_FILE_ATTRIBUTE_DATA atPath;
    return !GetFileSizeEx(file_.get(), &own) ||
           !GetFileAttributesExW(settings_.file.c_str(), GetFileExInfoStandard, &atPath) ||
           (atPath.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
           Wide(atPath.nFileSizeHigh, atPath.nFileSizeLow) != static_cast<uint64_t>(own.QuadPart);
}

// Renames only the file this process has open: should another process have rolled it over first
// (one that went on without the mutex), the path holds a new file by then, and renaming that over
// the older one would lose every line of the older one.
void TraceWriter::RollOver()
{
    if (SameFileAtPath()) {
        const std::wstring older = settings_.file + L".1";
        if (!MoveFileExW(settings_.file.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING))
            rolloverFailed_ = true;
    }
    OpenTrace();
}

bool TraceWriter::SameFileAtPath() const
{
    const FileHandle atPath(CreateFileW(settings_.file.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION there, here;
    return atPath && GetFileInformationByHandle(atPath.get(), &there) && GetFileInformationByHandle(file_.get(), &here) &&
           there.dwVolumeSerialNumber == here.dwVolumeSerialNumber && there.nFileIndexHigh == here.nFileIndexHigh &&
           there.nFileIndexLow == here.nFileIndexLow;
}

// Says so once, in the file that was being written when there is one, and falls silent until
// the next Begin.
void TraceWriter::Stop(const std::string& reason)
{
    if (file_ && reason != lastStop_) {
        DWORD written = 0;
        WriteWhole(file_.get(), StoppedLine(StampNow(settings_.level), reason), written);
    }
    file_.reset();
    tracing_ = false;
    lastStop_ = reason;
}
