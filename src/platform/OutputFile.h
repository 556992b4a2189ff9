#pragma once

#include "platform/FileIdentity.h"
#include "platform/FileStatus.h"

#include <QString>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// The output file of a run. The run creates it once, after the old file is gone, and
// appends every slice through that one descriptor until the run ends: a rename of the
// file or a link put in its place during the run cannot split the output. Every write
// goes straight to the file (no buffer of ours), so what a write reports is in the file
// whatever ends the process next. A write that fails part-way (disk full, file too
// large) can be cut back to a given size, so the file only ever holds whole lines.
class OutputFile {
public:
    // Removes an existing regular file, or a symbolic link (dangling or to a regular
    // file: the link goes, its target stays). A directory, device or other non-regular
    // path, or a link to one, is refused (NotAFile) and nothing is deleted. A
    // write-protected file (no write permission for the user, or no write bit at all, as
    // a read-only file on Windows) stays (ReadOnly). Fine when nothing is at path now.
    static platform::FileStatus prepare(const QString& path);

    // What a look at a file finds: the file and its size.
    struct Found {
        platform::FileIdentity identity;
        std::int64_t size = 0;
    };
    // The identity of the file or folder at path, links followed; none when nothing is there.
    static std::optional<platform::FileIdentity> identityOf(const QString& path);

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file; Exists when anything (a file, a link, a folder) is at path.
    platform::FileStatus create(const QString& path);
    // Appends data. A failure (the disk full, the file-size limit reached) may come after
    // some of the bytes reached the file: size() counts those.
    platform::FileStatus write(const char* data, std::size_t size) {
        return write(std::string_view(data, size), {});
    }
    // Appends first, then second, as write does.
    platform::FileStatus write(std::string_view first, std::string_view second);
    // Whether such a write of two parts is one call of the system's (writev), as a write
    // of one part is. Where it is not (Windows: two calls of WriteFile), a caller who
    // wants one call puts the parts together first.
    static const bool GathersParts;
    // Cuts the file back to `size` bytes.
    platform::FileStatus cutBack(std::int64_t size);
    // Closes the file; a failure says the last writes may not have reached the disk.
    platform::FileStatus close();

    // The bytes the file holds: everything written and not cut back.
    std::int64_t size() const { return size_; }

    bool isOpen() const { return fd_ >= 0; }
    // Whether the file at path is the open file and holds exactly the bytes written
    // through it: Changed ENOENT once its name was removed or given to another file (a
    // rename, a second run to the same name), Changed EIO once another process cut it,
    // appended to it or punched a hole into it (or a file system showed a new file under
    // the old one's number). A change that keeps the size and leaves no hole (an overwrite
    // in place, a cut and a re-extension to the same size, a write through a mapping) is
    // not seen: that would take reading the file back.
    platform::FileStatus checkWrittenAt(const QString& path) const;

private:
    // The system's calls on a descriptor (OutputFile_posix.cpp, and OutputFile_win.cpp,
    // where the descriptor wraps a file handle).
    static platform::FileStatus openNew(const QString& path, int& fd);
    // Writes first and then second until everything is written or the file takes no
    // more; `done` counts the bytes written.
    static platform::FileStatus appendAll(int fd, std::string_view first, std::string_view second,
                                          std::size_t& done);
    static platform::FileStatus truncateTo(int fd, std::int64_t size);
    static platform::FileStatus closeDescriptor(int fd);
    static std::optional<Found> find(const QString& path);
    static std::optional<Found> findDescriptor(int fd);
    // Whether the file's first `size` bytes hold a hole (SEEK_HOLE), which none of our
    // writes leaves: one lseek. Never on Windows, where no other process may write to
    // the file while it is open (its sharing mode), and so none can punch one there.
    static bool hasHoleBefore(int fd, std::int64_t size);

    int fd_ = -1;
    std::int64_t size_ = 0;
};

inline OutputFile::~OutputFile() {
    close();
}

inline platform::FileStatus OutputFile::create(const QString& path) {
    if (fd_ >= 0)
        return {platform::FileFailure::Exists, EBUSY};
    size_ = 0;
    return openNew(path, fd_);
}

inline platform::FileStatus OutputFile::write(std::string_view first, std::string_view second) {
    if (fd_ < 0)
        return platform::writeFailed(EBADF);
    std::size_t reached = 0;
    const platform::FileStatus status = appendAll(fd_, first, second, reached);
    size_ += static_cast<std::int64_t>(reached);
    return status;
}

inline platform::FileStatus OutputFile::cutBack(std::int64_t size) {
    if (fd_ < 0 || size > size_)
        return platform::writeFailed(fd_ < 0 ? EBADF : EINVAL);
    const platform::FileStatus status = truncateTo(fd_, size);
    if (status)
        size_ = size;
    return status;
}

inline std::optional<platform::FileIdentity> OutputFile::identityOf(const QString& path) {
    const std::optional<Found> found = find(path);
    return found ? std::optional(found->identity) : std::nullopt;
}

inline platform::FileStatus OutputFile::checkWrittenAt(const QString& path) const {
    const std::optional<Found> written = fd_ >= 0 ? findDescriptor(fd_) : std::nullopt;
    const std::optional<Found> named = find(path);
    if (!written || !named || written->identity != named->identity)
        return {platform::FileFailure::Changed, ENOENT};
    // Both sizes: a file system that gives a new file the old one's number (a FUSE mount)
    // still shows the new file's size at the path.
    if (written->size != size_ || named->size != size_ || hasHoleBefore(fd_, size_))
        return {platform::FileFailure::Changed, EIO};
    return {};
}

inline platform::FileStatus OutputFile::close() {
    if (fd_ < 0)
        return {};
    const int fd = fd_;
    fd_ = -1;
    // The descriptor is gone even when close reports an error: never close it twice.
    return closeDescriptor(fd);
}
