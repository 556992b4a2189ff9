#pragma once

#include <utility>

namespace platform {

// Why a call on a file failed. Every file call of the program (the settings files'
// reader, writer and lock, the output file) answers with a FileStatus, or with a
// FileResult that carries one.
enum class FileFailure {
    None,
    Refused,       // the file could not give back what was to be written
    NotFound,      // no such file, or no such key to remove
    BadPath,       // an empty path, or its folder is missing or no folder
    NotAFile,      // a folder, a FIFO or a device where the file should be
    Busy,          // another writer kept the lock for the whole time-out
    ReadOnly,      // the file may not be written (or deleted)
    Unreadable,    // the file could not be read
    WriteFailed,   // creating, writing, syncing, cutting, closing or replacing the file failed
    Changed,       // the file changed under the writer, or its name went to another file
    NoSafeRewrite, // in place, this change could not be made so that a kill leaves a whole file
    Exists,        // what was to be made or added is already there
};

// The outcome of a file call: none, or a failure with the errno behind it.
struct FileStatus {
    FileFailure failure = FileFailure::None;
    int error = 0;
    bool ok() const { return failure == FileFailure::None; }
    explicit operator bool() const { return ok(); }
    bool operator==(const FileStatus&) const = default;
};

// A failed write (creating, writing, syncing, cutting, closing or replacing a file), and why.
inline FileStatus writeFailed(int error) {
    return {FileFailure::WriteFailed, error};
}

// Why a file could not be written, in the words the user is told: the disk (or the user's
// share of it) full, the file too large for the drive (or the file-size limit), no
// permission, changed, removed or held by another program meanwhile, or any other failure.
enum class FileProblem { DiskFull, TooLarge, NoPermission, Changed, Other };
FileProblem problemOf(const FileStatus& status);

// The failure's name ("write-failed"), for the tools' and the tests' messages.
const char* failureName(FileFailure failure);

// A value, or the failure that kept it from being had.
template <typename T> class FileResult {
public:
    FileResult(T value) : value_(std::move(value)) {}
    FileResult(FileStatus failure) : status_(failure) {}
    bool ok() const { return status_.ok(); }
    explicit operator bool() const { return ok(); }
    const T& value() const { return value_; }
    const T& operator*() const { return value_; }
    const T* operator->() const { return &value_; }
    FileStatus status() const { return status_; }

private:
    T value_{};
    FileStatus status_;
};

} // namespace platform
