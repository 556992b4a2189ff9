// The running program's mark on Windows: a named mutex, held until the program ends.

#include "platform/RunningMark.h"

#include <windows.h>

namespace platform {

namespace {
// The installer (packaging/windows/Korvani.nsi, RUNNING_MARK) opens it by this name.
// In the session's namespace (Local\): the installer, elevated or not, runs in the
// session of the user who starts it, so an install for all users, as one for the user
// alone, sees every copy that user runs. Global\ would also show the copies other users
// run in their own sessions, which this user cannot close and which a per-user install
// does not touch; a copy of an all-users install running in another session keeps
// Korvani.exe locked, and the installer and the uninstaller stop on that lock instead.
constexpr wchar_t mutexName[] = L"Local\\Korvani.Running";
} // namespace

RunningMark::RunningMark() {
    // A second copy opens the same mutex (ERROR_ALREADY_EXISTS): the mark stays until the
    // last copy ends. Without it (the name taken by another kind of object) the program
    // runs all the same; only the installer's question is lost.
    handle_ = ::CreateMutexW(nullptr, FALSE, mutexName);
}

RunningMark::~RunningMark() {
    if (handle_ != nullptr)
        ::CloseHandle(handle_);
}

} // namespace platform
