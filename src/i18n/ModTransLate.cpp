#include "i18n/ModTransLate.h"

#include "common/ModCommon.h"
#include "platform/Application.h"
#include "platform/Desktop.h"
#include "platform/ProfileFile.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLabel>
#include <QStringDecoder>
#include <QWidget>

#include <array>

namespace ModTransLate {
namespace {

Catalogue& catalogue() {
    static Catalogue text;
    return text;
}

QString& languageFile() {
    static QString path;
    return path;
}

QString read(const char* section, const char* key) {
    return ReadLanguageText(QString::fromLatin1(section), QString::fromLatin1(key), QString());
}

void setText(QWidget* window, const char* name, const QString& text) {
    QObject* target = window->findChild<QObject*>(QString::fromLatin1(name));
    if (auto* button = qobject_cast<QAbstractButton*>(target))
        button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(target))
        label->setText(text);
}

} // namespace

const Catalogue& Text() {
    return catalogue();
}

QString LanguageFile() {
    return languageFile();
}

void SetLanguageFile(const QString& code) {
    static constexpr std::array<const char*, 3> Names = {"Korvani_EN.ini", "Korvani_SC.ini",
                                                         "Korvani_TC.ini"};
    const QString prefix = platform::Application::programFolder() + QStringLiteral("/language/");
    for (int i = 0; i < static_cast<int>(Names.size()); ++i) {
        if (code == QString::number(i)) {
            languageFile() = prefix + QString::fromLatin1(Names[static_cast<std::size_t>(i)]);
            return;
        }
    }
}

QString ReadLanguageText(const QString& section, const QString& key, const QString& defaultText) {
    char buffer[platform::ProfileFile::StringBufferSize];
    const QByteArray defaultBytes = defaultText.toUtf8();
    const int length = platform::ProfileFile::readString(
        languageFile(), section.toUtf8(), key.toUtf8(), defaultBytes, buffer, sizeof buffer);
    if (length <= 0)
        return defaultText;
    // A value cut at the buffer's end may end in the middle of a UTF-8 sequence: the
    // decoder keeps such an unfinished character back, so the text ends on the last
    // whole one (broken bytes elsewhere still become replacement characters).
    QStringDecoder decoder(QStringDecoder::Utf8);
    return ModCommon::CutAtNul(decoder.decode(QByteArrayView(buffer, length)));
}

void LoadLanguage() {
    SetLanguageFile(QStringLiteral("0"));
    if (!ModCommon::FileSystem())
        ModCommon::CreateFileSystem();
    if (!ModCommon::FileSystem()->FileExists(languageFile())) {
        platform::MessageBox::show(QStringLiteral("Can't find the language file") + languageFile(),
                                   platform::MessageIcon::Warning);
        return;
    }
    Catalogue& t = catalogue();
    t.SysGlobal.ProductName = read("SysGlobal", "ProductName");
    platform::Application::setTitle(t.SysGlobal.ProductName);

    auto& m = t.frmMain;
    m.Add = read("frmMain", "Add");
    m.Del = read("frmMain", "Del");
    m.Start = read("frmMain", "Start");
    m.Exit = read("frmMain", "Exit");
    m.Stop = read("frmMain", "Stop");
    m.Contact = read("frmMain", "Contact");
    m.Update = read("frmMain", "Update");
    m.Suffix = read("frmMain", "Suffix");
    m.NoFrom = read("frmMain", "NoFrom");
    m.To = read("frmMain", "To");
    m.AddSuccessfully = read("frmMain", "AddSuccessfully");
    m.CancelAndSave = read("frmMain", "CancelAndSave");
    m.CreateNoSuccessfully = read("frmMain", "CreateNoSuccessfully");
    m.PlsFillNo = read("frmMain", "PlsFillNo");
    m.WrongNoFormat = read("frmMain", "WrongNoFormat");
    m.StartLargerEnd = read("frmMain", "StartLargerEnd");
    m.DelSuccessfully = read("frmMain", "DelSuccessfully");
    m.SuffixCanNotEmpty = read("frmMain", "SuffixCanNotEmpty");
    m.SuffixExist = read("frmMain", "SuffixExist");
    m.HomePageLink = read("frmMain", "HomePageLink");

    auto& a = t.frmAbout;
    a.About = read("frmAbout", "About");
    a.HomePage = read("frmAbout", "HomePage");
    a.Email = read("frmAbout", "Email");
    a.Contact = read("frmAbout", "Contact");
    a.Ok = read("frmAbout", "Ok");

    t.frmHelp.Help = read("frmHelp", "Help");
    t.frmHelp.HelpDesc = read("frmHelp", "HelpDesc");

    auto& u = t.frmUpdate;
    u.FindTheLastestVer = read("frmUpdate", "FindTheLastestVer");
    u.NoFindTheLastestVer = read("frmUpdate", "NoFindTheLastestVer");
    u.CheckUpdate = read("frmUpdate", "CheckUpdate");
    u.DownNewVersion = read("frmUpdate", "DownNewVersion");
    u.TheLastestVer = read("frmUpdate", "TheLastestVer");
    u.CheckingLastestVer = read("frmUpdate", "CheckingLastestVer");

    // Entries added by this program, read after the original thirty-four.
    m.SuffixInvalid = read("frmMain", "SuffixInvalid");
    u.CheckFailed = read("frmUpdate", "CheckFailed");
}

void ApplyMainCaptions(QWidget* frmMain) {
    const Catalogue& t = Text();
    frmMain->setWindowTitle(t.SysGlobal.ProductName);
    setText(frmMain, "btnAdd", t.frmMain.Add);
    setText(frmMain, "btnDel", t.frmMain.Del);
    setText(frmMain, "btnBuild", t.frmMain.Start);
    setText(frmMain, "btnCancel", t.frmMain.Stop);
    setText(frmMain, "btnContact", t.frmMain.Contact);
    setText(frmMain, "btnExit", t.frmMain.Exit);
    setText(frmMain, "btnHelp", t.frmHelp.Help);
    setText(frmMain, "btnUpdate", t.frmMain.Update);
    setText(frmMain, "slSuffix", t.frmMain.Suffix);
    setText(frmMain, "slTo", t.frmMain.To);
    setText(frmMain, "slNoFrom", t.frmMain.NoFrom);
}

void ApplyAboutCaptions(QWidget* frmAbout) {
    const Catalogue& t = Text();
    frmAbout->setWindowTitle(t.frmAbout.About);
    setText(frmAbout, "slAbout", t.SysGlobal.ProductName);
    setText(frmAbout, "slHomePage", t.frmAbout.HomePage);
    setText(frmAbout, "slEmail", t.frmAbout.Email);
    setText(frmAbout, "slContact", t.frmAbout.Contact);
    setText(frmAbout, "CommandOk", t.frmAbout.Ok);
}

void ApplyHelpCaptions(QWidget* frmHelp) {
    const Catalogue& t = Text();
    frmHelp->setWindowTitle(t.frmHelp.Help);
    setText(frmHelp, "lbHelp", t.frmHelp.HelpDesc);
    setText(frmHelp, "btnOk", t.frmAbout.Ok);
}

void ApplyUpdateCaptions(QWidget* frmUpdate) {
    const Catalogue& t = Text();
    frmUpdate->setWindowTitle(t.frmUpdate.CheckUpdate);
    setText(frmUpdate, "Command(0)", t.frmUpdate.CheckUpdate);
    setText(frmUpdate, "Command(1)", t.frmMain.Exit);
}

void ResetForTesting() {
    catalogue() = Catalogue{};
    languageFile().clear();
}

} // namespace ModTransLate
