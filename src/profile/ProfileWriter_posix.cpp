// The steps of a profile write through POSIX calls (the sequence: ProfileWriter.cpp).

#include "profile/ProfileWriter.h"

#include "profile/ProfilePath.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

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
    for (qsizetype done = 0; done < bytes.size();) {
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

// What a call that tells the size it needs first (listxattr, getxattr) gives, into out.
template <typename Call> bool sized(QByteArray& out, Call call) {
    for (;;) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return false;
        out.resize(size);
        const ssize_t n = call(out.data(), out.size());
        if (n >= 0)
            return out.resize(n), true;
        if (errno != ERANGE)
            return false;
    }
}

// The inode flags a file keeps (chattr): synchronous, no dump, no atime, no copy on
// write, compression, data journalling, no tail merging.
constexpr int KeptFlags = FS_SYNC_FL | FS_NODUMP_FL | FS_NOATIME_FL | FS_NOCOW_FL | FS_COMPR_FL |
                          FS_NOCOMP_FL | FS_JOURNAL_DATA_FL | FS_NOTAIL_FL;

// The inode flags of an open file, 0 where its file system has none; false on a failure.
bool flagsOf(int fd, int& flags) {
    flags = 0;
    if (injectedFailure("FS_IOC_GETFLAGS") == 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0)
        return flags >= 0 || (flags = 0, true);
    flags = 0;
    return errno == ENOTTY || errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS;
}

// The extended attributes of the file at path (its ACL among them); a file system that
// shows none (ENOTSUP, as bindfs --xattr-none) gives none, and says so.
bool attributesAt(const QByteArray& path, Metadata& metadata) {
    QByteArray names;
    const char* file = path.constData();
    if (injectedFailure("listxattr") != 0 ||
        !sized(names, [&](char* b, size_t n) { return ::listxattr(file, b, n); }))
        return errno == ENOTSUP && !(metadata.attributesShown = false);
    for (const QByteArray& name : names.split('\0')) {
        QByteArray value;
        const auto get = [&](char* b, size_t n) { return ::getxattr(file, name.data(), b, n); };
        if (!name.isEmpty() && !sized(value, get))
            return false;
        if (!name.isEmpty())
            metadata.attributes.append({name, value});
    }
    return true;
}

// Gives the new file (fd) the old one's extended attributes and none it lacked (a
// default ACL of the folder, inherited); false on a failure.
bool giveAttributes(int fd, const Metadata& metadata) {
    QByteArray made;
    if (injectedFailure("flistxattr") != 0 ||
        !sized(made, [&](char* b, size_t n) { return ::flistxattr(fd, b, n); }))
        return errno == ENOTSUP && metadata.attributes.isEmpty();
    for (const QByteArray& name : made.split('\0')) {
        const auto kept = [&](const auto& a) { return a.first == name; };
        if (!name.isEmpty() &&
            std::none_of(metadata.attributes.begin(), metadata.attributes.end(), kept) &&
            ::fremovexattr(fd, name.constData()) != 0)
            return false;
    }
    for (const auto& [name, value] : metadata.attributes) {
        if (::fsetxattr(fd, name.constData(), value.data(), value.size(), 0) != 0)
            return false;
    }
    return true;
}

// Gives the new file (fd, still empty: no copy on write is set only then) the old one's
// kept flags and none it lacked (inherited from the folder), read back: a file system
// may drop one silently.
bool giveFlags(int fd, int old) {
    int made = 0;
    if (!flagsOf(fd, made))
        return false;
    const int wanted = (made & ~KeptFlags) | (old & KeptFlags);
    if (wanted != made && injectedFailure("FS_IOC_SETFLAGS") == 0 &&
        ::ioctl(fd, FS_IOC_SETFLAGS, &wanted) != 0)
        return false;
    return wanted == made || (flagsOf(fd, made) && (made & KeptFlags) == (old & KeptFlags));
}

