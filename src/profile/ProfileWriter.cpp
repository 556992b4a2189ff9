#include "profile/ProfileWriter.h"

#include <cerrno>

namespace profile {

using platform::FileStatus;
using platform::writeFailed;

std::function<bool()>& beforeReplaceHook() {
    static std::function<bool()> hook;
    return hook;
}

std::function<int(bool exchange)>& beforeRenameHook() {
    static std::function<int(bool exchange)> hook;
    return hook;
}

std::atomic<bool>& inPlaceOnly() {
    static std::atomic<bool> only{false};
    return only;
}

bool runBeforeReplaceHook() {
    const auto& hook = beforeReplaceHook();
    return !hook || hook();
}

int runBeforeRenameHook(bool exchange) {
    const auto& hook = beforeRenameHook();
    return hook ? hook(exchange) : 0;
}

FileStatus replaceFile(const QByteArray& target, const OldFile& old, const Edit& edit) {
    if (old.exists) {
        if (const FileStatus writable = checkWritable(target, old); !writable)
            return writable; // a read-only settings file stays as it is
    }
    const QByteArray data = edit.applyTo(old.data);
    if (!inPlaceOnly()) {
        bool noTemporary = false;
        const FileStatus status = writeThroughTemporary(target, old, data, noTemporary);
        if (!noTemporary || !old.exists)
            return status;
    } else if (!old.exists) {
        return writeFailed(EACCES);
    }
    return rewriteInPlace(target, old, edit, data);
}

} // namespace profile
