// Replacing a profile file through POSIX calls.

#include "profile/ProfileWriter.h"

#include "profile/ProfilePath.h"

#include <QList>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace profile {

using platform::FileFailure;
using platform::FileStatus;
using platform::writeFailed;

namespace {

// Writes all of bytes at offset at, going on after a short write.
FileStatus writeAt(int fd, qsizetype at, QByteArrayView bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done),
                     static_cast<off_t>(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return writeFailed(n < 0 ? errno : EIO);
        done += n;
    }
    return {};
}

FileStatus closeChecked(int fd, FileStatus status) {
    if (::close(fd) != 0 && status)
        return writeFailed(errno); // what the file system still had to write may be lost
    return status;
}

// ---------------------------------------------------------------------------
// Through a temporary file

QByteArray temporaryPrefix(const QByteArray& target) {
    return folderOf(target) + "/." + target.sliced(target.lastIndexOf('/') + 1) + ".tmp-";
}

QByteArray temporaryName(const QByteArray& target) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = temporaryPrefix(target);
    for (int i = 0; i < 6; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
    return name;
}

// A writer killed between naming its temporary file and the rename leaves the name
// behind; the next writer, holding the lock, removes it.
void removeLeftovers(const QByteArray& target) {
    const QByteArray prefix = temporaryPrefix(target);
    const QByteArray leaf = prefix.sliced(prefix.lastIndexOf('/') + 1);
    DIR* folder = ::opendir(folderOf(target).constData());
    if (folder == nullptr)
        return;
    while (const dirent* entry = ::readdir(folder)) {
        const QByteArrayView name(entry->d_name);
        if (name.size() == leaf.size() + 6 && name.startsWith(leaf))
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
    }
    ::closedir(folder);
}

FileStatus syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno == EACCES ? FileStatus{} : writeFailed(errno); // a folder we may not read
    const FileStatus status = ::fsync(fd) == 0 ? FileStatus{} : writeFailed(errno);
    ::close(fd); // nothing was written through it: the sync said what there was to say
    return status;
}

// What a call that tells the size it needs first (listxattr, getxattr) gives, into out.
template <typename Call> bool sized(QByteArray& out, Call call) {
    for (;;) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return false;
        out.resize(size);
        const ssize_t n = call(out.data(), out.size());
        if (n >= 0) {
            out.resize(n);
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
}

// Gives the new file (fd) the extended attributes of the old one (its ACL among them:
// system.posix_acl_access) and none it lacked (a default ACL of the folder, inherited).
// 0, or the errno of what could not be copied.
int copyAttributes(const QByteArray& target, int fd) {
    QByteArray names, made;
    const char* path = target.constData();
    if ((!sized(names, [&](char* b, size_t n) { return ::listxattr(path, b, n); }) ||
         !sized(made, [&](char* b, size_t n) { return ::flistxattr(fd, b, n); })) &&
        errno != ENOTSUP) // a file system without them
        return errno;
    const QList<QByteArray> kept = names.split('\0');
    for (const QByteArray& name : made.split('\0')) {
        if (!name.isEmpty() && !kept.contains(name) && ::fremovexattr(fd, name.constData()) != 0)
            return errno;
    }
    for (const QByteArray& name : kept) {
        const auto get = [&](char* b, size_t n) { return ::getxattr(path, name.data(), b, n); };
        QByteArray value;
        if (!name.isEmpty() &&
            (!sized(value, get) ||
             ::fsetxattr(fd, name.constData(), value.data(), value.size(), 0) != 0))
            return errno;
    }
    return 0;
}

// Whether path names the file that was read (a link there is another file).
bool namesOld(const QByteArray& path, const platform::FileIdentity& old) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && platform::FileIdentity::of(st) == old;
}

// A new file takes the target's name only while nothing is there; a replacement only
// while the name still holds the file that was read (not one moved there meanwhile, as
// a backup tool does): the names are exchanged, and exchanged back when what came out
// is another file; where the file system cannot exchange, the name is checked just
// before the rename. name is cleared when it holds another's file.
FileStatus moveInto(QByteArray& name, const QByteArray& target, const platform::FileIdentity* old) {
    const char* from = name.constData();
    const char* to = target.constData();
    if (old != nullptr) {
        if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) == 0) {
            if (namesOld(name, *old)) {
                ::unlink(from); // the old file (where that fails, the next writer removes it)
                return {};
            }
            if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) != 0 &&
                ::rename(from, to) != 0)
                name.clear(); // another's file stays at the temporary name
            return {FileFailure::Changed, ESTALE};
        }
        if (errno != EINVAL && errno != ENOSYS) // EINVAL, ENOSYS: a file system without it
            return {errno == ENOENT ? FileFailure::Changed : FileFailure::WriteFailed, errno};
        if (!namesOld(target, *old))
            return {FileFailure::Changed, ESTALE};
        return ::rename(from, to) == 0 ? FileStatus{} : writeFailed(errno);
    }
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return {};
    if (errno == EINVAL || errno == ENOSYS) { // a file system without it
        if (::link(from, to) == 0) {
            ::unlink(from);
            return {};
        }
    }
    return {errno == EEXIST ? FileFailure::Changed : FileFailure::WriteFailed, errno};
}

} // namespace

