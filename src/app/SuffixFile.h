#pragma once

#include "platform/FileStatus.h"

#include <QString>
#include <QStringList>

// The settings file Korvani.ini and its section "Suffix", one key per suffix. The file
// is read or written at every operation; nothing is cached.
namespace SuffixFile {

// The section that holds the suffixes.
QString SuffixSection();

// The settings file to read, built anew for every operation: Korvani.ini in the
// program folder; installed, the user's own copy once it exists, else the installed
// default (on Linux in the package's configuration folder).
QString SettingsFilePath();

// The settings file to change: the one read, except that an installed program changes
// the user's own copy, which never exists before its first change: that change makes
// it from the installed file (seedFrom), under the writers' lock, and never replaces a
// copy that exists. Fails when the user's folder cannot be made (no configuration
// folder, or a file in its place).
struct SettingsTarget {
    QString path;
    QString seedFrom;
};
platform::FileResult<SettingsTarget> SettingsFileToWrite();

// The key names of section, in file order; a missing file or section is an empty list.
// A file that cannot be read (a FIFO, no permission, an I/O error) is a failure with its
// reason, and so is a section with an entry without '=' (Unreadable, EINVAL): the read
// fails as a whole. The suffix box shows nothing for a failed read.
platform::FileResult<QStringList> ReadSectionKeys(const QString& path, const QString& section);

// Adds key with an empty value to section unless the section's keys, as ReadSectionKeys
// gives them, hold it already, exactly (Exists): one read of the file, under the writers'
// lock, serves the check and the write.
platform::FileStatus AddKey(const SettingsTarget& file, const QString& section, const QString& key);

// Removes key from section.
platform::FileStatus DeleteProfileKey(const SettingsTarget& file, const QString& section,
                                      const QString& key);

} // namespace SuffixFile
