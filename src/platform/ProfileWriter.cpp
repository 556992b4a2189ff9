#include "platform/ProfileWriter.h"

#include "platform/ProfileLines.h"

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

QByteArray Edit::applyTo(QByteArrayView old) const {
    QByteArray out;
    out.reserve(old.size() - removed + inserted.size());
    out.append(old.first(at)).append(inserted).append(old.sliced(at + removed));
    return out;
}

namespace {

ProfileStatus failed(int error) {
    return {ProfileFailure::WriteFailed, error};
}

bool runHook() {
    const auto& hook = beforeReplaceHook();
    return !hook || hook();
}

bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

bool allBlank(QByteArrayView text) {
    return std::all_of(text.begin(), text.end(), isBlank);
}

// Writes all of bytes at offset at, going on after a short write.
ProfileStatus writeAt(int fd, qsizetype at, QByteArrayView bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done),
                     static_cast<off_t>(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return failed(n < 0 ? errno : EIO);
        done += n;
    }
    return {};
}

ProfileStatus closeChecked(int fd, ProfileStatus status) {
    if (::close(fd) != 0 && status)
        return failed(errno); // what the file system still had to write may be lost
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

ProfileStatus syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno == EACCES ? ProfileStatus{} : failed(errno); // a folder we may not read
    return closeChecked(fd, ::fsync(fd) == 0 ? ProfileStatus{} : failed(errno));
}

// A new file takes the target's name only while nothing is there.
ProfileStatus moveInto(const QByteArray& name, const QByteArray& target, bool replace) {
    if (replace)
        return ::rename(name.constData(), target.constData()) == 0 ? ProfileStatus{}
                                                                   : failed(errno);
    if (::renameat2(AT_FDCWD, name.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return {};
    if (errno == EINVAL || errno == ENOSYS) { // a file system without it
        if (::link(name.constData(), target.constData()) == 0) {
            ::unlink(name.constData());
            return {};
        }
    }
    return {errno == EEXIST ? ProfileFailure::Changed : ProfileFailure::WriteFailed, errno};
}

ProfileStatus writeThroughTemporary(const QByteArray& target, const OldFile& old,
                                    QByteArrayView data, bool& noTemporary) {
    const QByteArray folder = folderOf(target);
    const mode_t mode = old.exists ? (old.identity.mode & 07777) : 0666;
    removeLeftovers(target);
    QByteArray name; // the temporary file's name, once it has one
    int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
        name = temporaryName(target); // a file system without unnamed files
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    }
    if (fd < 0) {
        noTemporary = errno == EACCES || errno == EPERM || errno == EROFS;
        return failed(errno);
    }
    ProfileStatus status;
    if (old.exists && ::fchmod(fd, mode) != 0) // the umask may have taken bits away
        status = failed(errno);
    if (status)
        status = writeAt(fd, 0, data);
    if (status && ::fdatasync(fd) != 0)
        status = failed(errno);
    if (status && !runHook())
        status = failed(ECANCELED);
    if (status && name.isEmpty()) {
        // A new file is linked at the target's name (which fails when a file appeared
        // meanwhile), a replacement at a temporary name that the rename moves.
        name = old.exists ? temporaryName(target) : target;
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) !=
            0) {
            status = {errno == EEXIST ? ProfileFailure::Changed : ProfileFailure::WriteFailed,
                      errno};
            name.clear();
        }
    }
    status = closeChecked(fd, status);
    if (status && name != target)
        status = moveInto(name, target, old.exists);
    if (!status && !name.isEmpty())
        ::unlink(name.constData());
    if (status)
        status = syncFolder(folder); // so that the rename survives a power cut
    return status;
}

// ---------------------------------------------------------------------------
// In place
//
// A writable file in a folder the user may not write to is changed in place. Every
// write below either changes nothing that a reader sees, or is one byte, or lies
// within one page of the page cache (a write that a kill does not cut), so that the
// file reads as the old or the new content after each of them; the one write that
// turns old into new is called the commit below. Blank lines are skipped by every
// reader, a line whose first character is ';' is a comment that section reads leave
// out, and an empty key right after another is no entry: these make room for the
// steps. Nothing is written past the end of the file but whole lines of the new
// content and blanks, and the space is reserved first without changing the size
// (FALLOC_FL_KEEP_SIZE), so a kill never leaves zeros behind.

