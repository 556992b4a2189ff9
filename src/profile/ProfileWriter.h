#pragma once

// Replacing a profile file with new content, so that at any moment a process can die
// the file reads as the old content or the new (the steps: ProfileWriter.cpp).

#include "platform/FileStatus.h"
#include "profile/ProfileEdit.h"
#include "profile/ProfileRead.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <utility>

namespace profile {

// The file as the writer read it under the writers' lock.
struct OldFile {
    QByteArrayView data;
    bool exists = false;
    FileState state;
};

// Writes the edited content: through a temporary file beside the target that replaces it
// (only the file that was read, unchanged since), or in place, in an order in which every
// prefix of the writes reads as the old or the new file. Which way, and the fall-backs
// between them: ProfileWriter.cpp.
platform::FileStatus replaceFile(const QByteArray& target, const OldFile& old, const Edit& edit);

// The test seams, as ProfileFile's setters (setBeforeReplaceHook, ...) describe them.
struct Seams {
    std::function<bool()> beforeReplace;
    std::function<int(bool exchange)> beforeRename;
    std::atomic<bool> inPlaceOnly{false};
    std::function<int(const char* call)> failingCall;
};
Seams& seams();
bool runBeforeReplaceHook();            // false: the write fails
int runBeforeRenameHook(bool exchange); // the errno the rename is to fail with, or 0
int injectedFailure(const char* call);  // the same for the call (errno is set to it)

// The ways a write can take, in the order they are tried.
enum class Way { Unnamed, Named, InPlace };
// What keeps a write from its way: the table of fall-backs in ProfileWriter.cpp.
enum class Lack { None, UnnamedFiles, NewNames, NamesGo, Owner, Metadata };

// What a file has besides its content that a new file must be given: the mode, owner,
// inode flags and extended attributes (Linux); the attributes (Windows).
struct Metadata {
#ifdef _WIN32
    std::uint32_t attributes = 0;
#else
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
    int flags = 0;
    bool attributesShown = true; // false: the file system shows none (ENOTSUP)
    QList<std::pair<QByteArray, QByteArray>> attributes;
#endif
    bool operator==(const Metadata&) const = default;
};

// A temporary file: its descriptor (a HANDLE on Windows), and its name once it has one.
struct Temporary {
    Way way = Way::Unnamed;
    std::intptr_t handle = -1;
    QByteArray name;
};

// The system's steps (ProfileWriter_posix.cpp, ProfileWriter_win.cpp), in their order:
// ReadOnly when the user may not write the existing file (none may without a write bit);
platform::FileStatus checkWritable(const QByteArray& target, const OldFile& old);
// what the folder and the existing file offer a new file, and the file's metadata;
Lack probe(const QByteArray& target, Metadata& metadata);
bool metadataAt(const QByteArray& path, Metadata& metadata);
// the temporary files of writers that died, removed (under the lock);
void removeLeftovers(const QByteArray& target);
// the temporary file made (with the old file's metadata, when there is one), the
// content written and synced, then its name given (a new file's: the target, while
// nothing is there) and the file closed;
platform::FileStatus makeTemporary(const QByteArray& target, const Metadata* metadata,
                                   Temporary& temporary, Lack& lack);
platform::FileStatus writeTemporary(Temporary& temporary, QByteArrayView old, const Edit& edit);
platform::FileStatus nameTemporary(Temporary& temporary, const QByteArray& target, bool isNew);
// the temporary file put at the target's name: over the file as checked (state), or
// while nothing is there (checked null); it is then the target's, or still the
// temporary one's (removed by discardTemporary);
platform::FileStatus moveTemporary(Temporary& temporary, const QByteArray& target,
                                   const FileState* checked, const Metadata& metadata);
void discardTemporary(Temporary& temporary);
platform::FileStatus syncFolder(const QByteArray& folder);
// the change made in place (changeInPlace on the open file), after the check.
platform::FileStatus rewriteInPlace(const QByteArray& target, const OldFile& old, const Edit& edit);

// Whether path still names the file as read, with the metadata it had (the shared check).
platform::FileStatus checkUnchanged(const QByteArray& path, const OldFile& old,
                                    const Metadata* metadata, FileState& checked);
// Whether path names the file as checked, untouched since (its change time included).
bool stillAt(const QByteArray& path, const FileState& checked);
// A name beside target for a temporary file that no one can foresee ("tmp") or for
// another's file that could not be put back ("kept"); a writer removes only "tmp" ones.
// temporaryPrefix is such a name without its random letters, as the clean-up looks for it.
QByteArray temporaryName(const QByteArray& target, QByteArrayView role = "tmp");
QByteArray temporaryPrefix(const QByteArray& target, QByteArrayView role = "tmp");
constexpr qsizetype TemporaryTokenSize = 16;
// The errno of a file that changed under the writer.
#ifdef ESTALE
constexpr int ChangedError = ESTALE;
#else
constexpr int ChangedError = EBUSY; // Windows' C library has no ESTALE
#endif

} // namespace profile