// The old file's metadata on the new file (fd), or what it lacks: the owner (only root
// may give a file away), the attributes or flags. The mode last: the umask, and an
// inherited ACL's mask, may have taken bits away.
Lack giveMetadata(int fd, const Metadata& metadata) {
    struct stat made {};
    if (::fstat(fd, &made) != 0)
        return Lack::Metadata;
    if (!giveFlags(fd, metadata.flags))
        return Lack::Metadata;
    if ((made.st_uid != metadata.owner || made.st_gid != metadata.group) &&
        ::fchown(fd, metadata.owner, metadata.group) != 0)
        return Lack::Owner;
    if (metadata.attributesShown && !giveAttributes(fd, metadata))
        return Lack::Metadata;
    // A file system of fixed modes (FAT through FUSE) gives every file the same one.
    if (::fstat(fd, &made) == 0 && (made.st_mode & 07777) == (metadata.mode & 07777))
        return Lack::None;
    return ::fchmod(fd, metadata.mode & 07777) == 0 ? Lack::None : Lack::Metadata;
}

// Whether a file lacking the attribute (statx's STATX_ATTR_APPEND, _IMMUTABLE) has it;
// needs no read right on a folder.
bool hasAttribute(const QByteArray& path, std::uint64_t attribute) {
    struct statx st {};
    return ::statx(AT_FDCWD, path.constData(), AT_SYMLINK_NOFOLLOW, 0, &st) == 0 &&
           (st.stx_attributes_mask & attribute) && (st.stx_attributes & attribute);
}

constexpr std::uint64_t Fixed = STATX_ATTR_APPEND | STATX_ATTR_IMMUTABLE;

// Links the unnamed file (fd) at name through /proc.
int linkUnnamed(int fd, const QByteArray& name) {
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    if (injectedFailure("linkat") != 0)
        return -1;
    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW);
}

int exchange(const char* from, const char* to) {
    if (const int error = runBeforeRenameHook(true); error != 0 || injectedFailure("exchange"))
        return errno = error ? error : errno, -1;
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE);
}

int renameOver(const char* from, const char* to) {
    if (const int error = runBeforeRenameHook(false))
        return errno = error, -1;
    return ::rename(from, to);
}

// A new file at the target's name only while nothing is there: without the file
// system's no-replace (EINVAL) through a link, without links (FAT, exFAT: EPERM) a
// rename right after a look.
FileStatus moveNew(const char* from, const char* to) {
    if (injectedFailure("noreplace") == 0 &&
        ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return {};
    if (errno == EINVAL || errno == ENOSYS) {
        if (injectedFailure("link") == 0 && ::link(from, to) == 0)
            return ::unlink(from), FileStatus{};
        struct stat st {};
        if (errno != EEXIST && ::lstat(to, &st) != 0 && errno == ENOENT)
            return renameOver(from, to) == 0 ? FileStatus{} : writeFailed(errno);
        errno = EEXIST;
    }
    return {errno == EEXIST ? FileFailure::Changed : FileFailure::WriteFailed, errno};
}

// Whether the file that an exchange moved out is the one checked (its change time
// moved with the exchange).
bool cameOut(const QByteArray& name, const FileState& checked, const Metadata& metadata) {
    struct stat st {};
    return ::lstat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           platform::FileIdentity::of(st) == checked.identity && st.st_size == checked.size &&
           st.st_mtim.tv_sec == checked.modified.tv_sec &&
           st.st_mtim.tv_nsec == checked.modified.tv_nsec &&
           (st.st_mode & 07777) == (metadata.mode & 07777) && st.st_uid == metadata.owner &&
           st.st_gid == metadata.group;
}

// Another's file that an exchange moved out goes back; where it cannot, it stays
// beside the target under a name that no writer removes.
void putBack(Temporary& temporary, const QByteArray& target) {
    const char* from = temporary.name.constData();
    if (exchange(from, target.constData()) == 0 || renameOver(from, target.constData()) == 0)
        return;
    ::rename(from, temporaryName(target, "kept").constData());
    temporary.name.clear(); // not this writer's to remove, wherever it is
}

} // namespace

