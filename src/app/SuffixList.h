#pragma once

#include <QString>

class QComboBox;

// The suffix box cbSuffix and the Add and Delete buttons of the main window, over the
// suffix section of the settings file.
namespace SuffixList {

// Refills cbSuffix from the file and selects its first suffix (nothing when empty).
void LoadSuffixList(QComboBox* cbSuffix);

// The suffix typed into cbSuffix, without the blanks around it: the one a run writes and
// the one Add stores.
QString TypedSuffix(const QComboBox* cbSuffix);

// True when the trimmed suffix may be added as far as its text goes: not empty, and a
// key the settings file gives back as written (profile::ProfileFile::isStorableKey).
// Otherwise a warning was shown and the focus moved to cbSuffix. Whether the file holds
// it already is seen by the add itself, on the same read it writes from.
bool CheckNewSuffix(QComboBox* cbSuffix, const QString& suffix);

void btnAdd_Click(QComboBox* cbSuffix);
void btnDel_Click(QComboBox* cbSuffix);

} // namespace SuffixList
