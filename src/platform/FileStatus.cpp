#include "platform/FileStatus.h"

#include <iterator>

namespace platform {

const char* failureName(FileFailure failure) {
    // In the order of FileFailure.
    static const char* const names[] = {"none",         "refused", "not-found",       "bad-path",
                                        "not-a-file",   "busy",    "read-only",       "unreadable",
                                        "write-failed", "changed", "no-safe-rewrite", "exists"};
    const auto index = static_cast<std::size_t>(failure);
    return index < std::size(names) ? names[index] : "?";
}

} // namespace platform
