// Writers' lock on Windows: a named mutex per folder.

#include "platform/ProfileLock.h"

#include "platform/WinFile.h"

#include <QCryptographicHash>

namespace platform::profile {

WriterLock::WriterLock(const QByteArray& folder, int timeoutMs) {
    const QString canonical = QDir(QFile::decodeName(folder)).canonicalPath().toLower();
    const QByteArray hash =
        QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex();
    const std::wstring name =
        L"Local\\Korvani.settings." + QString::fromLatin1(hash).toStdWString();
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex == nullptr)
        return;
    const DWORD waited = ::WaitForSingleObject(mutex, static_cast<DWORD>(timeoutMs));
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
