// Reading profile files on Windows. Every read goes to the file: nothing is cached.

#include "platform/ProfileCache.h"

#include "platform/WinFile.h"

#include <QFile>

namespace platform::profile {

bool FileIdentity::operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size;
}

ReadStatus readWhole(const QByteArray& nativePath, QByteArray& data, FileIdentity* identity,
                     bool* settled) {
    // Readers share everything, so that a writer can replace the file under them.
    win::Handle file(::CreateFileW(win::widePath(nativePath).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadStatus::Missing
                                                                              : ReadStatus::Failed;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return ReadStatus::Failed;
    data.clear();
    char chunk[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file.get(), chunk, sizeof chunk, &n, nullptr))
            return ReadStatus::Failed;
        if (n == 0)
            break;
        data.append(chunk, static_cast<qsizetype>(n));
    }
    if (identity)
        *identity = {};
    if (settled)
        *settled = false;
    return ReadStatus::Ok;
}

std::shared_ptr<const ProfileText> ReadCache::get(const QString& path) {
    QByteArray data;
    if (readWhole(QFile::encodeName(path), data, nullptr, nullptr) != ReadStatus::Ok)
        return nullptr;
    return std::make_shared<const ProfileText>(std::move(data));
}

void ReadCache::clear() {}

ReadCache& ReadCache::instance() {
    static ReadCache cache;
    return cache;
}

} // namespace platform::profile
