#pragma once

// Reading a whole profile file, and what tells whether it changed since.

#include "platform/FileIdentity.h"
#include "platform/FileStatus.h"

#include <QByteArray>

#include <cstdint>

#include <sys/stat.h>

namespace profile {

// What a look at a file finds: which file it is, and its size and times, which any write
// moves on. Two states are equal while the name holds the same file, unwritten.
struct FileState {
    platform::FileIdentity identity;
#ifdef _WIN32
    // Its size, and its last write and change times in 100 ns ticks.
    std::int64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;
    std::uint32_t mode = 0; // its attributes: not compared, the writer keeps them
#else
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    mode_t mode = 0; // not compared: the writer keeps it, and the owner too
    uid_t owner = 0;
    gid_t group = 0;
#endif
    bool operator==(const FileState& o) const;
};

// Reads the whole file. NotFound when nothing is there; anything but a regular file (a
// FIFO, a device, a folder) is NotAFile, found without blocking; a file that is there
// but cannot be read is Unreadable. `settled` tells whether its times are older than
// the moment the read began: only then does any later change show in its times (file
// times come from the same coarse clock, so a change within that clock tick would not).
platform::FileStatus readWhole(const QByteArray& nativePath, QByteArray& data, FileState* state,
                               bool* settled);

// Whether nativePath names a regular file (not a link) that holds data, its state
// unchanged while it was read; that state in state.
bool holdsBytes(const QByteArray& nativePath, QByteArrayView data, FileState& state);

// The state of the file that nativePath names; false when nothing is there.
bool stateAt(const QByteArray& nativePath, FileState& state);
#ifdef _WIN32
// The state of an open file (a HANDLE); false when it is no regular file.
bool stateOf(void* file, FileState& state);
#endif

} // namespace profile
