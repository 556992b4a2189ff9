#include "platform/FileIdentity.h"

#include <windows.h>

namespace platform {

FileIdentity FileIdentity::of(const BY_HANDLE_FILE_INFORMATION& record) {
    return {record.dwVolumeSerialNumber,
            (std::uint64_t{record.nFileIndexHigh} << 32) | record.nFileIndexLow};
}

QString comparableFileName(const QString& name) {
    // Windows drops trailing dots and spaces of a path's last part when it opens or
    // makes the file, and matches names without letter case.
    qsizetype end = name.size();
    while (end > 0 && (name[end - 1] == u'.' || name[end - 1] == u' '))
        --end;
    return name.first(end).toCaseFolded();
}

} // namespace platform
