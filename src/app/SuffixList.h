#pragma once

#include <QString>
#include <QStringList>

class QComboBox;

// The suffix list: the section "Suffix" of the settings file Korvani.ini in the
// program folder, one key per suffix, and the suffix box cbSuffix that shows it.
// The file is read or written at every operation; nothing is cached.
namespace SuffixList {

// The settings file's path, built anew for every operation.
QString SettingsFilePath();

struct KeyList {
    QStringList keys; // in file order; an empty text stands for no suffix
    int lastIndex = 0;
};

// The key names of section, in file order. A section entry without '=' (which
// includes an empty section) fails the read as a whole: one empty key, last index 0.
KeyList ReadSectionKeys(const QString& path, const QString& section);

// Removes key from section; 1 on success, 0 when nothing was removed.
int DeleteProfileKey(const QString& path, const QString& section, const QString& key);

// Refills cbSuffix from the file and selects its first suffix (nothing when empty).
void LoadSuffixList(QComboBox* cbSuffix);

// True when the trimmed suffix may be added; otherwise a warning was shown and the
// focus moved to cbSuffix.
bool CheckNewSuffix(QComboBox* cbSuffix, const QString& suffix);

void btnAdd_Click(QComboBox* cbSuffix);
void btnDel_Click(QComboBox* cbSuffix);

} // namespace SuffixList
