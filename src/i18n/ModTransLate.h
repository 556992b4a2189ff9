#pragma once

#include <QString>

class QWidget;

// The language catalogue: every interface text, read once at start-up from the
// language file in the program folder's "language" subfolder.
namespace ModTransLate {

struct Catalogue {
    struct {
        QString ProductName;
    } SysGlobal;
    struct {
        QString Add, Del, Start, Exit, Stop, Contact, Update, Suffix, NoFrom, To;
        QString AddSuccessfully, CancelAndSave, CreateNoSuccessfully, PlsFillNo, WrongNoFormat;
        QString StartLargerEnd, DelSuccessfully, SuffixCanNotEmpty, SuffixExist, HomePageLink;
        QString SuffixInvalid;
    } frmMain;
    struct {
        QString About, HomePage, Email, Contact, Ok;
    } frmAbout;
    struct {
        QString Help, HelpDesc;
    } frmHelp;
    struct {
        QString FindTheLastestVer, NoFindTheLastestVer, CheckUpdate, DownNewVersion;
        QString TheLastestVer, CheckingLastestVer, CheckFailed;
    } frmUpdate;
};

// The loaded catalogue; every entry is empty until LoadLanguage has read it.
const Catalogue& Text();

// Picks the language file, reports a missing one, sets the application title from
// ProductName and reads every entry. Called once, before the first window exists.
void LoadLanguage();

// Sets LanguageFile for the codes "0" (English), "1" (Simplified Chinese) and
// "2" (Traditional Chinese); any other code leaves it unchanged.
void SetLanguageFile(const QString& code);
QString LanguageFile();

// The value of key in section of LanguageFile, or defaultText when there is none
// (a missing file, section or key, or an empty value).
QString ReadLanguageText(const QString& section, const QString& key, const QString& defaultText);

// Copy catalogue entries into each window's title, buttons and labels. They find
// the targets by object name and only assign: an empty entry gives an empty caption.
void ApplyMainCaptions(QWidget* frmMain);
void ApplyAboutCaptions(QWidget* frmAbout);
void ApplyHelpCaptions(QWidget* frmHelp);
void ApplyUpdateCaptions(QWidget* frmUpdate);

// Tests start each case from process start: empty catalogue, no language file.
void ResetForTesting();

} // namespace ModTransLate