FileStatus checkWritable(const QByteArray& target, const OldFile& old) {
    if ((old.state.mode & 0222) == 0) // read-only for root too, as rm asks first
        return {FileFailure::ReadOnly, EACCES};
    if (::access(target.constData(), W_OK) != 0)
        return {FileFailure::ReadOnly, errno};
    return {};
}

bool metadataAt(const QByteArray& path, Metadata& metadata) {
    metadata = {};
    struct stat st {};
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    const bool read = fd >= 0 && ::fstat(fd, &st) == 0 && flagsOf(fd, metadata.flags);
    if (fd >= 0)
        ::close(fd); // read-only
    metadata.mode = st.st_mode;
    metadata.owner = st.st_uid;
    metadata.group = st.st_gid;
    return read && attributesAt(path, metadata);
}

// A new file cannot replace the old where the folder lets no name go, the old file
// cannot be renamed, or its metadata cannot be read; nor may a file system that hides
// attributes hide an ACL, whose mask the group bits show (without it the owning group
// would get the mask's rights), unless those bits are empty.
Lack probe(const QByteArray& target, Metadata& metadata) {
    if (hasAttribute(folderOf(target), Fixed))
        return Lack::NamesGo;
    if (!metadataAt(target, metadata) || (metadata.flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) ||
        (!metadata.attributesShown && (metadata.mode & 070) != 0))
        return Lack::Metadata;
    return metadata.owner != ::geteuid() && ::geteuid() != 0 ? Lack::Owner : Lack::None;
}

// Every "tmp" name of the target's is a writer's own (made with O_EXCL, under a name no
// one can foresee); one that is left, its writer died: the old file or the new one.
void removeLeftovers(const QByteArray& target) {
    const QByteArray prefix = temporaryPrefix(target);
    const QByteArray leaf = prefix.sliced(prefix.lastIndexOf('/') + 1);
    DIR* folder = ::opendir(folderOf(target).constData());
    if (folder == nullptr)
        return;
    while (const dirent* entry = ::readdir(folder)) {
        const QByteArrayView name(entry->d_name);
        if (name.startsWith(leaf) && name.size() == leaf.size() + TemporaryTokenSize)
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
    }
    ::closedir(folder);
}

FileStatus makeTemporary(const QByteArray& target, const Metadata* metadata, Temporary& temporary,
                         Lack& lack) {
    const mode_t mode = metadata ? metadata->mode & 07777 : 0666;
    int fd = -1;
    if (temporary.way == Way::Unnamed) {
        if (injectedFailure("/proc/self/fd") == 0 && ::access("/proc/self/fd", X_OK) == 0 &&
            injectedFailure("O_TMPFILE") == 0)
            fd = ::open(folderOf(target).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == ENOENT))
            lack = Lack::UnnamedFiles;
    }
    for (int tries = 0; temporary.way == Way::Named && fd < 0 && tries < 8; ++tries) {
        temporary.name = temporaryName(target);
        if (injectedFailure("open") == 0)
            fd = ::open(temporary.name.constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0)
            break;
        temporary.name.clear(); // not made: nothing to remove
        if (errno != EEXIST)
            break;
    }
    if (fd < 0 && lack == Lack::None && metadata && (errno == EACCES || errno == EPERM))
        lack = Lack::NewNames;
    if (fd < 0)
        return writeFailed(errno);
    temporary.handle = fd;
    if (metadata && (lack = giveMetadata(fd, *metadata)) != Lack::None)
        return writeFailed(errno ? errno : EPERM);
    return {};
}

