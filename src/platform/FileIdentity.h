#pragma once

#include <QString>

#include <cstdint>

#ifdef _WIN32
struct _BY_HANDLE_FILE_INFORMATION;
#else
struct stat;
#endif

namespace platform {

// What makes a file itself whatever names it has: its device and its number there
// (inode; on Windows the volume's serial number and the file index).
struct FileIdentity {
#ifdef _WIN32
    using SystemRecord = _BY_HANDLE_FILE_INFORMATION; // from GetFileInformationByHandle()
#else
    using SystemRecord = struct stat; // from stat(), lstat() or fstat()
#endif
    static FileIdentity of(const SystemRecord& record);

    std::uint64_t device = 0;
    std::uint64_t number = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The last part of a path as the system matches it against another: on Windows without
// letter case and without the trailing dots and spaces that Windows drops ("Korvani.ini. "
// names Korvani.ini); elsewhere unchanged.
QString comparableFileName(const QString& name);

} // namespace platform
