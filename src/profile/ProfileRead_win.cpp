// Reading profile files on Windows, through handles that share reading, writing and
// deletion, so that a reader never holds a writer's replace off.

#include "profile/ProfileRead.h"

#include "platform/WinFile.h"

namespace profile {

namespace win = platform::win;
using platform::FileFailure;
using platform::FileStatus;
using platform::win::ShareAll;

namespace {

std::int64_t ticks(const LARGE_INTEGER& time) {
    return time.QuadPart;
}

std::int64_t ticks(const FILETIME& time) {
    return (std::int64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

bool isFolder(const std::wstring& name) {
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

bool stateOf(void* handle, FileState& state) {
    const auto file = static_cast<HANDLE>(handle);
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
        !::GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    state.identity = platform::FileIdentity::of(info);
    state.size = (std::int64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    state.modified = ticks(times.LastWriteTime);
    state.changed = ticks(times.ChangeTime);
    state.mode = info.dwFileAttributes;
    return true;
}

// The file index tells a file renamed over the old one with the same size and times.
bool FileState::operator==(const FileState& o) const {
    return identity == o.identity && size == o.size && modified == o.modified &&
           changed == o.changed;
}

FileStatus readWhole(const QByteArray& nativePath, QByteArray& data, FileState* state,
                     bool* settled) {
    // File times come from the system's coarse clock, as this does.
    FILETIME began{};
    ::GetSystemTimeAsFileTime(&began);
    const std::wstring name = win::widePath(nativePath);
    win::Handle file(::CreateFileW(name.c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD code = ::GetLastError();
        const int failure = win::errnoOf(code);
        if (code == ERROR_ACCESS_DENIED && isFolder(name))
            return {FileFailure::NotAFile, EINVAL};
        return {failure == ENOENT ? FileFailure::NotFound : FileFailure::Unreadable, failure};
    }
    FileState found;
    if (!stateOf(file.get(), found))
        return {FileFailure::NotAFile, EINVAL};
    data.clear();
    data.reserve(static_cast<qsizetype>(found.size));
    char chunk[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file.get(), chunk, sizeof chunk, &n, nullptr))
            return {FileFailure::Unreadable, win::errnoOf(::GetLastError())};
        if (n == 0)
            break;
        data.append(chunk, static_cast<qsizetype>(n));
    }
    if (state)
        *state = found;
    if (settled)
        *settled = found.modified < ticks(began) && found.changed < ticks(began);
    return {};
}

bool holdsBytes(const QByteArray& nativePath, QByteArrayView data, FileState& state) {
    const win::Handle file(::CreateFileW(win::widePath(nativePath).c_str(), GENERIC_READ, ShareAll,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
    FileState before;
    bool same = file.valid() && stateOf(file.get(), before) && before.size == data.size() &&
                !(before.mode & FILE_ATTRIBUTE_REPARSE_POINT);
    char chunk[65536];
    for (qsizetype at = 0; same;) {
        DWORD n = 0;
        same = ::ReadFile(file.get(), chunk, sizeof chunk, &n, nullptr) &&
               at + qsizetype(n) <= data.size() && data.sliced(at, n) == QByteArrayView(chunk, n);
        if (n == 0 || !same)
            break;
        at += n;
    }
    FileState after;
    state = before;
    return same && stateOf(file.get(), after) && after == before;
}

bool stateAt(const QByteArray& nativePath, FileState& state) {
    const win::Handle file(::CreateFileW(win::widePath(nativePath).c_str(), FILE_READ_ATTRIBUTES,
                                         ShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                         nullptr));
    return file.valid() && stateOf(file.get(), state);
}

} // namespace profile
