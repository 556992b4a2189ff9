#include "profile/ProfileLock.h"

#include "platform/FileIdentity.h"
#include "profile/ProfilePath.h"

#include <algorithm>
#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace profile {
namespace {

using Clock = std::chrono::steady_clock;

enum class Attempt { Held, Taken, Unsupported };

// Errors of a file system that has no such lock (or of a lock that no longer works).
bool noSuchLock(int error) {
    return error != EWOULDBLOCK && error != EAGAIN && error != EACCES && error != EINTR;
}

// One try at an exclusive lock: flock(), or on a file whose file system has none,
// fcntl()'s lock of the open file description (it needs the file open for writing).
Attempt tryLock(int fd, bool isFile) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return Attempt::Held;
    if (!noSuchLock(errno))
        return Attempt::Taken;
    if (!isFile)
        return Attempt::Unsupported;
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &whole) == 0)
        return Attempt::Held;
    return noSuchLock(errno) ? Attempt::Unsupported : Attempt::Taken;
}

Attempt lockUntil(int fd, bool isFile, Clock::time_point deadline) {
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        const Attempt attempt = tryLock(fd, isFile);
        const auto now = Clock::now();
        if (attempt != Attempt::Taken || now >= deadline)
            return attempt;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, WriterLock::MaxPause);
    }
}

} // namespace

WriterLock::WriterLock(const QByteArray& target, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int folder = ::open(folderOf(target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        const Attempt attempt = lockUntil(folder, false, deadline);
        if (attempt == Attempt::Held) {
            folderFd_ = folder;
        } else {
            ::close(folder);
            if (attempt == Attempt::Taken) {
                status_ = {platform::FileFailure::Busy, EWOULDBLOCK};
                return;
            }
        }
    }
    // The file's own lock too: a writer that cannot read the folder takes only that one.
    lockFile(target, deadline);
}

void WriterLock::lockFile(const QByteArray& target, Clock::time_point deadline) {
    for (;;) {
        // O_NONBLOCK: a FIFO in the file's place must not block the open.
        int fd = ::open(target.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && (errno == EACCES || errno == EROFS))
            fd = ::open(target.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return; // no file to lock: the write goes on without a lock and finds why
        struct stat locked {};
        if (::fstat(fd, &locked) != 0 || !S_ISREG(locked.st_mode)) {
            ::close(fd);
            return;
        }
        const Attempt attempt = lockUntil(fd, true, deadline);
        struct stat named {};
        if (attempt == Attempt::Held && ::stat(target.constData(), &named) == 0 &&
            platform::FileIdentity::of(named) == platform::FileIdentity::of(locked)) {
            fd_ = fd;
            return;
        }
        ::close(fd);
        if (attempt == Attempt::Unsupported)
            return;
        if (attempt == Attempt::Taken || Clock::now() >= deadline) {
            status_ = {platform::FileFailure::Busy, EWOULDBLOCK};
            return;
        }
        // Held, but the file was replaced meanwhile: lock the one the path names now.
    }
}

WriterLock::~WriterLock() {
    if (fd_ >= 0)
        ::close(fd_); // closing the only descriptor releases the lock
    if (folderFd_ >= 0)
        ::close(folderFd_);
}

} // namespace profile