constexpr qsizetype PageSize = 4096;

struct Line {
    qsizetype first = 0;      // its first non-blank byte
    qsizetype contentEnd = 0; // before its line break
};

// The non-blank lines of text, with offsets from base.
std::vector<Line> linesOf(QByteArrayView text, qsizetype base) {
    std::vector<Line> lines;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = pos;
        while (end < text.size() && !isLineEnd(text[end]))
            ++end;
        qsizetype first = pos;
        while (first < end && isBlank(text[first]))
            ++first;
        if (first < end)
            lines.push_back({base + first, base + end});
        pos = end + ((end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

class InPlace {
public:
    InPlace(int fd, QByteArrayView old, QByteArrayView data) : fd_(fd), old_(old), data_(data) {}

    ProfileStatus apply(const Edit& edit) {
        if (edit.inserted.isEmpty() && isRemovalOfHiddenKeys(edit))
            return removeLines(edit);
        if (edit.removed == 0 && isInsertionAtTheEnd(edit))
            return appendLines(edit);
        return rewritePage(edit);
    }

private:
    // A key's line and the empty keys it hid ('=' first), as deleting a key removes.
    bool isRemovalOfHiddenKeys(const Edit& edit) const {
        const auto lines = linesOf(old_.sliced(edit.at, edit.removed), edit.at);
        return !lines.empty() && std::all_of(lines.begin() + 1, lines.end(),
                                             [&](const Line& l) { return old_[l.first] == '='; });
    }

    // Whole lines after nothing but blanks, each but the last a section header, as a
    // new key (perhaps with its new section) at the end of the file.
    bool isInsertionAtTheEnd(const Edit& edit) const {
        const QByteArrayView lines(edit.inserted);
        if (lines.isEmpty() || !allBlank(old_.sliced(edit.at)) || !isLineEnd(lines.back()))
            return false;
        const auto found = linesOf(lines, 0);
        return !found.empty() && std::all_of(found.begin(), found.end() - 1,
                                             [&](const Line& l) { return lines[l.first] == '['; });
    }

    // Deleting: the hidden empty keys become blank lines, each still an empty key until
    // its '=' goes last; the key's line becomes a comment with one byte (the commit),
    // then blanks. Where only blanks follow, the file is cut to the new length after a
    // sync; elsewhere the blank line stays. (While the line is a comment, an empty key
    // right after it counts as an entry even where the new file hides it behind an
    // empty key before; an empty key is no suffix, so the suffix list reads as the new
    // one all along.)
    ProfileStatus removeLines(const Edit& edit) {
        const auto lines = linesOf(old_.sliced(edit.at, edit.removed), edit.at);
        const qsizetype end = edit.at + edit.removed;
        ProfileStatus status;
        for (auto line = lines.rbegin(); status && line + 1 != lines.rend(); ++line)
            status = blank(*line);
        if (status)
            status = writeAt(lines.front().first, ";");
        if (!status) {
            writeAt(edit.at, old_.sliced(edit.at, edit.removed)); // back as it was, if it can
            return status;
        }
        status = blank(lines.front());
        if (status && allBlank(old_.sliced(end))) {
            status = writeAt(edit.at, old_.sliced(end)); // blanks over blanks
            if (status)
                status = syncThenTruncate(data_.size());
        }
        return status ? sync() : status;
    }

    // Adding: the new lines go after the end of the file as comments (';' in place of
    // each line's first character), then each line turns into itself with one byte,
    // the section's header before its key (the commit). Blanks at the old end stay
    // before them. A failure before the commit cuts the file back to its old size.
    ProfileStatus appendLines(const Edit& edit) {
        const qsizetype end = old_.size();
        const auto lines = linesOf(edit.inserted, 0);
        QByteArray commented = edit.inserted;
        for (const Line& line : lines)
            commented[line.first] = ';';
        ProfileStatus status = writeAt(end, commented);
        for (auto line = lines.begin(); status && line != lines.end(); ++line)
            status = writeAt(end + line->first, edit.inserted.sliced(line->first, 1));
        if (!status) {
            ::ftruncate(fd_, static_cast<off_t>(end));
            return status;
        }
        return sync();
    }

    // Any other change, when everything from its start to the end of the file lies in
    // one page: one write (a shorter file is padded with blanks, cut after a sync).
    ProfileStatus rewritePage(const Edit& edit) {
        const qsizetype end = std::max(old_.size(), data_.size());
        if (edit.at / PageSize != (end - 1) / PageSize)
            return {ProfileFailure::NoSafeRewrite, EFBIG};
        QByteArray bytes = data_.sliced(edit.at).toByteArray();
        bytes.append(QByteArray(end - data_.size(), ' '));
        ProfileStatus status = writeAt(edit.at, bytes);
        if (!status) {
            writeAt(edit.at, old_.sliced(edit.at)); // a cut write: back as it was, if it can
            ::ftruncate(fd_, static_cast<off_t>(old_.size()));
            return status;
        }
        return end > data_.size() ? syncThenTruncate(data_.size()) : sync();
    }

    // A line becomes blanks: all but its first character, then that one.
    ProfileStatus blank(const Line& line) {
        const ProfileStatus status =
            writeAt(line.first + 1, QByteArray(line.contentEnd - line.first - 1, ' '));
        return status ? writeAt(line.first, " ") : status;
    }

    ProfileStatus writeAt(qsizetype at, QByteArrayView bytes) {
        return profile::writeAt(fd_, at, bytes);
    }

    ProfileStatus sync() { return ::fdatasync(fd_) == 0 ? ProfileStatus{} : failed(errno); }

    ProfileStatus syncThenTruncate(qsizetype size) {
        ProfileStatus status = sync();
        if (status && ::ftruncate(fd_, static_cast<off_t>(size)) != 0)
            status = failed(errno);
        return status;
    }

    int fd_;
    QByteArrayView old_;
    QByteArrayView data_;
};

ProfileStatus rewriteInPlace(const QByteArray& target, const OldFile& old, const Edit& edit,
                             QByteArrayView data) {
    const int fd = ::open(target.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failed(errno);
    ProfileStatus status;
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        status = failed(errno);
    else if (!S_ISREG(st.st_mode) || st.st_dev != old.identity.device ||
             st.st_ino != old.identity.inode || st.st_size != old.data.size())
        status = {ProfileFailure::Changed, ESTALE};
    struct rlimit limit {};
    if (status && data.size() > old.data.size()) {
        // Reserved without changing the size: a kill from here on leaves no zeros.
        if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
            static_cast<rlim_t>(data.size()) > limit.rlim_cur)
            status = failed(EFBIG);
        else if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(data.size())) != 0 &&
                 errno != EOPNOTSUPP)
            status = failed(errno);
    }
    if (status && !runHook())
        status = failed(ECANCELED);
    if (status)
        status = InPlace(fd, old.data, data).apply(edit);
    return closeChecked(fd, status);
}

} // namespace

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

ProfileStatus replaceFile(const QByteArray& target, const OldFile& old, const Edit& edit) {
    if (old.exists && ::access(target.constData(), W_OK) != 0)
        return {ProfileFailure::ReadOnly, errno}; // a read-only settings file stays as it is
    const QByteArray data = edit.applyTo(old.data);
    if (!inPlaceOnly()) {
        bool noTemporary = false;
        const ProfileStatus status = writeThroughTemporary(target, old, data, noTemporary);
        if (!noTemporary || !old.exists)
            return status;
    } else if (!old.exists) {
        return failed(EACCES);
    }
    return rewriteInPlace(target, old, edit, data);
}

} // namespace platform::profile
