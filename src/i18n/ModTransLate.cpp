#include "i18n/ModTransLate.h"

#include "common/ModCommon.h"
#include "platform/AppTitle.h"
#include "platform/Installation.h"
#include "profile/ProfileCache.h"
#include "profile/ProfileFile.h"

#include <QStringDecoder>

#include <cerrno>
#include <iterator>

namespace ModTransLate {
namespace {

// An entry whose section and key are the names of its catalogue member.
// clang-format off
#define CATALOGUE_ENTRY(section, key) \
    Entry{#section, #key, [](Catalogue& c) -> QString& { return c.section.key; }}
#define CATALOGUE_ENTRY_BUILT_IN(section, key, builtIn) \
    Entry{#section, #key, [](Catalogue& c) -> QString& { return c.section.key; }, builtIn}
// clang-format on

constexpr Entry Table[] = {
    CATALOGUE_ENTRY(SysGlobal, ProductName),

    CATALOGUE_ENTRY(frmMain, Add),
    CATALOGUE_ENTRY(frmMain, Del),
    CATALOGUE_ENTRY(frmMain, Start),
    CATALOGUE_ENTRY(frmMain, Exit),
    CATALOGUE_ENTRY(frmMain, Stop),
    CATALOGUE_ENTRY(frmMain, Contact),
    CATALOGUE_ENTRY(frmMain, Update),
    CATALOGUE_ENTRY(frmMain, Suffix),
    CATALOGUE_ENTRY(frmMain, NoFrom),
    CATALOGUE_ENTRY(frmMain, To),
    CATALOGUE_ENTRY(frmMain, AddSuccessfully),
    CATALOGUE_ENTRY(frmMain, CancelAndSave),
    CATALOGUE_ENTRY(frmMain, CreateNoSuccessfully),
    CATALOGUE_ENTRY(frmMain, PlsFillNo),
    CATALOGUE_ENTRY(frmMain, WrongNoFormat),
    CATALOGUE_ENTRY(frmMain, StartLargerEnd),
    CATALOGUE_ENTRY(frmMain, DelSuccessfully),
    CATALOGUE_ENTRY(frmMain, SuffixCanNotEmpty),
    CATALOGUE_ENTRY(frmMain, SuffixExist),
    CATALOGUE_ENTRY(frmMain, HomePageLink),

    CATALOGUE_ENTRY(frmAbout, About),
    CATALOGUE_ENTRY(frmAbout, HomePage),
    CATALOGUE_ENTRY(frmAbout, Email),
    CATALOGUE_ENTRY(frmAbout, Contact),
    CATALOGUE_ENTRY(frmAbout, Ok),

    CATALOGUE_ENTRY(frmHelp, Help),
    CATALOGUE_ENTRY(frmHelp, HelpDesc),

    CATALOGUE_ENTRY(frmUpdate, FindTheLastestVer),
    CATALOGUE_ENTRY(frmUpdate, NoFindTheLastestVer),
    CATALOGUE_ENTRY(frmUpdate, CheckUpdate),
    CATALOGUE_ENTRY(frmUpdate, DownNewVersion),
    CATALOGUE_ENTRY(frmUpdate, TheLastestVer),
    CATALOGUE_ENTRY(frmUpdate, CheckingLastestVer),

    // Entries added by this program, read after the original thirty-four.
    CATALOGUE_ENTRY(frmMain, SuffixInvalid),
    CATALOGUE_ENTRY(frmUpdate, CheckFailed),
    CATALOGUE_ENTRY_BUILT_IN(
        frmMain, ProgramFileRefused,
        "This file is one of Korvani's own (its settings, a language file or "
        "the program itself) and is not replaced. Please choose another name."),
    CATALOGUE_ENTRY_BUILT_IN(frmMain, AddressList, "Addresses"),
    CATALOGUE_ENTRY_BUILT_IN(frmMain, Progress, "Progress"),
    CATALOGUE_ENTRY_BUILT_IN(frmUpdate, Progress, "Progress"),
    CATALOGUE_ENTRY_BUILT_IN(frmMain, ListNotSaved, "The suffix list could not be saved."),
    CATALOGUE_ENTRY_BUILT_IN(frmMain, SaveDiskFull, "The disk is full."),
    CATALOGUE_ENTRY_BUILT_IN(frmMain, SaveNoPermission,
                             "You do not have permission to change the settings file."),
    CATALOGUE_ENTRY_BUILT_IN(frmMain, SaveChanged,
                             "Another program changed the settings file meanwhile. Please try "
                             "again."),
    CATALOGUE_ENTRY_BUILT_IN(frmMain, SaveRefused, "The drive refused the change."),

    // A run whose file failed.
    CATALOGUE_ENTRY_BUILT_IN(
        frmMain, RunFileIncomplete,
        "The file is incomplete: it holds only the %1 addresses shown in the list. %2"),
    CATALOGUE_ENTRY_BUILT_IN(frmMain, RunFileDiskFull, "The disk is full."),
    CATALOGUE_ENTRY_BUILT_IN(frmMain, RunFileTooLarge, "The file is too large for this drive."),
    CATALOGUE_ENTRY_BUILT_IN(frmMain, RunFileNoPermission,
                             "You have no permission to write this file."),
    CATALOGUE_ENTRY_BUILT_IN(frmMain, RunFileChanged,
                             "Another program changed or removed the file."),
    CATALOGUE_ENTRY_BUILT_IN(frmMain, RunFileNotWritten,
                             "The file could not be opened or written."),
};

#undef CATALOGUE_ENTRY
#undef CATALOGUE_ENTRY_BUILT_IN

// The catalogue holds texts only, and the table names every one of them.
static_assert(std::size(Table) * sizeof(QString) == sizeof(Catalogue));

Catalogue& catalogue() {
    static Catalogue text;
    return text;
}

QString& languageFile() {
    static QString path;
    return path;
}

} // namespace

std::span<const Entry> Entries() {
    return Table;
}

QString BuiltInText(const Entry& entry) {
    return QString::fromUtf8(entry.builtIn);
}

const Catalogue& Text() {
    return catalogue();
}

const QString& Text(const Entry& entry) {
    return entry.text(catalogue());
}

QString LanguageFile() {
    return languageFile();
}

QStringList LanguageFiles() {
    const QString prefix = platform::Installation::programFolder() + QStringLiteral("/language/");
    QStringList files;
    for (const char* name : {"Korvani_EN.ini", "Korvani_SC.ini", "Korvani_TC.ini"})
        files << prefix + QString::fromLatin1(name);
    return files;
}

void SetLanguageFile(const QString& code) {
    const QStringList files = LanguageFiles();
    for (int i = 0; i < files.size(); ++i) {
        if (code == QString::number(i)) {
            languageFile() = files[i];
            return;
        }
    }
}

QString ReadLanguageText(const QString& section, const QString& key, const QString& defaultText) {
    char buffer[profile::ProfileFile::StringBufferSize];
    const QByteArray defaultBytes = defaultText.toUtf8();
    const int length = profile::ProfileFile::readString(
        languageFile(), section.toUtf8(), key.toUtf8(), defaultBytes, buffer, sizeof buffer);
    if (length <= 0)
        return defaultText;
    // A value cut at the buffer's end may end in the middle of a UTF-8 sequence: the
    // decoder keeps such an unfinished character back, so the text ends on the last
    // whole one (broken bytes elsewhere still become replacement characters).
    QStringDecoder decoder(QStringDecoder::Utf8);
    return ModCommon::CutAtNul(decoder.decode(QByteArrayView(buffer, length)));
}

platform::FileStatus ReadCatalogue() {
    SetLanguageFile(QStringLiteral("0"));
    Catalogue& t = catalogue();
    for (const Entry& entry : Entries())
        entry.text(t) = BuiltInText(entry);
    if (!ModCommon::CheckFileExists(languageFile()))
        return {platform::FileFailure::NotFound, ENOENT};
    // A file that is there but cannot be read would give every entry its default: the
    // settings reader, which reads the entries below, tells that first.
    platform::FileStatus read;
    profile::ReadCache::instance().get(languageFile(), &read);
    if (!read)
        return read;
    for (const Entry& entry : Entries()) {
        QString& text = entry.text(t);
        text = ReadLanguageText(QString::fromLatin1(entry.section), QString::fromLatin1(entry.key),
                                BuiltInText(entry));
        if (&text == &t.SysGlobal.ProductName)
            platform::AppTitle::setTitle(text);
    }
    return {};
}

void ResetForTesting() {
    catalogue() = Catalogue{};
    languageFile().clear();
}

} // namespace ModTransLate
