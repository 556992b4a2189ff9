#pragma once

// Small helpers of the Windows file layer: wide path names, errors, and handles that
// close themselves.

#include "platform/FileStatus.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

#include <windows.h>

namespace platform::win {

// The name the wide file functions take: native separators.
inline std::wstring widePath(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}
// The same for a name in the form QFile::encodeName gives.
inline std::wstring widePath(const QByteArray& encoded) {
    return widePath(QFile::decodeName(encoded));
}

// Sharing that holds off no one's read, write, rename or deletion of the file.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The errno value nearest to a Windows error, for FileStatus::error.
inline int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

// A failed write, with the errno nearest to the thread's last Windows error.
inline FileStatus lastError() {
    return writeFailed(errnoOf(::GetLastError()));
}

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : handle_(other.release()) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }
    HANDLE release() {
        HANDLE h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return h;
    }
    // Closes the handle; false when the close reports an error.
    bool reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        const bool ok = !valid() || ::CloseHandle(handle_);
        handle_ = handle;
        return ok;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// WriteFile until everything is written or the file takes no more; returns the bytes
// written. The bytes go to offset `at`, or each piece to the end of the file (AtEnd).
constexpr std::int64_t AtEnd = -1;
constexpr std::int64_t AtPointer = -2; // at the handle's file pointer, which moves on
inline std::size_t writeAll(HANDLE file, const char* data, std::size_t size, std::int64_t at) {
    std::size_t done = 0;
    while (done < size) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        OVERLAPPED where{};
        const auto offset = static_cast<std::uint64_t>(at + static_cast<std::int64_t>(done));
        where.Offset = at == AtEnd ? 0xFFFFFFFF : static_cast<DWORD>(offset);
        where.OffsetHigh = at == AtEnd ? 0xFFFFFFFF : static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        if (!::WriteFile(file, data + done, piece, &written, at == AtPointer ? nullptr : &where) ||
            written == 0)
            break;
        done += written;
    }
    return done;
}

// Sets the file's end at `size` bytes: cuts it, or lengthens it with zeros.
inline bool setEnd(HANDLE file, std::int64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    return ::SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end);
}

} // namespace platform::win
