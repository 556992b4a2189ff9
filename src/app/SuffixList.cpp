#include "app/SuffixList.h"

#include "i18n/ModTransLate.h"
#include "platform/Application.h"
#include "platform/Desktop.h"
#include "platform/ProfileFile.h"

#include <QComboBox>
#include <QLineEdit>

#include <algorithm>
#include <cstring>
#include <vector>

namespace SuffixList {
namespace {

const QString& suffixSection() {
    static const QString section = QStringLiteral("Suffix");
    return section;
}

void warn(QComboBox* cbSuffix, const QString& text) {
    platform::MessageBox::show(text, platform::MessageIcon::Exclamation);
    cbSuffix->setFocus();
}

// A suffix the settings file can hold as a key and read back unchanged: no '='
// (it would end the key), not starting with ';' (a comment) or '[' (a section),
// and no control characters (a line break would split the line).
bool isStorableSuffix(const QString& suffix) {
    if (suffix.contains(QLatin1Char('=')) || suffix.startsWith(QLatin1Char(';')) ||
        suffix.startsWith(QLatin1Char('[')))
        return false;
    return std::none_of(suffix.begin(), suffix.end(),
                        [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

QString SettingsFilePath() {
    return platform::Application::programFolder() + QStringLiteral("/Korvani.ini");
}

KeyList ReadSectionKeys(const QString& path, const QString& section) {
    std::vector<char> buffer(platform::ProfileFile::SectionBufferSize, '\0');
    platform::ProfileFile::readSection(path, section.toUtf8(), buffer.data(),
                                       static_cast<int>(buffer.size()));

    KeyList list;
    const char* entry = buffer.data();
    const char* const end = buffer.data() + buffer.size();
    do {
        const char* nul = static_cast<const char*>(std::memchr(entry, '\0', end - entry));
        if (nul == nullptr)
            nul = end;
        const QByteArrayView text(entry, nul - entry);
        const qsizetype eq = text.indexOf('=');
        if (eq < 0) {
            // An entry without '=' (an empty section has one) fails the whole read.
            return KeyList{QStringList{QString()}, 0};
        }
        list.keys.append(QString::fromUtf8(text.first(eq)));
        entry = nul + 1;
    } while (entry < end && *entry != '\0');
    list.lastIndex = static_cast<int>(list.keys.size()) - 1;
    return list;
}

int DeleteProfileKey(const QString& path, const QString& section, const QString& key) {
    return platform::ProfileFile::deleteKey(path, section.toUtf8(), key.toUtf8());
}

void LoadSuffixList(QComboBox* cbSuffix) {
    const KeyList list = ReadSectionKeys(SettingsFilePath(), suffixSection());
    cbSuffix->clear();
    cbSuffix->clearEditText();
    for (int i = 0; i <= list.lastIndex && i < list.keys.size(); ++i) {
        if (!list.keys[i].isEmpty())
            cbSuffix->addItem(list.keys[i]);
    }
    if (cbSuffix->count() > 0) {
        cbSuffix->setCurrentIndex(0);
        // Show the suffix from its start when it is wider than the box.
        if (QLineEdit* edit = cbSuffix->lineEdit())
            edit->setCursorPosition(0);
    } else {
        // Nothing to select: the box stays empty and usable for typing a suffix.
        cbSuffix->setCurrentIndex(-1);
        cbSuffix->clearEditText();
    }
}

bool CheckNewSuffix(QComboBox* cbSuffix, const QString& suffix) {
    const auto& text = ModTransLate::Text().frmMain;
    if (suffix.isEmpty()) {
        warn(cbSuffix, text.SuffixCanNotEmpty);
        return false;
    }
    if (!isStorableSuffix(suffix)) {
        warn(cbSuffix, text.SuffixInvalid);
        return false;
    }
    const KeyList list = ReadSectionKeys(SettingsFilePath(), suffixSection());
    for (int i = 0; i <= list.lastIndex && i < list.keys.size(); ++i) {
        if (list.keys[i] == suffix) {
            warn(cbSuffix, text.SuffixExist);
            return false;
        }
    }
    return true;
}

void btnAdd_Click(QComboBox* cbSuffix) {
    const QString suffix = cbSuffix->currentText().trimmed();
    if (!CheckNewSuffix(cbSuffix, suffix))
        return;
    if (platform::ProfileFile::writeString(SettingsFilePath(), suffixSection().toUtf8(),
                                           suffix.toUtf8(), QByteArrayView()) != 1)
        return;
    platform::MessageBox::show(ModTransLate::Text().frmMain.AddSuccessfully,
                               platform::MessageIcon::Information);
    // Appending to an empty list would select the new item and replace the typed
    // text; the box keeps what the user typed.
    const QString typed = cbSuffix->currentText();
    cbSuffix->addItem(suffix);
    if (cbSuffix->currentText() != typed)
        cbSuffix->setEditText(typed);
}

void btnDel_Click(QComboBox* cbSuffix) {
    const QString suffix = cbSuffix->currentText();
    if (DeleteProfileKey(SettingsFilePath(), suffixSection(), suffix) != 1)
        return;
    platform::MessageBox::show(ModTransLate::Text().frmMain.DelSuccessfully,
                               platform::MessageIcon::Information);
    LoadSuffixList(cbSuffix);
}

} // namespace SuffixList
