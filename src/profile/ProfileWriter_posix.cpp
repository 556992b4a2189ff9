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
#include <linux/fs.h>
#include <sys/ioctl.h>
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

// A temporary file is named after its inode number, so that the clean-up of leftovers
// tells it from a file that an exchange moved to that name (the old file, or another's):
// the number, and where a file that stayed has that name, "-" and a count.
QByteArray temporaryName(const QByteArray& target, ino_t number) {
    return temporaryPrefix(target) + QByteArray::number(qulonglong(number), 16);
}

// Links source (as linkat takes it, with flags) at a free name of the inode number;
// that name, or none (errno says why).
QByteArray linkNumbered(const QByteArray& target, ino_t number, const QByteArray& source,
                        int flags) {
    for (int count = 0; count < 100; ++count) {
        const QByteArray name =
            temporaryName(target, number) + (count > 0 ? '-' + QByteArray::number(count) : "");
        if (::linkat(AT_FDCWD, source.constData(), AT_FDCWD, name.constData(), flags) == 0)
            return name;
        if (errno != EEXIST)
            break;
    }
    return {};
}

// Where the folder takes no unnamed file, the file is made under this name and linked
// to its inode's name at once; nothing else ever goes to such a name.
constexpr QByteArrayView Unnumbered = "new-";

QByteArray unnumberedName(const QByteArray& target) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = temporaryPrefix(target) + Unnumbered.toByteArray();
    for (int i = 0; i < 6; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
    return name;
}

// A writer killed between naming its temporary file and the rename leaves it behind;
// the next writer, holding the lock, removes it: a file under its own inode's number,
// or under an unnumbered name. What an exchange left at such a name (the old file of a
// writer killed after the exchange, another's file that could not be put back) has
// another number and stays.
void removeLeftovers(const QByteArray& target) {
    const QByteArray prefix = temporaryPrefix(target);
    const QByteArray leaf = prefix.sliced(prefix.lastIndexOf('/') + 1);
    DIR* folder = ::opendir(folderOf(target).constData());
    if (folder == nullptr)
        return;
    while (const dirent* entry = ::readdir(folder)) {
        const QByteArrayView name(entry->d_name);
        if (!name.startsWith(leaf))
            continue;
        const QByteArrayView rest = name.sliced(leaf.size());
        const qsizetype dash = rest.indexOf('-');
        bool numbered = false;
        const qulonglong number = (dash < 0 ? rest : rest.first(dash)).toULongLong(&numbered, 16);
        struct stat st {};
        const bool ours =
            (rest.startsWith(Unnumbered) && rest.size() == Unnumbered.size() + 6) ||
            (numbered && ::fstatat(::dirfd(folder), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
             S_ISREG(st.st_mode) && st.st_ino == number);
        if (ours)
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
// 0, or the errno of what could not be copied: the caller then writes in place, which
// keeps them all. A file system that shows no attributes (ENOTSUP) may hide an ACL,
// whose mask the group bits show: without it the owning group would get the mask's
// rights, so only a file whose group bits are empty goes on without them.
int copyAttributes(const QByteArray& target, mode_t mode, int fd) {
    QByteArray names, made;
    const char* path = target.constData();
    if (!sized(names, [&](char* b, size_t n) { return ::listxattr(path, b, n); }))
        return errno == ENOTSUP && (mode & 070) == 0 ? 0 : errno;
    if (!sized(made, [&](char* b, size_t n) { return ::flistxattr(fd, b, n); }))
        return errno == ENOTSUP && names.isEmpty() ? 0 : errno;
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

// The inode flags a file keeps (chattr): synchronous, no dump, no atime, no copy on
// write, compression, data journalling, no tail merging.
constexpr int KeptFlags = FS_SYNC_FL | FS_NODUMP_FL | FS_NOATIME_FL | FS_NOCOW_FL | FS_COMPR_FL |
                          FS_NOCOMP_FL | FS_JOURNAL_DATA_FL | FS_NOTAIL_FL;

// The inode flags of the file at path (0 where its file system has none); false when
// they cannot be read.
bool flagsAt(const QByteArray& path, int openFlags, int& flags) {
    flags = 0;
    const int fd = ::open(path.constData(), openFlags | O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool read = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 || errno == ENOTTY ||
                      errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS;
    if (!read || flags < 0)
        flags = 0;
    ::close(fd); // read-only
    return read;
}

// Gives the new file (fd, still empty: no copy on write is set only then) the kept flags
// of the old one and none it lacked (inherited from the folder). 0, or the errno of
// what could not be set: the caller then writes in place.
int copyFlags(int old, int fd) {
    int made = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &made) != 0)
        return (old & KeptFlags) != 0 ? errno : 0;
    const int wanted = (made & ~KeptFlags) | (old & KeptFlags);
    if (wanted == made)
        return 0;
    if (::ioctl(fd, FS_IOC_SETFLAGS, &wanted) != 0 || ::ioctl(fd, FS_IOC_GETFLAGS, &made) != 0)
        return errno;
    return (made & KeptFlags) == (old & KeptFlags) ? 0 : EOPNOTSUPP;
}

// Whether path names the file that was read, as it was read: the same file, size,
// modification time and content. The content, not the change time: a rename away and
// back, and the exchange, move that alone, and a write within the same tick of the file
// system's clock moves neither time.
bool holdsOld(const QByteArray& path, const OldFile& old) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
        platform::FileIdentity::of(st) != old.state.identity || st.st_size != old.state.size ||
        st.st_mtim.tv_sec != old.state.modified.tv_sec ||
        st.st_mtim.tv_nsec != old.state.modified.tv_nsec)
        return false;
    QByteArray now;
    return readWhole(path, now, nullptr, nullptr) && now == old.data;
}

int exchange(const char* from, const char* to) {
    if (const int error = runBeforeRenameHook(true)) {
        errno = error;
        return -1;
    }
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE);
}

