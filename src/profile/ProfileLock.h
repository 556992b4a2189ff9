#pragma once

// Writers' lock. A writer locks the folder that holds the file (flock() on the folder:
// nothing is created, so nothing is left behind, and a folder the user may not write
// to can still be locked), then the file itself. A writer that cannot lock the folder,
// because it may not read it (0711) or its file system has no flock (ENOLCK,
// EOPNOTSUPP, ENOSYS: any error but a lock taken), has the file's lock alone, which
// every writer takes. The file's lock is flock(), or where that is missing an open-file-description
// lock of fcntl(); after each wait the writer checks that the path still names the
// file it locked, since a writer through a temporary file replaces it. A file that no
// lock works on is written without one.
// A writer that finds the lock taken tries again after short sleeps, doubling up to
// MaxPause, until the time-out.

#include "platform/FileStatus.h"

#include <QByteArray>

#include <chrono>

namespace profile {

class WriterLock {
public:
    static constexpr std::chrono::milliseconds MaxPause{16};

    WriterLock(const QByteArray& target, int timeoutMs);
    ~WriterLock();
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    // Fine when the lock is held or no lock works here; Busy after the time-out.
    platform::FileStatus status() const { return status_; }

private:
    void lockFile(const QByteArray& target, std::chrono::steady_clock::time_point deadline);

    int folderFd_ = -1;
    int fd_ = -1;
    platform::FileStatus status_;
};

} // namespace profile
