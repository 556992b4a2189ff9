#pragma once

// What a profile write changes, and the order of writes that changes a file in place.

#include "platform/ProfileWriter.h"

namespace platform::profile {

// Runs the test seam ProfileFile::setBeforeReplaceHook; false makes the write fail.
bool runBeforeReplaceHook();

// The writes of an in-place change, on a file open for writing (one per platform).
class InPlaceFile {
public:
    virtual ~InPlaceFile() = default;
    virtual ProfileStatus writeAt(qsizetype at, QByteArrayView bytes) = 0;
    virtual ProfileStatus sync() = 0; // the file's data on the disk
    virtual ProfileStatus truncate(qsizetype size) = 0;
    // After the last step: what closing the file would report, while it can be undone.
    virtual ProfileStatus finish() { return {}; }
};

// Changes old into data (edit applied to old) in place, in an order of writes after
// each of which the file reads as the old or the new content (ProfileEdit.cpp tells
// how). The space for a longer file must be reserved before, without changing the
// size, so that a kill never leaves zeros behind. NoSafeRewrite when the change cannot
// be made so. A change that fails is undone first, as far as the file lets it.
ProfileStatus changeInPlace(InPlaceFile& file, QByteArrayView old, QByteArrayView data,
                            const Edit& edit);

// The platform's part of replaceFile (ProfileWriter.cpp, ProfileWriter_win.cpp):
// ReadOnly when the user may not write the existing file;
ProfileStatus checkWritable(const QByteArray& target, const OldFile& old);
// the new content through a temporary file, or noTemporary when the folder takes none
// or the file would change hands (a temporary file is the writer's own);
ProfileStatus writeThroughTemporary(const QByteArray& target, const OldFile& old,
                                    QByteArrayView data, bool& noTemporary);
// the change made in place (changeInPlace on the open file).
ProfileStatus rewriteInPlace(const QByteArray& target, const OldFile& old, const Edit& edit,
                             QByteArrayView data);

} // namespace platform::profile
