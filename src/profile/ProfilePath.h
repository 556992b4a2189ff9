#pragma once

// The file a settings path names, and the folder that holds it.

#include <QByteArray>

namespace profile {

// The file a path names once symbolic links are followed (it need not exist): a
// settings file that is a link stays one, and its target gets the change. A relative
// link counts from the folder that holds it. (On Windows the path as it is.)
QByteArray resolveLinks(const QByteArray& path);
QByteArray folderOf(const QByteArray& path);

} // namespace profile
