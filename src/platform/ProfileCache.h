#pragma once

// Reading a whole profile file, and the cache of the last one parsed.

#include "platform/ProfileLines.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>

#include <sys/stat.h>

namespace platform::profile {

struct FileIdentity {
#ifdef _WIN32
    // The volume's serial number, the file's index on it, and its last write and
    // change times in 100 ns ticks.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;
    std::uint32_t mode = 0; // its attributes: not part of the identity, the writer keeps them
#else
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    mode_t mode = 0; // not part of the identity: the writer keeps it, and the owner too
    uid_t owner = 0;
    gid_t group = 0;
#endif
    bool operator==(const FileIdentity& o) const;
};

enum class ReadStatus { Ok, Missing, NotAFile, Failed };

// Reads the whole file. Anything but a regular file (a FIFO, a device, a folder) is
// NotAFile, found without blocking. `settled` tells whether its times are older than
// the moment the read began: only then does any later change show in its times (file
// times come from the same coarse clock, so a change within that clock tick would
// not). `error` gets the errno of a failed read.
ReadStatus readWhole(const QByteArray& nativePath, QByteArray& data, FileIdentity* identity,
                     bool* settled, int* error = nullptr);

// The identity of the file that nativePath names; false when nothing is there.
bool identityAt(const QByteArray& nativePath, FileIdentity& identity);
#ifdef _WIN32
// The identity of an open file (a HANDLE); false when it is no regular file.
bool identityOf(void* file, FileIdentity& identity);
#endif

// The last file read, parsed, while its path names the same unchanged file. Writes
// through ProfileFile drop it.
class ReadCache {
public:
    // The parsed file, or null when it is missing or cannot be read (status tells which).
    std::shared_ptr<const ProfileText> get(const QString& path, ReadStatus* status = nullptr,
                                           int* error = nullptr);
    void clear();
    static ReadCache& instance();

private:
    std::mutex mutex_;
    QByteArray path_;
    FileIdentity identity_;
    std::shared_ptr<const ProfileText> text_;
};

} // namespace platform::profile
