#include "platform/OutputFile.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

using platform::FileFailure;
using platform::FileStatus;
using platform::writeFailed;

FileStatus OutputFile::prepare(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return errno == ENOENT ? FileStatus{} : FileStatus{FileFailure::Unreadable, errno};
    if (S_ISLNK(st.st_mode)) {
        // A link to a regular file or a dangling one is replaced; a link to anything else
        // is refused as that thing is.
        struct stat target {};
        if (::stat(name.constData(), &target) == 0 && !S_ISREG(target.st_mode))
            return {FileFailure::NotAFile, EISDIR};
    } else if (!S_ISREG(st.st_mode)) {
        return {FileFailure::NotAFile, S_ISDIR(st.st_mode) ? EISDIR : EINVAL};
    } else if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        // Write-protected (root, too, keeps a file without write bits, as rm asks first)
        return {FileFailure::ReadOnly, EACCES};
    } else if (::access(name.constData(), W_OK) != 0) {
        return {FileFailure::ReadOnly, errno};
    }
    return ::unlink(name.constData()) == 0 ? FileStatus{} : writeFailed(errno);
}

FileStatus OutputFile::openNew(const QString& path, int& fd) {
    fd = ::open(QFile::encodeName(path).constData(),
                O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0)
        return {};
    return {errno == EEXIST ? FileFailure::Exists : FileFailure::WriteFailed, errno};
}

const bool OutputFile::GathersParts = true;

FileStatus OutputFile::appendAll(int fd, std::string_view first, std::string_view second,
                                 std::size_t& done) {
    done = 0;
    const std::size_t size = first.size() + second.size();
    while (done < size) {
        // What is left of the two parts.
        iovec parts[2];
        int count = 0;
        if (done < first.size())
            parts[count++] = {const_cast<char*>(first.data() + done), first.size() - done};
        const std::size_t intoSecond = done > first.size() ? done - first.size() : 0;
        if (intoSecond < second.size())
            parts[count++] = {const_cast<char*>(second.data() + intoSecond),
                              second.size() - intoSecond};
        const ssize_t n = ::writev(fd, parts, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return writeFailed(n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
    return {};
}

FileStatus OutputFile::truncateTo(int fd, std::int64_t size) {
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0 ? FileStatus{} : writeFailed(errno);
}

FileStatus OutputFile::closeDescriptor(int fd) {
    return ::close(fd) == 0 ? FileStatus{} : writeFailed(errno);
}

namespace {
std::optional<OutputFile::Found> foundOf(int result, const struct stat& st) {
    if (result != 0)
        return std::nullopt;
    return OutputFile::Found{platform::FileIdentity::of(st), static_cast<std::int64_t>(st.st_size)};
}
} // namespace

std::optional<OutputFile::Found> OutputFile::find(const QString& path) {
    struct stat st {};
    return foundOf(::stat(QFile::encodeName(path).constData(), &st), st);
}

std::optional<OutputFile::Found> OutputFile::findDescriptor(int fd) {
    struct stat st {};
    return foundOf(::fstat(fd, &st), st);
}

bool OutputFile::hasHoleBefore(int fd, std::int64_t size) {
    // Every write appends (O_APPEND), so moving the offset changes none of them. A file
    // system without holes reports the end of the file; one that cannot tell (an old
    // one: EINVAL) is taken as holding none.
    if (size <= 0)
        return false;
    const off_t hole = ::lseek(fd, 0, SEEK_HOLE);
    return hole >= 0 && hole < static_cast<off_t>(size);
}
