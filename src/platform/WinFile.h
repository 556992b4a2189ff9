#pragma once

// Small helpers of the Windows file layer: wide path names and handles that close
// themselves.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstddef>
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
// written. With atEnd, every piece goes to the end of the file.
inline std::size_t writeAll(HANDLE file, const char* data, std::size_t size, bool atEnd) {
    std::size_t done = 0;
    while (done < size) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        OVERLAPPED end{};
        end.Offset = end.OffsetHigh = 0xFFFFFFFF;
        DWORD written = 0;
        if (!::WriteFile(file, data + done, piece, &written, atEnd ? &end : nullptr) ||
            written == 0)
            break;
        done += written;
    }
    return done;
}

} // namespace platform::win
