// Replacing a profile file on Windows.

#include "platform/ProfileWriter.h"

#include "platform/WinFile.h"

#include <QSaveFile>

namespace platform::profile {

std::function<bool()>& beforeReplaceHook() {
    static std::function<bool()> hook;
    return hook;
}

std::atomic<bool>& inPlaceOnly() {
    static std::atomic<bool> only{false};
    return only;
}

namespace {

bool runHook() {
    const auto& hook = beforeReplaceHook();
    return !hook || hook();
}

bool rewriteInPlace(const QByteArray& target, QByteArrayView old, QByteArrayView data) {
    win::Handle file(::CreateFileW(win::widePath(target).c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() || !runHook())
        return false;
    const auto size = static_cast<std::size_t>(data.size());
    bool ok = win::writeAll(file.get(), data.data(), size, false) == size;
    if (!ok) {
        LARGE_INTEGER start{};
        ::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN);
        win::writeAll(file.get(), old.data(), static_cast<std::size_t>(old.size()), false);
    }
    ok = ok && ::SetEndOfFile(file.get()) && ::FlushFileBuffers(file.get());
    return file.reset() && ok;
}

} // namespace

QByteArray resolveLinks(const QByteArray& path) {
    return path;
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    if (slash < 0)
        return ".";
    return path.first(slash == 0 ? 1 : slash);
}

bool replaceFile(const QByteArray& target, QByteArrayView old, QByteArrayView data, bool existed) {
    if (existed) {
        const DWORD attributes = ::GetFileAttributesW(win::widePath(target).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY))
            return false; // a read-only settings file stays as it is
    }
    if (!inPlaceOnly()) {
        QSaveFile file(QFile::decodeName(target));
        file.setDirectWriteFallback(false);
        if (file.open(QIODevice::WriteOnly)) {
            if (file.write(data.data(), data.size()) != data.size() || !runHook()) {
                file.cancelWriting();
                return false;
            }
            return file.commit();
        }
    }
    return existed && rewriteInPlace(target, old, data);
}

} // namespace platform::profile
