#include "profile/ProfileCache.h"

#include <QFile>

namespace profile {

std::shared_ptr<const ProfileText> ReadCache::get(const QString& path,
                                                  platform::FileStatus* status) {
    const QByteArray nativePath = QFile::encodeName(path);
    FileState current;
    const bool exists = stateAt(nativePath, current);
    {
        std::lock_guard guard(mutex_);
        if (exists && text_ && nativePath == path_ && current == identity_) {
            if (status)
                *status = {};
            return text_;
        }
    }
    QByteArray data;
    FileState identity;
    bool settled = false;
    const platform::FileStatus read = readWhole(nativePath, data, &identity, &settled);
    if (status)
        *status = read;
    if (!read)
        return nullptr;
    auto text = std::make_shared<const ProfileText>(std::move(data));
    std::lock_guard guard(mutex_);
    if (settled) {
        path_ = nativePath;
        identity_ = identity;
        text_ = text;
    } else {
        text_.reset();
    }
    return text;
}

void ReadCache::clear() {
    std::lock_guard guard(mutex_);
    text_.reset();
    path_.clear();
}

ReadCache& ReadCache::instance() {
    static ReadCache cache;
    return cache;
}

} // namespace profile
