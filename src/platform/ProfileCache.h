#pragma once

// Reading a whole profile file, and the cache of the last one parsed.

#include "platform/ProfileLines.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <mutex>

#include <sys/stat.h>

namespace platform::profile {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const FileIdentity& o) const;
};

enum class ReadStatus { Ok, Missing, Failed };

// Reads the whole file. `settled` tells whether its times are older than the moment
// the read began: only then does any later change show in its times (file times come
// from the same coarse clock, so a change within that clock tick would not).
ReadStatus readWhole(const QByteArray& nativePath, QByteArray& data, FileIdentity* identity,
                     bool* settled);

// The last file read, parsed, while its path names the same unchanged file. Writes
// through ProfileFile drop it.
class ReadCache {
public:
    // The parsed file, or null when it is missing or cannot be read.
    std::shared_ptr<const ProfileText> get(const QString& path);
    void clear();
    static ReadCache& instance();

private:
    std::mutex mutex_;
    QByteArray path_;
    FileIdentity identity_;
    std::shared_ptr<const ProfileText> text_;
};

} // namespace platform::profile
