#include "platform/ProfileCache.h"

#include <QFile>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace platform::profile {
namespace {

FileIdentity identityOf(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

bool before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

} // namespace

bool FileIdentity::operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
           changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
}

ReadStatus readWhole(const QByteArray& nativePath, QByteArray& data, FileIdentity* identity,
                     bool* settled) {
    timespec began{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &began);
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return ReadStatus::Failed;
    }
    data.clear();
    data.reserve(static_cast<qsizetype>(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return ReadStatus::Failed;
        }
        if (n == 0)
            break;
        data.append(chunk, n);
    }
    ::close(fd);
    if (identity)
        *identity = identityOf(st);
    if (settled)
        *settled = before(st.st_mtim, began) && before(st.st_ctim, began);
    return ReadStatus::Ok;
}

std::shared_ptr<const ProfileText> ReadCache::get(const QString& path) {
    const QByteArray nativePath = QFile::encodeName(path);
    struct stat st {};
    const bool exists = ::stat(nativePath.constData(), &st) == 0;
    {
        std::lock_guard guard(mutex_);
        if (exists && text_ && nativePath == path_ && identityOf(st) == identity_)
            return text_;
    }
    QByteArray data;
    FileIdentity identity;
    bool settled = false;
    if (readWhole(nativePath, data, &identity, &settled) != ReadStatus::Ok)
        return nullptr;
    auto text = std::make_shared<const ProfileText>(std::move(data));
    std::lock_guard guard(mutex_);
    if (settled) {
        path_ = nativePath;
        identity_ = identity;
        text_ = text;
    } else {
        text_.reset();
    }
    return text;
}

void ReadCache::clear() {
    std::lock_guard guard(mutex_);
    text_.reset();
    path_.clear();
}

ReadCache& ReadCache::instance() {
    static ReadCache cache;
    return cache;
}

} // namespace platform::profile