int renameOver(const char* from, const char* to) {
    if (const int error = runBeforeRenameHook(false)) {
        errno = error;
        return -1;
    }
    return ::rename(from, to);
}

// A new file takes the target's name only while nothing is there; a replacement only
// while the name holds the file that was read, as it was read (not one moved there
// meanwhile, as a backup tool does, nor one another program wrote to in place): checked
// before the names are exchanged, and the file that came out checked again, and
// exchanged back when it is not that file as read. Where the file system cannot
// exchange, the check before the rename is all (docs/reliability.md: the window left).
// name is cleared when it holds another's file that could not be put back: it stays
// there, and the clean-up of leftovers does not take it (its number is not the name's).
FileStatus moveInto(QByteArray& name, const QByteArray& target, const OldFile* old) {
    const char* from = name.constData();
    const char* to = target.constData();
    if (old != nullptr) {
        if (!holdsOld(target, *old))
            return {FileFailure::Changed, ESTALE};
        if (exchange(from, to) == 0) {
            if (holdsOld(name, *old)) {
                ::unlink(from); // the old file (where that fails, it stays beside the new)
                return {};
            }
            if (exchange(from, to) != 0 && renameOver(from, to) != 0)
                name.clear();
            return {FileFailure::Changed, ESTALE};
        }
        if (errno != EINVAL && errno != ENOSYS) // EINVAL, ENOSYS: a file system without it
            return {errno == ENOENT ? FileFailure::Changed : FileFailure::WriteFailed, errno};
        return renameOver(from, to) == 0 ? FileStatus{} : writeFailed(errno);
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

// Whether the file as read may be replaced by a new one without losing what it has that
// a new file cannot take; its inode flags in flags.
bool replaceable(const QByteArray& target, const QByteArray& folder, int& flags) {
    int folderFlags = 0;
    // An append-only or immutable folder takes new names but lets none go: a temporary
    // file could neither replace the file nor be removed.
    if (flagsAt(folder, O_DIRECTORY, folderFlags) &&
        (folderFlags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0)
        return false;
    // Such a file cannot be replaced either (nor written in place, which then says so).
    return flagsAt(target, O_NOFOLLOW, flags) && (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) == 0;
}

} // namespace

FileStatus writeThroughTemporary(const QByteArray& target, const OldFile& old, QByteArrayView data,
                                 bool& noTemporary) {
    const QByteArray folder = folderOf(target);
    const mode_t mode = old.exists ? (old.state.mode & 07777) : 0666;
    int oldFlags = 0;
    if (old.exists && !replaceable(target, folder, oldFlags)) {
        noTemporary = true;
        return writeFailed(EPERM);
    }
    removeLeftovers(target);
    QByteArray name; // the temporary file's name, once it has one
    int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
        name = unnumberedName(target); // a file system without unnamed files
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    }
    if (fd < 0) {
        noTemporary = errno == EACCES || errno == EPERM || errno == EROFS;
        return writeFailed(errno);
    }
    FileStatus status;
    struct stat made {};
    if (::fstat(fd, &made) != 0)
        status = writeFailed(errno);
    if (status && !name.isEmpty()) { // at once under its number
        const QByteArray numbered = linkNumbered(target, made.st_ino, name, 0);
        if (numbered.isEmpty())
            status = writeFailed(errno);
        ::unlink(name.constData()); // where that fails, the next writer removes it
        name = numbered;
    }
    if (status && old.exists &&
        (made.st_uid != old.state.owner || made.st_gid != old.state.group) &&
        ::fchown(fd, old.state.owner, old.state.group) != 0) {
        // The rename would hand the file to this user: where it may not give it back (only
        // root may), it writes in place.
        noTemporary = errno == EPERM;
        status = writeFailed(errno);
    }
    if (status && old.exists) {
        // What cannot be copied (an attribute the user may not set, a list too long to
        // read, an inode flag), in place the file keeps.
        int error = copyAttributes(target, mode, fd);
        if (error == 0)
            error = copyFlags(oldFlags, fd);
        if (error != 0) {
            noTemporary = true;
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
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        if (old.exists)
            name = linkNumbered(target, made.st_ino, self, AT_SYMLINK_FOLLOW);
        else if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, target.constData(),
                          AT_SYMLINK_FOLLOW) == 0)
            name = target;
        if (name.isEmpty())
            status = {errno == EEXIST ? FileFailure::Changed : FileFailure::WriteFailed, errno};
    }
    status = closeChecked(fd, status);
    if (status && name != target)
        status = moveInto(name, target, old.exists ? &old : nullptr);
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
    if (!holdsOld(target, old)) // another program wrote to it meanwhile
        return {FileFailure::Changed, ESTALE};
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
