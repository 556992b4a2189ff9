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
// ACL and extended attributes, synced, renamed over the target (a new file never
// replaces one that appeared meanwhile, a replacement only the file that was read),
// and the folder synced.
// Where it does not (a writable file in a folder the user may not write): in place,
// in an order in which every prefix of the writes reads as the old or the new file.
platform::FileStatus replaceFile(const QByteArray& target, const OldFile& old, const Edit& edit);

// Test seams (ProfileFile::setBeforeReplaceHook, ProfileFile::setInPlaceOnly).
std::function<bool()>& beforeReplaceHook();
std::atomic<bool>& inPlaceOnly();
// Runs the hook; false makes the write fail.
bool runBeforeReplaceHook();

// The system's part of replaceFile (ProfileWriter_posix.cpp, ProfileWriter_win.cpp):
// ReadOnly when the user may not write the existing file (none may without a write bit);
platform::FileStatus checkWritable(const QByteArray& target, const OldFile& old);
// the new content through a temporary file, or noTemporary when the folder takes none,
// the file would change hands (a temporary file is the writer's own) or lose attributes;
platform::FileStatus writeThroughTemporary(const QByteArray& target, const OldFile& old,
                                           QByteArrayView data, bool& noTemporary);
// the change made in place (changeInPlace on the open file).
platform::FileStatus rewriteInPlace(const QByteArray& target, const OldFile& old, const Edit& edit,
                                    QByteArrayView data);

} // namespace profile
