#include "platform/OutputFile.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

OutputFile::Prepared OutputFile::prepare(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return errno == ENOENT ? Prepared::Ready : Prepared::CannotDelete;
    if (S_ISLNK(st.st_mode)) {
        // A link to a regular file or a dangling one is replaced; a link to anything else
        // is refused as that thing is.
        struct stat target {};
        if (::stat(name.constData(), &target) == 0 && !S_ISREG(target.st_mode))
            return Prepared::NotAFile;
    } else if (!S_ISREG(st.st_mode)) {
        return Prepared::NotAFile;
    } else if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
               ::access(name.constData(), W_OK) != 0) {
        // Write-protected (root, too, keeps a file without write bits, as rm asks first)
        return Prepared::CannotDelete;
    }
    return ::unlink(name.constData()) == 0 ? Prepared::Ready : Prepared::CannotDelete;
}

bool OutputFile::appendTo(const QString& path, const char* data, std::size_t size) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && appendAll(fd, data, size) != size) {
        ok = false;
        if (!truncateTo(fd, st.st_size)) {
            // what reached the file stays; the append has failed either way
        }
    }
    return closeDescriptor(fd) && ok;
}

int OutputFile::openNew(const QString& path) {
    return ::open(QFile::encodeName(path).constData(),
                  O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

// write(2) until everything is written or the file takes no more.
std::size_t OutputFile::appendAll(int fd, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool OutputFile::truncateTo(int fd, std::int64_t size) {
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

bool OutputFile::closeDescriptor(int fd) {
    return ::close(fd) == 0;
}

namespace {
std::optional<OutputFile::Identity> identityOfStat(int result, const struct stat& st) {
    if (result != 0)
        return std::nullopt;
    return OutputFile::Identity{static_cast<std::uint64_t>(st.st_dev),
                                static_cast<std::uint64_t>(st.st_ino)};
}
} // namespace

std::optional<OutputFile::Identity> OutputFile::identityOf(const QString& path) {
    struct stat st {};
    return identityOfStat(::stat(QFile::encodeName(path).constData(), &st), st);
}

std::optional<OutputFile::Identity> OutputFile::identityOfDescriptor(int fd) {
    struct stat st {};
    return identityOfStat(::fstat(fd, &st), st);
}
