// Reading a profile file through POSIX calls.

#include "profile/ProfileRead.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace profile {

using platform::FileFailure;
using platform::FileStatus;

namespace {

FileState stateOf(const struct stat& st) {
    const platform::FileIdentity identity = platform::FileIdentity::of(st);
    return {identity, st.st_size, st.st_mtim, st.st_ctim, st.st_mode, st.st_uid, st.st_gid};
}

bool before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

} // namespace

// The inode tells a file renamed over the old one within one tick of the file clock,
// with the same size and times. No test can see this rule on a file system with
// nanosecond change times (ext4, tmpfs here): the rename moves the change time on.
// It is kept for file systems with coarser times.
bool FileState::operator==(const FileState& o) const {
    return identity == o.identity && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
}

FileStatus readWhole(const QByteArray& nativePath, QByteArray& data, FileState* state,
                     bool* settled) {
    timespec began{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &began);
    // Without O_NONBLOCK a FIFO would block the open until a writer comes.
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int failure = errno;
        if (failure == EISDIR)
            return {FileFailure::NotAFile, failure};
        // Missing only when the name is gone too: an open that fails with ENOENT while
        // the name stands failed to read a file, which must not pass for an empty one.
        struct stat st {};
        const bool gone =
            failure == ENOENT && ::stat(nativePath.constData(), &st) != 0 && errno == ENOENT;
        return {gone ? FileFailure::NotFound : FileFailure::Unreadable, failure};
    }
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    if (!statted || !S_ISREG(st.st_mode)) {
        const FileStatus status = statted ? FileStatus{FileFailure::NotAFile, EINVAL}
                                          : FileStatus{FileFailure::Unreadable, errno};
        ::close(fd);
        return status;
    }
    data.clear();
    data.reserve(static_cast<qsizetype>(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int failure = errno;
            ::close(fd);
            return {FileFailure::Unreadable, failure};
        }
        if (n == 0)
            break;
        data.append(chunk, n);
    }
    ::close(fd); // read-only: nothing that a failed close could lose
    if (state)
        *state = stateOf(st);
    // Both times, not either: a change within the read's own clock tick could move one
    // of them only. As with the inode above, nanosecond change times keep any test
    // here from seeing the difference.
    if (settled)
        *settled = before(st.st_mtim, began) && before(st.st_ctim, began);
    return {};
}

bool holdsBytes(const QByteArray& nativePath, QByteArrayView data, FileState& state) {
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == data.size();
    const FileState before = stateOf(st);
    char chunk[65536];
    for (qsizetype at = 0; same;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        same = n >= 0 && at + n <= data.size() && data.sliced(at, n) == QByteArrayView(chunk, n);
        if (n <= 0 || !same)
            break;
        at += n;
    }
    same = same && ::fstat(fd, &st) == 0 && stateOf(st) == before;
    ::close(fd); // read-only
    state = before;
    return same;
}

bool stateAt(const QByteArray& nativePath, FileState& state) {
    struct stat st {};
    if (::stat(nativePath.constData(), &st) != 0)
        return false;
    state = stateOf(st);
    return true;
}

} // namespace profile
