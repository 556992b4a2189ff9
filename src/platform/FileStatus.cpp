#include "platform/FileStatus.h"

#include <cerrno>
#include <iterator>

namespace platform {

FileProblem problemOf(const FileStatus& status) {
    if (status.failure == FileFailure::Changed || status.failure == FileFailure::Busy)
        return FileProblem::Changed;
    switch (status.error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return FileProblem::DiskFull;
    case EFBIG:
        return FileProblem::TooLarge;
    case EACCES:
    case EPERM:
    case EROFS:
        return FileProblem::NoPermission;
    default:
        return status.failure == FileFailure::ReadOnly ? FileProblem::NoPermission
                                                       : FileProblem::Other;
    }
}

const char* failureName(FileFailure failure) {
    // In the order of FileFailure.
    static const char* const names[] = {"none",         "refused", "not-found",       "bad-path",
                                        "not-a-file",   "busy",    "read-only",       "unreadable",
                                        "write-failed", "changed", "no-safe-rewrite", "exists"};
    const auto index = static_cast<std::size_t>(failure);
    return index < std::size(names) ? names[index] : "?";
}

} // namespace platform
