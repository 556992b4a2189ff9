#pragma once

// Reading a whole profile file, and what tells one file from another.

#include "platform/FileStatus.h"

#include <QByteArray>

#include <cstdint>

#include <sys/stat.h>

namespace profile {

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

// Reads the whole file. NotFound when nothing is there; anything but a regular file (a
// FIFO, a device, a folder) is NotAFile, found without blocking; a file that is there
// but cannot be read is Unreadable. `settled` tells whether its times are older than
// the moment the read began: only then does any later change show in its times (file
// times come from the same coarse clock, so a change within that clock tick would not).
platform::FileStatus readWhole(const QByteArray& nativePath, QByteArray& data,
                               FileIdentity* identity, bool* settled);

// The identity of the file that nativePath names; false when nothing is there.
bool identityAt(const QByteArray& nativePath, FileIdentity& identity);
#ifdef _WIN32
// The identity of an open file (a HANDLE); false when it is no regular file.
bool identityOf(void* file, FileIdentity& identity);
#endif

} // namespace profile
