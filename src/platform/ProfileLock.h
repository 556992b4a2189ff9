#pragma once

// Writers' lock: flock() on the folder that holds the file. Nothing is created, so
// nothing is left behind, and a folder the user may not write to can still be locked.
// A writer that finds the lock taken tries again after short sleeps until the time-out.

#include <QByteArray>

namespace platform::profile {

class WriterLock {
public:
    WriterLock(const QByteArray& folder, int timeoutMs);
    ~WriterLock();
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace platform::profile
