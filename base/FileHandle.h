// Owns one handle of an open file (CreateFileW), closed with its owner.
#pragma once

#include <windows.h>

#include <memory>

struct FileHandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

class FileHandle : public std::unique_ptr<void, FileHandleCloser> {
public:
    // Takes what CreateFileW gave; INVALID_HANDLE_VALUE becomes an empty owner.
    explicit FileHandle(HANDLE handle)
        : std::unique_ptr<void, FileHandleCloser>(handle == INVALID_HANDLE_VALUE ? nullptr : handle)
    {
    }
};
