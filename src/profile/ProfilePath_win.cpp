#include "profile/ProfilePath.h"

#include <algorithm>

namespace profile {

// A Windows settings file is taken by its name: the file functions follow a link.
QByteArray resolveLinks(const QByteArray& path) {
    return path;
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    if (slash < 0)
        return path.size() >= 2 && path[1] == ':' ? path.first(2) + "." : QByteArray(".");
    // A drive's root keeps its slash ("C:/"), as "/" does.
    if (slash == 0 || (slash == 2 && path[1] == ':'))
        return path.first(slash + 1);
    return path.first(slash);
}

} // namespace profile
