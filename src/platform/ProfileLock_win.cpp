// Writers' lock on Windows: a named mutex of the folder, in the global namespace so that
// every session of the machine takes part. Nothing is created on disk, a folder the
// user may not write to can still be locked, and the mutex of a writer that dies is
// released by the system.

#include "platform/ProfileLock.h"

#include "platform/WinFile.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>

#include <thread>

namespace platform::profile {
namespace {

std::wstring mutexName(const QByteArray& folder) {
    // The same folder by any spelling: absolute, links resolved, letter case ignored.
    QString canonical = QDir(QFile::decodeName(folder)).canonicalPath();
    if (canonical.isEmpty())
        canonical = QDir(QFile::decodeName(folder)).absolutePath();
    const QByteArray hash =
        QCryptographicHash::hash(canonical.toCaseFolded().toUtf8(), QCryptographicHash::Sha256)
            .toHex();
    return L"Global\\Korvani.settings." + QString::fromLatin1(hash).toStdWString();
}

} // namespace

WriterLock::WriterLock(const QByteArray& folder, int timeoutMs) {
    const std::wstring name = mutexName(folder);
    const QDeadlineTimer deadline(timeoutMs);
    HANDLE mutex = nullptr;
    // Another user's writer may hold the mutex, made with that user's rights: it is gone
    // once that write is over.
    while ((mutex = ::CreateMutexW(nullptr, FALSE, name.c_str())) == nullptr) {
        if (::GetLastError() != ERROR_ACCESS_DENIED || deadline.hasExpired())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    const DWORD waited = ::WaitForSingleObject(mutex, static_cast<DWORD>(deadline.remainingTime()));
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        ::CloseHandle(mutex);
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

} // namespace platform::profile
