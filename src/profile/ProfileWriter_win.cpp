// The steps of a profile write on Windows (the sequence: ProfileWriter.cpp). The
// temporary file is always named (Windows has no unnamed files), written, flushed to the
// disk (FlushFileBuffers) and given the target's name in one rename written through to
// the disk (MoveFileExW with MOVEFILE_WRITE_THROUGH), which Windows cannot exchange.

#include "profile/ProfileWriter.h"

#include "platform/WinFile.h"
#include "profile/ProfilePath.h"

#include <cwchar>
#include <thread>

namespace profile {

namespace win = platform::win;

using platform::FileFailure;
using platform::FileStatus;
using platform::writeFailed;
using platform::win::lastError;
using platform::win::ShareAll;

namespace {

using Clock = std::chrono::steady_clock;

// A program that has the file open without sharing its deletion (an editor, a virus
// scanner) holds a replace off for a moment; the writer tries again this long.
constexpr std::chrono::milliseconds BlockedReplaceRetry{2000}, MaxPause{16};
// The attributes a replacement takes over from the old file.
constexpr DWORD KeptAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Errors of a file system (or of Wine) that cannot reserve space.
bool unsupported(DWORD error) {
    return error == ERROR_CALL_NOT_IMPLEMENTED || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_PARAMETER;
}

FileStatus closeChecked(win::Handle& file, FileStatus status) {
    if (!file.reset() && status)
        return lastError(); // what the file system still had to write may be lost
    return status;
}

HANDLE handleOf(const Temporary& temporary) {
    return reinterpret_cast<HANDLE>(temporary.handle);
}

// The temporary file takes the target's name: over the file as checked, or as a new file
// only while nothing is there; held off by another program for a while at most.
FileStatus moveInto(const QByteArray& name, const QByteArray& target, const FileState* checked) {
    const std::wstring from = win::widePath(name), to = win::widePath(target);
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (checked ? MOVEFILE_REPLACE_EXISTING : 0);
    const auto deadline = Clock::now() + BlockedReplaceRetry;
    for (std::chrono::milliseconds pause{1};; pause = std::min(pause * 2, MaxPause)) {
        if (const int injected = runBeforeRenameHook(false))
            return writeFailed(injected);
        if (checked && !stillAt(target, *checked)) // a last look: the window is the move's own
            return {FileFailure::Changed, ChangedError};
        if (::MoveFileExW(from.c_str(), to.c_str(), flags))
            return {};
        const DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
            return {FileFailure::Changed, EEXIST};
        const bool blocked = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                             error == ERROR_LOCK_VIOLATION;
        if (!blocked || Clock::now() >= deadline)
            return writeFailed(win::errnoOf(error));
        std::this_thread::sleep_for(pause);
    }
}

} // namespace

// The read-only attribute, or access rights that do not let the user write the file.
FileStatus checkWritable(const QByteArray& target, const OldFile& old) {
    if (old.state.mode & FILE_ATTRIBUTE_READONLY)
        return {FileFailure::ReadOnly, EACCES};
    const win::Handle probe(::CreateFileW(win::widePath(target).c_str(), GENERIC_WRITE, ShareAll,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe.valid() && ::GetLastError() == ERROR_ACCESS_DENIED)
        return {FileFailure::ReadOnly, EACCES};
    return {};
}

bool metadataAt(const QByteArray& path, Metadata& metadata) {
    const DWORD attributes = ::GetFileAttributesW(win::widePath(path).c_str());
    metadata.attributes = attributes & (KeptAttributes | FILE_ATTRIBUTE_READONLY);
    return attributes != INVALID_FILE_ATTRIBUTES;
}

Lack probe(const QByteArray& target, Metadata& metadata) {
    return metadataAt(target, metadata) ? Lack::None : Lack::Metadata;
}

// Every "tmp" name of the target's is a writer's own (made new, under a name no one can
// foresee); one that is left, its writer died.
void removeLeftovers(const QByteArray& target) {
    const QByteArray prefix = temporaryPrefix(target);
    const std::wstring pattern = win::widePath(prefix) + L"*";
    const std::wstring folder = pattern.substr(0, pattern.find_last_of(L"\\/") + 1);
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    const std::size_t leafSize = pattern.size() - 1 - folder.size() + TemporaryTokenSize;
    do {
        if (std::wcslen(found.cFileName) == leafSize)
            ::DeleteFileW((folder + found.cFileName).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

FileStatus makeTemporary(const QByteArray& target, const Metadata* metadata, Temporary& temporary,
                         Lack& lack) {
    if (temporary.way == Way::Unnamed) {
        lack = Lack::UnnamedFiles;
        return writeFailed(EOPNOTSUPP);
    }
    if (const int injected = injectedFailure("open"))
        return writeFailed(injected);
    const DWORD kept = metadata ? metadata->attributes & KeptAttributes : 0;
    win::Handle file;
    for (int tries = 0; tries < 8 && !file.valid(); ++tries) {
        temporary.name = temporaryName(target);
        file.reset(::CreateFileW(win::widePath(temporary.name).c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, kept ? kept : FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            temporary.name.clear(); // not made: nothing to remove
        if (!file.valid() && ::GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (!file.valid()) {
        const DWORD error = ::GetLastError();
        if (metadata && (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT))
            lack = Lack::NewNames;
        return writeFailed(win::errnoOf(error));
    }
    temporary.handle = reinterpret_cast<std::intptr_t>(file.release());
    return {};
}

FileStatus writeTemporary(Temporary& temporary, QByteArrayView old, const Edit& edit) {
    const QByteArrayView pieces[] = {old.first(edit.at), edit.inserted,
                                     old.sliced(edit.at + edit.removed)};
    std::int64_t at = 0;
    for (const QByteArrayView piece : pieces) {
        const auto size = static_cast<std::size_t>(piece.size());
        if (win::writeAll(handleOf(temporary), piece.data(), size, at) != size)
            return lastError();
        at += piece.size();
    }
    return ::FlushFileBuffers(handleOf(temporary)) ? FileStatus{} : lastError();
}

FileStatus nameTemporary(Temporary& temporary, const QByteArray&, bool) {
    win::Handle file(handleOf(temporary));
    temporary.handle = -1;
    return closeChecked(file, {});
}

FileStatus moveTemporary(Temporary& temporary, const QByteArray& target, const FileState* checked,
                         const Metadata&) {
    const FileStatus status = moveInto(temporary.name, target, checked);
    if (status)
        temporary.name.clear(); // it is the target's now
    return status;
}

void discardTemporary(Temporary& temporary) {
    win::Handle file(temporary.handle == -1 ? INVALID_HANDLE_VALUE : handleOf(temporary));
    temporary.handle = -1;
    file.reset(); // the write failed already
    if (!temporary.name.isEmpty())
        ::DeleteFileW(win::widePath(temporary.name).c_str());
}

FileStatus syncFolder(const QByteArray&) {
    return {}; // the move was written through
}

namespace {

// ---------------------------------------------------------------------------
// In place

// The writes of an in-place change through a handle.
class HandleFile : public InPlaceFile {
public:
    explicit HandleFile(HANDLE file) : file_(file) {}
    FileStatus writeAt(qsizetype at, QByteArrayView bytes) override {
        const auto size = static_cast<std::size_t>(bytes.size());
        return win::writeAll(file_, bytes.data(), size, at) == size ? FileStatus{} : lastError();
    }
    FileStatus sync() override { return ::FlushFileBuffers(file_) ? FileStatus{} : lastError(); }
    FileStatus truncate(qsizetype size) override {
        return win::setEnd(file_, size) ? FileStatus{} : lastError();
    }

private:
    HANDLE file_;
};

} // namespace

FileStatus rewriteInPlace(const QByteArray& target, const OldFile& old, const Edit& edit) {
    const QByteArray data = edit.applyTo(old.data);
    win::Handle file(::CreateFileW(win::widePath(target).c_str(), GENERIC_READ | GENERIC_WRITE,
                                   ShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
    if (!file.valid())
        return lastError();
    FileStatus status;
    FileState now;
    if (!stateOf(file.get(), now) || now.identity != old.state.identity)
        status = {FileFailure::Changed, EBUSY};
    if (status && !runBeforeReplaceHook())
        status = writeFailed(ECANCELED);
    if (status) // right before the change: another program's writes until now stay
        status = checkUnchanged(target, old, nullptr, now);
    if (status && data.size() > old.data.size()) {
        // Reserved without changing the size: a kill from here on leaves no zeros.
        FILE_ALLOCATION_INFO space{};
        space.AllocationSize.QuadPart = data.size();
        if (!::SetFileInformationByHandle(file.get(), FileAllocationInfo, &space, sizeof space) &&
            !unsupported(::GetLastError()))
            status = lastError();
    }
    if (status) {
        HandleFile handle(file.get());
        status = changeInPlace(handle, old.data, data, edit);
    }
    return closeChecked(file, status);
}

} // namespace profile
