#include "platform/ProfileWriter.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <climits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::profile {

std::function<bool()>& beforeReplaceHook() {
    static std::function<bool()> hook;
    return hook;
}

std::atomic<bool>& inPlaceOnly() {
    static std::atomic<bool> only{false};
    return only;
}

namespace {

bool runHook() {
    const auto& hook = beforeReplaceHook();
    return !hook || hook();
}

bool writeAllAt(int fd, QByteArrayView data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::pwrite(fd, data.data() + done, static_cast<size_t>(data.size() - done),
                                   static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Rewrites the file in place, for a folder that takes no temporary file. The space for
// the longer content is reserved first: when the disk is full or the file would pass
// its size limit that fails and the old content is untouched.
bool rewriteInPlace(const QByteArray& target, QByteArrayView old, QByteArrayView data) {
    const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = true;
    if (data.size() > old.size()) {
        const int error = ::posix_fallocate(fd, static_cast<off_t>(old.size()),
                                            static_cast<off_t>(data.size() - old.size()));
        ok = error == 0;
    }
    ok = ok && runHook();
    if (ok && !writeAllAt(fd, data)) {
        // Not expected once the space is there; put the old content back.
        writeAllAt(fd, old);
        ok = false;
    }
    const qsizetype finalSize = ok ? data.size() : old.size();
    if (::ftruncate(fd, static_cast<off_t>(finalSize)) != 0)
        ok = false;
    if (ok && ::fdatasync(fd) != 0)
        ok = false;
    return ::close(fd) == 0 && ok;
}

} // namespace

// Replacing the file

QByteArray resolveLinks(const QByteArray& path) {
    QByteArray current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t n = ::readlink(current.constData(), target.data(), PATH_MAX);
        if (n <= 0)
            return current;
        const QByteArray link(target.data(), n);
        if (link.startsWith('/')) {
            current = link;
        } else {
            const qsizetype slash = current.lastIndexOf('/');
            current = (slash < 0 ? QByteArray() : current.first(slash + 1)) + link;
        }
    }
    return current;
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.first(slash);
}

bool replaceFile(const QByteArray& target, QByteArrayView old, QByteArrayView data, bool existed) {
    const QString name = QFile::decodeName(target);
    if (existed && ::access(target.constData(), W_OK) != 0)
        return false; // a read-only settings file stays as it is
    if (!inPlaceOnly()) {
        QSaveFile file(name);
        file.setDirectWriteFallback(false);
        if (file.open(QIODevice::WriteOnly)) {
            if (file.write(data.data(), data.size()) != data.size() || !runHook()) {
                file.cancelWriting();
                return false;
            }
            return file.commit();
        }
    }
    return existed && rewriteInPlace(target, old, data);
}

// What the file format can give back as written.

} // namespace platform::profile
