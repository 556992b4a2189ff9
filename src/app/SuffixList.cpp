#include "app/SuffixList.h"

#include "app/SuffixFile.h"
#include "i18n/ModTransLate.h"
#include "platform/Desktop.h"
#include "profile/ProfileFile.h"

#include <QComboBox>
#include <QLineEdit>

#include <cerrno>

namespace SuffixList {
namespace {

void warn(QComboBox* cbSuffix, const QString& text) {
    platform::MessageBox::show(text, platform::MessageIcon::Exclamation);
    cbSuffix->setFocus();
}

// A change that could not be saved says so and why. It is undone, but where the undo
// failed too the file holds something else: the list is read again, so that it shows
// what the file holds.
void notSaved(QComboBox* cbSuffix, const platform::FileStatus& status) {
    const auto& text = ModTransLate::Text().frmMain;
    // In the order of platform::FileProblem: a file too large is refused by the drive.
    const QString* reasons[] = {&text.SaveDiskFull, &text.SaveRefused, &text.SaveNoPermission,
                                &text.SaveChanged, &text.SaveRefused};
    warn(cbSuffix, text.ListNotSaved + u'\n' + *reasons[int(platform::problemOf(status))]);
    if (status.failure != platform::FileFailure::WriteFailed)
        return;
    const QString typed = cbSuffix->currentText();
    LoadSuffixList(cbSuffix);
    cbSuffix->setEditText(typed);
}

} // namespace

void LoadSuffixList(QComboBox* cbSuffix) {
    // A failed read fills the box with nothing, without a message.
    const auto keys =
        SuffixFile::ReadSectionKeys(SuffixFile::SettingsFilePath(), SuffixFile::SuffixSection());
    cbSuffix->clear();
    cbSuffix->clearEditText();
    for (const QString& key : keys.value()) {
        if (!key.isEmpty())
            cbSuffix->addItem(key);
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

QString TypedSuffix(const QComboBox* cbSuffix) {
    return cbSuffix->currentText().trimmed();
}

bool CheckNewSuffix(QComboBox* cbSuffix, const QString& suffix) {
    const auto& text = ModTransLate::Text().frmMain;
    if (suffix.isEmpty()) {
        warn(cbSuffix, text.SuffixCanNotEmpty);
        return false;
    }
    if (!profile::ProfileFile::isStorableKey(suffix.toUtf8())) {
        warn(cbSuffix, text.SuffixInvalid);
        return false;
    }
    return true;
}

void btnAdd_Click(QComboBox* cbSuffix) {
    const QString suffix = TypedSuffix(cbSuffix);
    if (!CheckNewSuffix(cbSuffix, suffix))
        return;
    // The check against the file's keys is made by the add, on the read it writes from;
    // where the file to change cannot be had, against the file that is read.
    const auto file = SuffixFile::SettingsFileToWrite();
    platform::FileStatus added =
        file ? SuffixFile::AddKey(*file, SuffixFile::SuffixSection(), suffix) : file.status();
    if (!file &&
        SuffixFile::ReadSectionKeys(SuffixFile::SettingsFilePath(), SuffixFile::SuffixSection())
            ->contains(suffix))
        added = {platform::FileFailure::Exists, EEXIST};
    if (added.failure == platform::FileFailure::Exists) {
        warn(cbSuffix, ModTransLate::Text().frmMain.SuffixExist);
        return;
    }
    if (!added) {
        notSaved(cbSuffix, added);
        return;
    }
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
    const auto file = SuffixFile::SettingsFileToWrite();
    const platform::FileStatus deleted =
        file ? SuffixFile::DeleteProfileKey(*file, SuffixFile::SuffixSection(), suffix)
             : file.status();
    if (deleted.failure == platform::FileFailure::NotFound)
        return; // no such suffix: nothing to save
    if (!deleted) {
        notSaved(cbSuffix, deleted);
        return;
    }
    platform::MessageBox::show(ModTransLate::Text().frmMain.DelSuccessfully,
                               platform::MessageIcon::Information);
    LoadSuffixList(cbSuffix);
}

} // namespace SuffixList
