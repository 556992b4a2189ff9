#pragma once

#include "platform/FileStatus.h"

#include <QString>
#include <QStringList>

#include <span>

// The language catalogue: the interface texts (all but the Save dialog's title and filter,
// which are built in), read once at start-up from the language file in the program
// folder's "language" subfolder.
namespace ModTransLate {

struct Catalogue {
    struct {
        QString ProductName;
    } SysGlobal;
    struct {
        QString Add, Del, Start, Exit, Stop, Contact, Update, Suffix, NoFrom, To;
        QString AddSuccessfully, CancelAndSave, CreateNoSuccessfully, PlsFillNo, WrongNoFormat;
        QString StartLargerEnd, DelSuccessfully, SuffixCanNotEmpty, SuffixExist, HomePageLink;
        QString SuffixInvalid, ProgramFileRefused, AddressList, Progress;
        QString ListNotSaved, SaveDiskFull, SaveNoPermission, SaveChanged, SaveRefused;
        // A run whose file failed: RunFileIncomplete, with the count and one reason.
        QString RunFileIncomplete, RunFileDiskFull, RunFileTooLarge, RunFileNoPermission;
        QString RunFileChanged, RunFileNotWritten;
    } frmMain;
    struct {
        QString About, HomePage, Email, Contact, Ok;
    } frmAbout;
    struct {
        QString Help, HelpDesc;
    } frmHelp;
    struct {
        QString FindTheLastestVer, NoFindTheLastestVer, CheckUpdate, DownNewVersion;
        QString TheLastestVer, CheckingLastestVer, CheckFailed, Progress;
    } frmUpdate;
};

// One catalogue entry: the key in a section of the language file, the text of a
// catalogue it fills, and for some entries added by this program an English text built
// in, used where the language file gives none (UTF-8; nullptr: empty).
struct Entry {
    const char* section;
    const char* key;
    QString& (*text)(Catalogue&);
    const char* builtIn = nullptr;
};

// Every entry, in the order of reading: ProductName, the thirty-three of the windows,
// then those added by this program (frmMain SuffixInvalid, frmUpdate CheckFailed,
// frmMain ProgramFileRefused, the names that assistive tools read for the controls
// without a caption: frmMain AddressList and Progress, frmUpdate Progress; the notice of
// a list that could not be saved, with its four reasons; and the warning of a run whose
// file failed: frmMain RunFileIncomplete and its five reasons).
std::span<const Entry> Entries();
// The built-in text of an entry; empty for most.
QString BuiltInText(const Entry& entry);

// The loaded catalogue; every entry is empty until it has been read (then an entry the
// language file does not give, even a missing file, is its built-in text).
const Catalogue& Text();
// The loaded text of one of Entries().
const QString& Text(const Entry& entry);

// Picks the English language file and reads the catalogue from it: ProductName first,
// which becomes the application title, then every other entry. When the file does not
// exist (NotFound) or cannot be read (as the settings reader tells it: NotAFile,
// Unreadable), nothing is read and every entry is its built-in text.
platform::FileStatus ReadCatalogue();

// Sets LanguageFile for the codes "0" (English), "1" (Simplified Chinese) and
// "2" (Traditional Chinese); any other code leaves it unchanged. Start-up only ever
// asks for "0"; the routine keeps the three text codes because the program's design
// names it so, one code for each language file shipped (see LanguageFiles()).
void SetLanguageFile(const QString& code);
QString LanguageFile();
// Every language file of the program folder, whichever is in use.
QStringList LanguageFiles();

// The value of key in section of LanguageFile, or defaultText when there is none
// (a missing file, section or key, or an empty value).
QString ReadLanguageText(const QString& section, const QString& key, const QString& defaultText);

// Tests start each case from process start: empty catalogue, no language file.
void ResetForTesting();

} // namespace ModTransLate
