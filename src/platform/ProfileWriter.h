#pragma once

// Replacing a profile file with new content, so that at any moment a process can die
// the file reads as the old content or the new.

#include "platform/ProfileCache.h"
#include "platform/ProfileFile.h"

#include <QByteArray>
#include <QByteArrayView>

#include <atomic>
#include <functional>

namespace platform::profile {

// The file a path names once symbolic links are followed (it need not exist): a
// settings file that is a link stays one, and its target gets the change. A relative
// link counts from the folder that holds it.
QByteArray resolveLinks(const QByteArray& path);
QByteArray folderOf(const QByteArray& path);

// One change of a file: `removed` bytes at `at` give way to `inserted`. The changes
// a profile write makes are of three kinds: whole lines removed (a key and the empty
// keys it hid), whole lines inserted (a key, perhaps after its section's header, at
// the end of a section followed by nothing but blanks), or any other change.
struct Edit {
    qsizetype at = 0;
    qsizetype removed = 0;
    QByteArray inserted;
    QByteArray applyTo(QByteArrayView old) const;
};

// The file as the writer read it under the writers' lock.
struct OldFile {
    QByteArrayView data;
    bool exists = false;
    FileIdentity identity;
};

// Writes the edited content. Where the folder takes a new file: a temporary file
// beside the target (unnamed while it is written), synced, renamed over the target
// (a new file never replaces one that appeared meanwhile), and the folder synced.
// Where it does not (a writable file in a folder the user may not write): in place,
// in an order in which every prefix of the writes reads as the old or the new file.
ProfileStatus replaceFile(const QByteArray& target, const OldFile& old, const Edit& edit);

// Test seams (ProfileFile::setBeforeReplaceHook, ProfileFile::setInPlaceOnly).
std::function<bool()>& beforeReplaceHook();
std::atomic<bool>& inPlaceOnly();

} // namespace platform::profile
