// Writers' lock on Windows: a named mutex of the folder that holds the file, in the
// global namespace so that every session of the machine takes part. Nothing is made
// on disk, a folder the user may not write to can still be locked, a writer through a
// temporary file may replace the file (no handle of the lock is open on it), and the
// mutex of a writer that dies is released by the system.

#include "profile/ProfileLock.h"

#include "platform/WinFile.h"
#include "profile/ProfilePath.h"

#include <QCryptographicHash>

#include <thread>

namespace profile {

namespace win = platform::win;
namespace {

using Clock = std::chrono::steady_clock;

std::wstring mutexName(const QByteArray& target) {
    // The same folder by any spelling: absolute, links resolved, letter case ignored.
    const QDir folder(QFile::decodeName(folderOf(target)));
    QString canonical = folder.canonicalPath();
    if (canonical.isEmpty())
        canonical = folder.absolutePath();
    const QByteArray hash =
        QCryptographicHash::hash(canonical.toCaseFolded().toUtf8(), QCryptographicHash::Sha256)
            .toHex();
    return L"Global\\Korvani.settings." + QString::fromLatin1(hash).toStdWString();
}

DWORD remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

} // namespace

WriterLock::WriterLock(const QByteArray& target, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::wstring name = mutexName(target);
    HANDLE mutex = nullptr;
    auto pause = std::chrono::milliseconds(1);
    // Another user's writer may hold the mutex, made with that user's rights: it is gone
    // once that write is over.
    while ((mutex = ::CreateMutexW(nullptr, FALSE, name.c_str())) == nullptr) {
        if (::GetLastError() != ERROR_ACCESS_DENIED)
            return; // no lock works here: the write goes on without one
        if (Clock::now() >= deadline) {
            status_ = {platform::FileFailure::Busy, EWOULDBLOCK};
            return;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, MaxPause);
    }
    const DWORD waited = ::WaitForSingleObject(mutex, remainingMs(deadline));
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        ::CloseHandle(mutex);
        status_ = {platform::FileFailure::Busy, EWOULDBLOCK};
        return;
    }
    // Kernel handles have 32 significant bits: the value fits the descriptor field.
    fd_ = static_cast<int>(reinterpret_cast<intptr_t>(mutex));
}

WriterLock::~WriterLock() {
    if (fd_ < 0)
        return;
    HANDLE mutex = reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd_));
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
}

} // namespace profile
