#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

// The output file of a run. The run creates it once, after the old file is gone, and
// appends every slice through that one descriptor until the run ends: a rename of the
// file or a link put in its place during the run cannot split the output. Every write
// goes straight to the file (no buffer of ours), so what a write reports is in the file
// whatever ends the process next. A write that fails part-way (disk full, file too
// large) can be cut back to a given size, so the file only ever holds whole lines.
class OutputFile {
public:
    enum class Prepared { Ready, NotAFile, CannotDelete };

    // Removes an existing regular file, or a symbolic link (dangling or to a regular
    // file: the link goes, its target stays). A directory, device or other non-regular
    // path, or a link to one, is refused and nothing is deleted. A write-protected file
    // (no write permission for the user, or no write bit at all, as a read-only file on
    // Windows) cannot be deleted and stays.
    static Prepared prepare(const QString& path);

    // What makes a file itself whatever names it has: its device and its number there
    // (inode; on Windows the volume and the file index).
    struct Identity {
        std::uint64_t device = 0;
        std::uint64_t file = 0;
        bool operator==(const Identity&) const = default;
    };
    // The identity of the file or folder at path, links followed; none when nothing is there.
    static std::optional<Identity> identityOf(const QString& path);

    // Appends data to the file at path (created when missing) with one open-append-close,
    // whole or not at all.
    static bool appendTo(const QString& path, const char* data, std::size_t size);

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file; fails when anything (a file, a link, a folder) is at path.
    bool create(const QString& path);
    // Appends data; returns how many of its bytes reached the file: all of them, or
    // fewer when the disk is full or the file-size limit is reached.
    std::size_t write(const char* data, std::size_t size);
    // Cuts the file back to `size` bytes. False when the file could not be cut.
    bool cutBack(std::int64_t size);
    // Closes the file; false when the close reports an error (the last writes may not
    // have reached the disk).
    bool close();

    // The bytes the file holds: everything written and not cut back.
    std::int64_t size() const { return size_; }

    bool isOpen() const { return fd_ >= 0; }
    // Whether the open file is still the file at path: false once its name was removed
    // or given to another file (a rename, a second run to the same name).
    bool isAt(const QString& path) const;

private:
    // The system's calls on a descriptor (OutputFile.cpp, and OutputFile_win.cpp on
    // Windows, where the descriptor wraps a file handle).
    static int openNew(const QString& path); // -1 when anything is at path
    static std::size_t appendAll(int fd, const char* data, std::size_t size);
    static bool truncateTo(int fd, std::int64_t size);
    static bool closeDescriptor(int fd);
    static std::optional<Identity> identityOfDescriptor(int fd);

    int fd_ = -1;
    std::int64_t size_ = 0;
};

inline OutputFile::~OutputFile() {
    close();
}

inline bool OutputFile::create(const QString& path) {
    if (fd_ >= 0)
        return false;
    fd_ = openNew(path);
    size_ = 0;
    return fd_ >= 0;
}

inline std::size_t OutputFile::write(const char* data, std::size_t size) {
    if (fd_ < 0)
        return 0;
    const std::size_t reached = appendAll(fd_, data, size);
    size_ += static_cast<std::int64_t>(reached);
    return reached;
}

inline bool OutputFile::cutBack(std::int64_t size) {
    if (fd_ < 0 || size > size_ || !truncateTo(fd_, size))
        return false;
    size_ = size;
    return true;
}

inline bool OutputFile::isAt(const QString& path) const {
    if (fd_ < 0)
        return false;
    const std::optional<Identity> written = identityOfDescriptor(fd_);
    return written && written == identityOf(path);
}

inline bool OutputFile::close() {
    if (fd_ < 0)
        return true;
    const int fd = fd_;
    fd_ = -1;
    // The descriptor is gone even when close reports an error: never close it twice.
    return closeDescriptor(fd);
}
