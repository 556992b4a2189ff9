#pragma once

// The cache of the last profile file read and parsed.

#include "profile/ProfileRead.h"
#include "profile/ProfileText.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <mutex>

namespace profile {

// The last file read, parsed, while its path names the same unchanged file. Writes
// through ProfileFile drop it.
class ReadCache {
public:
    // The parsed file, or null when it is missing or cannot be read (status tells which).
    std::shared_ptr<const ProfileText> get(const QString& path,
                                           platform::FileStatus* status = nullptr);
    void clear();
    static ReadCache& instance();

private:
    std::mutex mutex_;
    QByteArray path_;
    FileState identity_;
    std::shared_ptr<const ProfileText> text_;
};

} // namespace profile
