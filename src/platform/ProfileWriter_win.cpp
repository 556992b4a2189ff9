// Replacing a profile file on Windows: the new content goes to a temporary file beside
// it, reaches the disk (FlushFileBuffers) and takes the file's name in one rename
// (MoveFileExW, written through), so the file is the old one or the new one. A folder
// that takes no temporary file gets the file rewritten in place instead.

#include "platform/ProfileWriter.h"

#include "platform/WinFile.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>

#include <thread>

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

// Another program that has the file open without sharing its deletion (an editor, a
// virus scanner) holds a replace off for a moment; the writer tries again this long.
constexpr int BlockedReplaceRetryMs = 2000;

bool runHook() {
    const auto& hook = beforeReplaceHook();
    return !hook || hook();
}

bool blockedByAnotherProgram(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_LOCK_VIOLATION;
}

// Writes data to a new temporary file in folder; its name, or empty when the folder
// takes none. A failure after the file was made removes it.
std::wstring writeTemporary(const QByteArray& target, QByteArrayView data, bool& failed) {
    const std::wstring base = win::widePath(target);
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::wstring name =
            base + L"." +
            QString::number(QRandomGenerator::global()->generate(), 36).toStdWString() + L".tmp";
        win::Handle file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            if (::GetLastError() == ERROR_FILE_EXISTS)
                continue;
            return {};
        }
        const auto size = static_cast<std::size_t>(data.size());
        const bool ok = win::writeAll(file.get(), data.data(), size, false) == size &&
                        ::FlushFileBuffers(file.get()) && runHook();
        if (file.reset() && ok)
            return name;
        ::DeleteFileW(name.c_str());
        failed = true;
        return {};
    }
    return {};
}

// The temporary file takes the target's name: over the old file, or as a new file when
// there was none (then nothing that appeared meanwhile is replaced).
bool moveIntoPlace(const std::wstring& temporary, const QByteArray& target, bool existed) {
    const std::wstring name = win::widePath(target);
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (existed ? MOVEFILE_REPLACE_EXISTING : 0);
    const QDeadlineTimer deadline(BlockedReplaceRetryMs);
    auto pause = std::chrono::milliseconds(1);
    while (!::MoveFileExW(temporary.c_str(), name.c_str(), flags)) {
        if (!blockedByAnotherProgram(::GetLastError()) || deadline.hasExpired()) {
            ::DeleteFileW(temporary.c_str());
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(16));
    }
    return true;
}

// Rewrites the file in place, for a folder that takes no temporary file. The space for
// the longer content is taken first, so a full disk leaves the old content.
bool rewriteInPlace(const QByteArray& target, QByteArrayView old, QByteArrayView data) {
    win::Handle file(::CreateFileW(win::widePath(target).c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return false;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = std::max(old.size(), data.size());
    bool ok =
        ::SetFileInformationByHandle(file.get(), FileEndOfFileInfo, &end, sizeof end) && runHook();
    if (ok && win::writeAll(file.get(), data.data(), static_cast<std::size_t>(data.size()),
                            false) != static_cast<std::size_t>(data.size())) {
        // Not expected once the space is there; put the old content back.
        LARGE_INTEGER start{};
        ::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN);
        win::writeAll(file.get(), old.data(), static_cast<std::size_t>(old.size()), false);
        ok = false;
    }
    end.EndOfFile.QuadPart = ok ? data.size() : old.size();
    if (!::SetFileInformationByHandle(file.get(), FileEndOfFileInfo, &end, sizeof end))
        ok = false;
    ok = ::FlushFileBuffers(file.get()) && ok;
    return file.reset() && ok;
}

} // namespace

// Windows settings files are taken as they are: a link is followed by the file
// functions themselves.
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
        bool failed = false;
        const std::wstring temporary = writeTemporary(target, data, failed);
        if (failed)
            return false;
        if (!temporary.empty())
            return moveIntoPlace(temporary, target, existed);
    }
    return existed && rewriteInPlace(target, old, data);
}

} // namespace platform::profile
