#pragma once

// What a profile write changes, and the order of writes that changes a file in place.

#include "platform/FileStatus.h"

#include <QByteArray>
#include <QByteArrayView>

namespace profile {

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

// The writes of an in-place change, on a file open for writing (one per platform).
class InPlaceFile {
public:
    virtual ~InPlaceFile() = default;
    virtual platform::FileStatus writeAt(qsizetype at, QByteArrayView bytes) = 0;
    virtual platform::FileStatus sync() = 0; // the file's data on the disk
    virtual platform::FileStatus truncate(qsizetype size) = 0;
    // After the last step: what closing the file would report, while it can be undone.
    virtual platform::FileStatus finish() { return {}; }
};

// Changes old into data (edit applied to old) in place, in an order of writes after
// each of which the file reads as the old or the new content (ProfileEdit.cpp tells
// how). The space for a longer file must be reserved before, without changing the
// size, so that a kill never leaves zeros behind. NoSafeRewrite when the change cannot
// be made so. A change that fails is undone first, as far as the file lets it.
platform::FileStatus changeInPlace(InPlaceFile& file, QByteArrayView old, QByteArrayView data,
                                   const Edit& edit);

} // namespace profile
