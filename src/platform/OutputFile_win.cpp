// The output file on Windows: one handle, created new, every write at its end.

#include "platform/OutputFile.h"

#include "platform/WinFile.h"

#include <io.h>

using platform::FileFailure;
using platform::FileStatus;
using platform::writeFailed;
using platform::win::errnoOf;
using platform::win::Handle;
using platform::win::lastError;
using platform::win::ShareAll;
using platform::win::widePath;

namespace {

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

std::optional<OutputFile::Found> foundOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(handle, &info))
        return std::nullopt;
    return OutputFile::Found{
        platform::FileIdentity::of(info),
        static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow)};
}

} // namespace

FileStatus OutputFile::prepare(const QString& path) {
    const std::wstring name = widePath(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? FileStatus{}
                   : FileStatus{FileFailure::Unreadable, errnoOf(error)};
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
        return {FileFailure::NotAFile, EISDIR};
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A link to a regular file or a dangling one is replaced; a link to anything else
        // is refused as that thing is.
        Handle target(::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, ShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (target.valid() && ::GetFileInformationByHandle(target.get(), &info) &&
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return {FileFailure::NotAFile, EISDIR};
    }
    if (::DeleteFileW(name.c_str()))
        return {};
    const DWORD error = ::GetLastError();
    return {error == ERROR_ACCESS_DENIED ? FileFailure::ReadOnly : FileFailure::WriteFailed,
            errnoOf(error)};
}

FileStatus OutputFile::openNew(const QString& path, int& fd) {
    // CREATE_NEW fails on anything at the path; a link is not followed, it is there.
    Handle file(::CreateFileW(widePath(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        const DWORD error = ::GetLastError();
        fd = -1;
        return {error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                    ? FileFailure::Exists
                    : FileFailure::WriteFailed,
                errnoOf(error)};
    }
    fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file.get()), 0);
    if (fd < 0)
        return writeFailed(EMFILE);
    file.release(); // the descriptor owns it now
    return {};
}

const bool OutputFile::GathersParts = false;

FileStatus OutputFile::appendAll(int fd, std::string_view first, std::string_view second,
                                 std::size_t& done) {
    // No one else may write to the file (its sharing mode), so its file pointer stays at its
    // end: writes at the pointer, which cost less than writes to the end of the file.
    done = 0;
    for (const std::string_view part : {first, second}) {
        const std::size_t reached = platform::win::writeAll(handleOf(fd), part.data(), part.size(),
                                                            platform::win::AtPointer);
        done += reached;
        if (reached != part.size())
            return lastError();
    }
    return {};
}

FileStatus OutputFile::truncateTo(int fd, std::int64_t size) {
    LARGE_INTEGER end{};
    end.QuadPart = size;
    return platform::win::setEnd(handleOf(fd), size) &&
                   ::SetFilePointerEx(handleOf(fd), end, nullptr, FILE_BEGIN)
               ? FileStatus{}
               : lastError();
}

FileStatus OutputFile::closeDescriptor(int fd) {
    return ::_close(fd) == 0 ? FileStatus{} : writeFailed(errno);
}

std::optional<OutputFile::Found> OutputFile::find(const QString& path) {
    // Folders open only with backup semantics; reading attributes needs no access right.
    Handle file(::CreateFileW(widePath(path).c_str(), FILE_READ_ATTRIBUTES, ShareAll, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.valid() ? foundOfHandle(file.get()) : std::nullopt;
}

std::optional<OutputFile::Found> OutputFile::findDescriptor(int fd) {
    return foundOfHandle(handleOf(fd));
}

bool OutputFile::hasHoleBefore(int, std::int64_t) {
    // While it is open here another process can open the file only to read it, and
    // zeroing a range into a hole (FSCTL_SET_ZERO_DATA) takes the right to write.
    return false;
}