FileStatus writeThroughTemporary(const QByteArray& target, const OldFile& old, QByteArrayView data,
                                 bool& noTemporary) {
    const QByteArray folder = folderOf(target);
    const mode_t mode = old.exists ? (old.state.mode & 07777) : 0666;
    removeLeftovers(target);
    QByteArray name; // the temporary file's name, once it has one
    int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
        name = temporaryName(target); // a file system without unnamed files
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    }
    if (fd < 0) {
        noTemporary = errno == EACCES || errno == EPERM || errno == EROFS;
        return writeFailed(errno);
    }
    FileStatus status;
    struct stat made {};
    if (old.exists && ::fstat(fd, &made) != 0)
        status = writeFailed(errno);
    else if (old.exists && (made.st_uid != old.state.owner || made.st_gid != old.state.group) &&
             ::fchown(fd, old.state.owner, old.state.group) != 0) {
        // The rename would hand the file to this user: where it may not give it back (only
        // root may), it writes in place.
        noTemporary = errno == EPERM;
        status = writeFailed(errno);
    }
    if (status && old.exists) {
        // Where attributes cannot be copied (a namespace the user may not set), in place
        // the file keeps them.
        if (const int error = copyAttributes(target, fd)) {
            noTemporary = error == EPERM || error == EACCES || error == ENOTSUP;
            status = writeFailed(error);
        }
    }
    // After the ACL: the umask may have taken bits away.
    if (status && old.exists && ::fchmod(fd, mode) != 0)
        status = writeFailed(errno);
    if (status)
        status = writeAt(fd, 0, data);
    if (status && ::fdatasync(fd) != 0)
        status = writeFailed(errno);
    if (status && !runBeforeReplaceHook())
        status = writeFailed(ECANCELED);
    if (status && name.isEmpty()) {
        // A new file is linked at the target's name (which fails when a file appeared
        // meanwhile), a replacement at a temporary name that the rename moves.
        name = old.exists ? temporaryName(target) : target;
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) !=
            0) {
            status = {errno == EEXIST ? FileFailure::Changed : FileFailure::WriteFailed, errno};
            name.clear();
        }
    }
    status = closeChecked(fd, status);
    if (status && name != target)
        status = moveInto(name, target, old.exists ? &old.state.identity : nullptr);
    if (!status && !name.isEmpty())
        ::unlink(name.constData());
    if (status)
        status = syncFolder(folder); // so that the rename survives a power cut
    return status;
}

namespace {

// ---------------------------------------------------------------------------
// In place (the order of the writes: ProfileEdit.h)

// The writes of an in-place change through a descriptor.
class DescriptorFile : public InPlaceFile {
public:
    explicit DescriptorFile(int fd) : fd_(fd) {}
    FileStatus writeAt(qsizetype at, QByteArrayView bytes) override {
        return profile::writeAt(fd_, at, bytes);
    }
    FileStatus sync() override { return ::fdatasync(fd_) == 0 ? FileStatus{} : writeFailed(errno); }
    FileStatus truncate(qsizetype size) override {
        return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? FileStatus{} : writeFailed(errno);
    }
    // Closing a second descriptor reports what closing the file would (a network file
    // system's write-back), while this one is still open to undo the change.
    FileStatus finish() override {
        const int copy = ::dup(fd_);
        return copy >= 0 ? closeChecked(copy, {}) : writeFailed(errno);
    }

private:
    int fd_;
};

} // namespace

FileStatus rewriteInPlace(const QByteArray& target, const OldFile& old, const Edit& edit,
                          QByteArrayView data) {
    const int fd = ::open(target.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return writeFailed(errno);
    FileStatus status;
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        status = writeFailed(errno);
    else if (!S_ISREG(st.st_mode) || platform::FileIdentity::of(st) != old.state.identity ||
             st.st_size != old.data.size())
        status = {FileFailure::Changed, ESTALE};
    struct rlimit limit {};
    if (status && data.size() > old.data.size()) {
        // Reserved without changing the size: a kill from here on leaves no zeros.
        if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
            static_cast<rlim_t>(data.size()) > limit.rlim_cur)
            status = writeFailed(EFBIG);
        else if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(data.size())) != 0 &&
                 errno != EOPNOTSUPP)
            status = writeFailed(errno);
    }
    if (status && !runBeforeReplaceHook())
        status = writeFailed(ECANCELED);
    if (status) {
        DescriptorFile file(fd);
        status = changeInPlace(file, old.data, data, edit);
        if (status) {
            ::close(fd); // what its close could report, finish() has: the change stays
            return status;
        }
    }
    return closeChecked(fd, status);
}

FileStatus checkWritable(const QByteArray& target, const OldFile& old) {
    if ((old.state.mode & 0222) == 0) // read-only for root too, as rm asks first
        return {FileFailure::ReadOnly, EACCES};
    if (::access(target.constData(), W_OK) != 0)
        return {FileFailure::ReadOnly, errno};
    return {};
}

} // namespace profile
