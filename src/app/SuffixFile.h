#pragma once

#include "profile/ProfileFile.h"

#include <QString>
#include <QStringList>

// The settings file Korvani.ini and its section "Suffix", one key per suffix. The file
// is read or written at every operation; nothing is cached.
namespace SuffixList {

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

struct KeyList {
    QStringList keys; // in file order; an empty text stands for no suffix
    int lastIndex = 0;
};

// The key names of section, in file order. A section entry without '=' (which
// includes an empty section) fails the read as a whole: one empty key, last index 0.
// A file that cannot be read (a FIFO, no permission, an I/O error) is a failure with
// its reason; a missing file or section is the empty section.
platform::FileResult<KeyList> ReadKeys(const QString& path, const QString& section);
// The same where a failed read, too, gives one empty key.
KeyList ReadSectionKeys(const QString& path, const QString& section);

// Whether key is one of the list's keys, exactly (letter case counts).
bool HasKey(const KeyList& list, const QString& key);

// Adds key with an empty value to section unless the section's keys, as ReadKeys gives
// them, hold it already (Exists): one read of the file, under the writers' lock, serves
// the check and the write.
platform::FileStatus AddKey(const SettingsTarget& file, const QString& section, const QString& key);

// Writes key with an empty value into section / removes it from section.
platform::FileStatus WriteKey(const SettingsTarget& file, const QString& section,
                              const QString& key);
platform::FileStatus DeleteKey(const SettingsTarget& file, const QString& section,
                               const QString& key);

// The same as results of the Windows calls: 1 on success, 0 otherwise.
int DeleteProfileKey(const QString& path, const QString& section, const QString& key);
int WriteProfileKey(const QString& path, const QString& section, const QString& key);

// A suffix the settings file can hold as a key and read back unchanged: no '='
// (it would end the key), not starting with ';' (a comment) or '[' (a section),
// and no control characters (a line break would split the line).
bool IsStorableSuffix(const QString& suffix);

} // namespace SuffixList
