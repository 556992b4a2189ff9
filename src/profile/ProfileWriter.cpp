// A write of a profile file, in these steps (the system's part of each in
// ProfileWriter_posix.cpp and ProfileWriter_win.cpp):
//
//   lock and read   ProfileFile, under the writers' lock, held to the end
//   choose the way  unnamed temporary file -> named temporary file -> in place: the first
//                   the file system and the file allow (probe, and FallBacks below)
//   make            the temporary file, given the old file's metadata; leftovers of
//                   writers that died removed
//   write and sync  the old bytes with the edit, straight from the bytes read
//   name            an unnamed file linked at a name no one can foresee (a new file: at
//                   the target's, only while nothing is there)
//   check           the name still holds the file as read: the same file, size, time,
//                   content and metadata (checkUnchanged)
//   replace         exchange of the two names, the file that came out checked again; or,
//                   without an exchange, a rename right after a last look (stillAt)
//   clean up        the temporary file removed; the folder synced
//
//   in place        the check, then the change in the order of ProfileEdit.h
//
// A temporary file is the old file's or the new one's at every step, and only under a
// "tmp" name, which the next writer removes: a writer killed at any step leaves the
// target whole, and at most such a name.

#include "profile/ProfileWriter.h"

#include "profile/ProfilePath.h"

#include <QRandomGenerator>

#include <cerrno>

namespace profile {

using platform::FileFailure;
using platform::FileStatus;
using platform::writeFailed;

Seams& seams() {
    static Seams seams;
    return seams;
}

bool runBeforeReplaceHook() {
    return !seams().beforeReplace || seams().beforeReplace();
}

int runBeforeRenameHook(bool exchange) {
    return seams().beforeRename ? seams().beforeRename(exchange) : 0;
}

int injectedFailure(const char* call) {
    const int error = seams().failingCall ? seams().failingCall(call) : 0;
    if (error != 0)
        errno = error;
    return error;
}

namespace {

// The one table of fall-backs: where a way lacks what it needs (found before anything
// is written), the write takes the next. A new file has no way but a temporary one.
constexpr struct {
    Lack lack;
    Way next;
} FallBacks[] = {
    {Lack::UnnamedFiles, Way::Named}, // no O_TMPFILE (FAT, exFAT, FUSE, NFS), no /proc to link by
    {Lack::NewNames, Way::InPlace},   // the folder takes no new file (read-only for the user)
    {Lack::NamesGo, Way::InPlace},    // the folder lets no name go (append-only, immutable)
    {Lack::Owner, Way::InPlace},      // a new file could not be given the old one's owner
    {Lack::Metadata, Way::InPlace},   // nor its attributes, ACL or inode flags
};

Way fallBack(Way way, Lack lack, bool exists) {
    for (const auto& row : FallBacks) {
        if (row.lack == lack && (exists || row.next != Way::InPlace))
            return row.next;
    }
    return way;
}

FileStatus throughTemporary(const QByteArray& target, const OldFile& old, const Edit& edit, Way way,
                            Lack& lack) {
    Metadata metadata;
    if (old.exists && (lack = probe(target, metadata)) != Lack::None)
        return writeFailed(EPERM);
    Temporary temporary{way, -1, {}};
    FileStatus status = makeTemporary(target, old.exists ? &metadata : nullptr, temporary, lack);
    if (status)
        status = writeTemporary(temporary, old.data, edit);
    if (status && !runBeforeReplaceHook())
        status = writeFailed(ECANCELED);
    if (status)
        status = nameTemporary(temporary, target, !old.exists);
    FileState checked;
    if (status && old.exists)
        status = checkUnchanged(target, old, &metadata, checked);
    if (status && temporary.name == target)
        temporary.name.clear(); // a new file, linked at the target's name itself
    else if (status)
        status = moveTemporary(temporary, target, old.exists ? &checked : nullptr, metadata);
    discardTemporary(temporary);
    return status ? syncFolder(folderOf(target)) : status; // so that the rename survives a cut
}

} // namespace

FileStatus checkUnchanged(const QByteArray& path, const OldFile& old, const Metadata* metadata,
                          FileState& checked) {
    Metadata now;
    FileState read = old.state; // its change time aside: a rename away and back moves it
    if (!holdsBytes(path, old.data, checked) || (read.changed = checked.changed, checked != read) ||
        (metadata && (!metadataAt(path, now) || now != *metadata)))
        return {FileFailure::Changed, ChangedError};
    return {};
}

bool stillAt(const QByteArray& path, const FileState& checked) {
    FileState now;
    return stateAt(path, now) && now == checked;
}

QByteArray temporaryPrefix(const QByteArray& target, QByteArrayView role) {
    const qsizetype slash = std::max(target.lastIndexOf('/'), target.lastIndexOf('\\'));
    return folderOf(target) + "/." + target.sliced(slash + 1) + '.' + role.toByteArray() + '-';
}

QByteArray temporaryName(const QByteArray& target, QByteArrayView role) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = temporaryPrefix(target, role);
    for (qsizetype i = 0; i < TemporaryTokenSize; ++i)
        name += letters[QRandomGenerator::system()->bounded(int(sizeof letters) - 1)];
    return name;
}

FileStatus replaceFile(const QByteArray& target, const OldFile& old, const Edit& edit) {
    if (old.exists) {
        if (const FileStatus writable = checkWritable(target, old); !writable)
            return writable; // a read-only settings file stays as it is
    } else if (seams().inPlaceOnly) {
        return writeFailed(EACCES);
    }
    removeLeftovers(target);
    for (Way way = seams().inPlaceOnly ? Way::InPlace : Way::Unnamed;;) {
        Lack lack = Lack::None;
        const FileStatus status = way == Way::InPlace
                                      ? rewriteInPlace(target, old, edit)
                                      : throughTemporary(target, old, edit, way, lack);
        const Way next = fallBack(way, lack, old.exists);
        if (lack == Lack::None || next == way)
            return status;
        way = next;
    }
}

} // namespace profile
