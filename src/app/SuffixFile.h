#pragma once

#include <QString>
#include <QStringList>

// The settings file Korvani.ini and its section "Suffix", one key per suffix. The file
// is read or written at every operation; nothing is cached.
namespace SuffixList {

// The section that holds the suffixes.
QString SuffixSection();

// The settings file to read, built anew for every operation: Korvani.ini in the
// program folder; installed, the user's own copy once it exists.
QString SettingsFilePath();

// The settings file to change: the one read, except that an installed program first
// makes the user's own copy from the installed file, which it never writes.
// Empty when the user's copy cannot be made.
QString SettingsFileToWrite();

struct KeyList {
    QStringList keys; // in file order; an empty text stands for no suffix
    int lastIndex = 0;
};

// The key names of section, in file order. A section entry without '=' (which
// includes an empty section) fails the read as a whole: one empty key, last index 0.
KeyList ReadSectionKeys(const QString& path, const QString& section);

// Removes key from section; 1 on success, 0 when nothing was removed.
int DeleteProfileKey(const QString& path, const QString& section, const QString& key);

// Writes key with an empty value into section; 1 on success, 0 on failure.
int WriteProfileKey(const QString& path, const QString& section, const QString& key);

// A suffix the settings file can hold as a key and read back unchanged: no '='
// (it would end the key), not starting with ';' (a comment) or '[' (a section),
// and no control characters (a line break would split the line).
bool IsStorableSuffix(const QString& suffix);

} // namespace SuffixList
