#pragma once

// Replacing a profile file with new content.

#include <QByteArray>
#include <QByteArrayView>

#include <atomic>
#include <functional>

namespace platform::profile {

// The file a path names once symbolic links are followed (it need not exist): a
// settings file that is a link stays one, and its target gets the change.
QByteArray resolveLinks(const QByteArray& path);
QByteArray folderOf(const QByteArray& path);

// Replaces the file with data. Where the folder takes a temporary file, through it
// and a rename, so that the file is either the old one or the new one, never a mix;
// otherwise in place, with the space for the longer content reserved first.
bool replaceFile(const QByteArray& target, QByteArrayView old, QByteArrayView data, bool existed);

// Test seams (ProfileFile::setBeforeReplaceHook, ProfileFile::setInPlaceOnly).
std::function<bool()>& beforeReplaceHook();
std::atomic<bool>& inPlaceOnly();

} // namespace platform::profile
