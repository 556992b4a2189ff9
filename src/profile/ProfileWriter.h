#pragma once

// Replacing a profile file with new content, so that at any moment a process can die
// the file reads as the old content or the new.

#include "platform/FileStatus.h"
#include "profile/ProfileEdit.h"
#include "profile/ProfileRead.h"

#include <QByteArray>
#include <QByteArrayView>

#include <atomic>
#include <functional>

namespace profile {

// The file as the writer read it under the writers' lock.
struct OldFile {
    QByteArrayView data;
    bool exists = false;
    FileState state;
};

// Writes the edited content. Where the folder takes a new file: a temporary file
// beside the target (unnamed while it is written) with the old file's owner, mode,
// ACL, extended attributes and inode flags, synced, renamed over the target (a new file
// never replaces one that appeared meanwhile, a replacement only the file that was read,
// unchanged since), and the folder synced.
// Where it does not (a writable file in a folder the user may not write or that lets no
// name go, a file whose attributes or flags a new file cannot take): in place, in an
// order in which every prefix of the writes reads as the old or the new file.
platform::FileStatus replaceFile(const QByteArray& target, const OldFile& old, const Edit& edit);

// Test seams (ProfileFile::setBeforeReplaceHook, setBeforeRenameHook, setInPlaceOnly).
std::function<bool()>& beforeReplaceHook();
std::function<int(bool exchange)>& beforeRenameHook();
std::atomic<bool>& inPlaceOnly();
// Runs the hook; false makes the write fail.
bool runBeforeReplaceHook();
// Runs the rename hook: the errno the rename is to fail with, or 0.
int runBeforeRenameHook(bool exchange);

// The system's part of replaceFile (ProfileWriter_posix.cpp, ProfileWriter_win.cpp):
// ReadOnly when the user may not write the existing file (none may without a write bit);
platform::FileStatus checkWritable(const QByteArray& target, const OldFile& old);
// the new content through a temporary file, or noTemporary when the folder takes none
// or lets none go, the file would change hands (a temporary file is the writer's own) or
// lose attributes or flags (none is left behind when it fails);
platform::FileStatus writeThroughTemporary(const QByteArray& target, const OldFile& old,
                                           QByteArrayView data, bool& noTemporary);
// the change made in place (changeInPlace on the open file).
platform::FileStatus rewriteInPlace(const QByteArray& target, const OldFile& old, const Edit& edit,
                                    QByteArrayView data);

} // namespace profile
