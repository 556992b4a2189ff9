#include "platform/FileIdentity.h"

#include <sys/stat.h>

namespace platform {

FileIdentity FileIdentity::of(const struct stat& record) {
    return {static_cast<std::uint64_t>(record.st_dev), static_cast<std::uint64_t>(record.st_ino)};
}

QString comparableFileName(const QString& name) {
    return name;
}

} // namespace platform
