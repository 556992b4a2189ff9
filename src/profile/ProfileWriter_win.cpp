// Replacing a profile file on Windows. Where the folder takes a new file: a temporary
// file beside the target, written, flushed to the disk (FlushFileBuffers) and given
// the target's name in one rename written through to the disk (MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH; a new file never replaces one
// that appeared meanwhile), so the file is the old one or the new one. Where it does
// not: in place, in the order of ProfileEdit.h.

#include "profile/ProfileWriter.h"

#include "platform/WinFile.h"
#include "profile/ProfilePath.h"

#include <QRandomGenerator>

#include <cwchar>
#include <iterator>
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
constexpr std::chrono::milliseconds BlockedReplaceRetry{2000};
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

// ---------------------------------------------------------------------------
// Through a temporary file

std::wstring temporaryPrefix(const QByteArray& target) {
    const qsizetype slash = std::max(target.lastIndexOf('/'), target.lastIndexOf('\\'));
    return win::widePath(folderOf(target) + "/." + target.sliced(slash + 1) + ".tmp-");
}

std::wstring temporaryName(const QByteArray& target) {
    static const wchar_t letters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::wstring name = temporaryPrefix(target);
    for (int i = 0; i < 6; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(std::size(letters)) - 1)];
    return name;
}

// A writer killed between making its temporary file and the rename leaves it behind;
// the next writer, holding the lock, removes it.
void removeLeftovers(const QByteArray& target) {
    const std::wstring prefix = temporaryPrefix(target);
    const std::wstring folder = prefix.substr(0, prefix.find_last_of(L"\\/") + 1);
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    const std::size_t leafSize = prefix.size() - folder.size() + 6;
    do {
        if (std::wcslen(found.cFileName) == leafSize)
            ::DeleteFileW((folder + found.cFileName).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

// The temporary file takes the target's name: over the old file, or as a new file only
// while nothing is there.
FileStatus moveInto(const std::wstring& name, const QByteArray& target, bool replace) {
    const std::wstring targetName = win::widePath(target);
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    const auto deadline = Clock::now() + BlockedReplaceRetry;
    auto pause = std::chrono::milliseconds(1);
    while (!::MoveFileExW(name.c_str(), targetName.c_str(), flags)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
            return {FileFailure::Changed, EEXIST};
        const bool blocked = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                             error == ERROR_LOCK_VIOLATION;
        if (!blocked || Clock::now() >= deadline)
            return writeFailed(win::errnoOf(error));
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(16));
    }
    return {};
}

} // namespace

FileStatus writeThroughTemporary(const QByteArray& target, const OldFile& old, QByteArrayView data,
                                 bool& noTemporary) {
    removeLeftovers(target);
    const DWORD attributes = old.exists && (old.state.mode & KeptAttributes)
                                 ? old.state.mode & KeptAttributes
                                 : FILE_ATTRIBUTE_NORMAL;
    std::wstring name;
    win::Handle file;
    for (int attempt = 0; attempt < 8 && !file.valid(); ++attempt) {
        name = temporaryName(target);
        file.reset(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes,
                                 nullptr));
        if (!file.valid() && ::GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (!file.valid()) {
        const DWORD error = ::GetLastError();
        noTemporary = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
        return writeFailed(win::errnoOf(error));
    }
    const auto size = static_cast<std::size_t>(data.size());
    FileStatus status;
    if (win::writeAll(file.get(), data.data(), size, 0) != size || !::FlushFileBuffers(file.get()))
        status = lastError();
    if (status && !runBeforeReplaceHook())
        status = writeFailed(ECANCELED);
    status = closeChecked(file, status);
    // A replacement only while the name still holds the file that was read (not one moved
    // there meanwhile, as a backup tool does).
    FileState now;
    if (status && old.exists && (!stateAt(target, now) || now.identity != old.state.identity))
        status = {FileFailure::Changed, EBUSY};
    if (status)
        status = moveInto(name, target, old.exists);
    if (!status)
        ::DeleteFileW(name.c_str());
    return status;
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

FileStatus rewriteInPlace(const QByteArray& target, const OldFile& old, const Edit& edit,
                          QByteArrayView data) {
    win::Handle file(::CreateFileW(win::widePath(target).c_str(), GENERIC_READ | GENERIC_WRITE,
                                   ShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
    if (!file.valid())
        return lastError();
    FileStatus status;
    FileState now;
    if (!stateOf(file.get(), now) || now.identity != old.state.identity ||
        now.size != old.data.size())
        status = {FileFailure::Changed, EBUSY};
    if (status && data.size() > old.data.size()) {
        // Reserved without changing the size: a kill from here on leaves no zeros.
        FILE_ALLOCATION_INFO space{};
        space.AllocationSize.QuadPart = data.size();
        if (!::SetFileInformationByHandle(file.get(), FileAllocationInfo, &space, sizeof space) &&
            !unsupported(::GetLastError()))
            status = lastError();
    }
    if (status && !runBeforeReplaceHook())
        status = writeFailed(ECANCELED);
    if (status) {
        HandleFile handle(file.get());
        status = changeInPlace(handle, old.data, data, edit);
    }
    return closeChecked(file, status);
}

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

} // namespace profile