FileStatus writeTemporary(Temporary& temporary, QByteArrayView old, const Edit& edit) {
    const int fd = int(temporary.handle);
    FileStatus status = writeAt(fd, 0, old.first(edit.at));
    if (status)
        status = writeAt(fd, edit.at, edit.inserted);
    if (status)
        status = writeAt(fd, edit.at + edit.inserted.size(), old.sliced(edit.at + edit.removed));
    if (status && (injectedFailure("fdatasync") != 0 || ::fdatasync(fd) != 0))
        status = writeFailed(errno);
    return status;
}

FileStatus nameTemporary(Temporary& temporary, const QByteArray& target, bool isNew) {
    const int fd = int(temporary.handle);
    FileStatus status;
    for (int tries = 0; temporary.name.isEmpty() && tries < 8; ++tries) {
        const QByteArray name = isNew ? target : temporaryName(target);
        if (linkUnnamed(fd, name) == 0)
            temporary.name = name;
        else if (errno != EEXIST || isNew)
            break;
    }
    if (temporary.name.isEmpty())
        status = {errno == EEXIST ? FileFailure::Changed : FileFailure::WriteFailed, errno};
    temporary.handle = -1;
    return closeChecked(fd, status);
}

FileStatus moveTemporary(Temporary& temporary, const QByteArray& target, const FileState* checked,
                         const Metadata& metadata) {
    const char* from = temporary.name.constData();
    const char* to = target.constData();
    FileStatus status;
    if (checked == nullptr) {
        status = moveNew(from, to);
    } else if (!stillAt(target, *checked)) {
        return {FileFailure::Changed, ChangedError};
    } else if (exchange(from, to) == 0) {
        if (cameOut(temporary.name, *checked, metadata))
            return {}; // the old file is the temporary one now, which goes
        putBack(temporary, target);
        return {FileFailure::Changed, ChangedError};
    } else if (errno != EINVAL && errno != ENOSYS) { // EINVAL, ENOSYS: no exchange there
        return {errno == ENOENT ? FileFailure::Changed : FileFailure::WriteFailed, errno};
    } else if (!stillAt(target, *checked)) { // a last look: the window is the rename's own
        return {FileFailure::Changed, ChangedError};
    } else if (renameOver(from, to) != 0) {
        return writeFailed(errno);
    }
    if (status)
        temporary.name.clear(); // it is the target's now
    return status;
}

void discardTemporary(Temporary& temporary) {
    if (temporary.handle >= 0)
        ::close(int(temporary.handle)); // the write failed already
    temporary.handle = -1;
    if (!temporary.name.isEmpty())
        ::unlink(temporary.name.constData()); // where that fails, the next writer removes it
}

FileStatus syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno == EACCES ? FileStatus{} : writeFailed(errno); // a folder we may not read
    const FileStatus status = ::fsync(fd) == 0 ? FileStatus{} : writeFailed(errno);
    ::close(fd); // nothing was written through it: the sync said what there was to say
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

// Reserves size bytes without changing the file's size: a kill from then on leaves no
// zeros.
FileStatus reserve(int fd, qsizetype size) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(size) > limit.rlim_cur)
        return writeFailed(EFBIG);
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) != 0 &&
        errno != EOPNOTSUPP)
        return writeFailed(errno);
    return {};
}

} // namespace

FileStatus rewriteInPlace(const QByteArray& target, const OldFile& old, const Edit& edit) {
    const QByteArray data = edit.applyTo(old.data);
    const int fd = ::open(target.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return writeFailed(errno);
    FileStatus status;
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        status = writeFailed(errno);
    else if (!S_ISREG(st.st_mode) || platform::FileIdentity::of(st) != old.state.identity)
        status = {FileFailure::Changed, ChangedError};
    if (status && !runBeforeReplaceHook())
        status = writeFailed(ECANCELED);
    FileState checked;
    if (status) // right before the change: another program's writes until now stay
        status = checkUnchanged(target, old, nullptr, checked);
    if (status && data.size() > old.data.size())
        status = reserve(fd, data.size());
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

} // namespace profile
