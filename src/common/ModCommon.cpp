#include "common/ModCommon.h"

#include <QFileInfo>

namespace ModCommon {

char16_t FilterNumberKey(char16_t keyAscii) {
    if ((keyAscii >= u'0' && keyAscii <= u'9') || keyAscii == 8)
        return keyAscii;
    return 0;
}

bool CheckFileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path); // follows links: a link to a file counts as a file
    return info.exists() && info.isFile();
}

QString CutAtNul(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

} // namespace ModCommon
