#include "app/SuffixList.h"

#include "app/MainWindowFixture.h"

#include "i18n/ModTransLate.h"
#include "i18n/WindowCaptions.h"
#include "platform/Desktop.h"
#include "platform/Installation.h"
#include "profile/ProfileFile.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using platform::MessageBox;
using platform::MessageIcon;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

QStringList items(const QComboBox& box) {
    QStringList list;
    for (int i = 0; i < box.count(); ++i)
        list.append(box.itemText(i));
    return list;
}

#ifndef _WIN32
// While it lives, the process runs as the unprivileged user "korvanitest" (made by
// ctest before the tests), so that file permissions apply. Without root the process already is
// unprivileged and nothing changes.
class AsUnprivilegedUser {
public:
    AsUnprivilegedUser() {
        if (::geteuid() != 0)
            return;
        const passwd* user = testsupport::unprivilegedUser();
        if (user == nullptr)
            return;
        // The saved user id stays root, so the destructor can switch back.
        switched_ = ::setresgid(user->pw_gid, user->pw_gid, 0) == 0 &&
                    ::setresuid(user->pw_uid, user->pw_uid, 0) == 0;
    }
    ~AsUnprivilegedUser() {
        if (switched_) {
            [[maybe_unused]] const int u = ::setresuid(0, 0, 0);
            [[maybe_unused]] const int g = ::setresgid(0, 0, 0);
        }
    }
    bool active() const { return switched_ || ::geteuid() != 0; }

private:
    bool switched_ = false;
};
#endif

class SuffixListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ModTransLate::LoadLanguage();
        const auto& text = ModTransLate::Text().frmMain;
        // The checks below tell the messages apart by their texts.
        const QStringList texts{text.AddSuccessfully, text.DelSuccessfully, text.SuffixCanNotEmpty,
                                text.SuffixExist, text.SuffixInvalid};
        ASSERT_FALSE(texts.contains(QString()));
        ASSERT_EQ(QSet<QString>(texts.begin(), texts.end()).size(), texts.size());
        MessageBox::clearShown();

        box_ = new QComboBox(&window_);
        box_->setObjectName(QStringLiteral("cbSuffix"));
        box_->setEditable(true);
        box_->setInsertPolicy(QComboBox::NoInsert);
        other_ = new QLineEdit(&window_);
        auto* layout = new QVBoxLayout(&window_);
        layout->addWidget(box_);
        layout->addWidget(other_);
        window_.show();
        window_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    }

    QString settings() const { return folder_.file(QStringLiteral("Korvani.ini")); }
    void load(const QByteArray& content) {
        writeFile(settings(), content);
        SuffixList::LoadSuffixList(box_);
    }
    void type(const QString& text) {
        other_->setFocus();
        box_->setEditText(text);
    }
    void add(const QString& text) {
        type(text);
        SuffixList::btnAdd_Click(box_);
    }

    // The one message shown since the last call, or nothing.
    std::optional<platform::ShownMessage> takeMessage() {
        const QList<platform::ShownMessage> shown = MessageBox::shown();
        MessageBox::clearShown();
        EXPECT_LE(shown.size(), 1);
        if (shown.isEmpty())
            return std::nullopt;
        return shown.front();
    }
    void expectWarning(const QString& text) {
        const auto message = takeMessage();
        ASSERT_TRUE(message.has_value());
        EXPECT_EQ(message->text, text);
        EXPECT_EQ(message->icon, MessageIcon::Exclamation);
        EXPECT_TRUE(box_->hasFocus()) << "the focus did not go to cbSuffix";
    }
    void expectNotice(const QString& text) {
        const auto message = takeMessage();
        ASSERT_TRUE(message.has_value());
        EXPECT_EQ(message->text, text);
        EXPECT_EQ(message->icon, MessageIcon::Information);
    }

    const decltype(ModTransLate::Text().frmMain)& text() const {
        return ModTransLate::Text().frmMain;
    }

    testsupport::ProgramFolder folder_;
    QWidget window_;
    QComboBox* box_ = nullptr;
    QLineEdit* other_ = nullptr;
};

const QByteArray threeSuffixes = "[Suffix]\r\nb.com=\r\na.com=\r\nc.com=\r\n";

// ---------------------------------------------------------------------------
// Reading the list

const QByteArray NoFile = "\x01 no file";
const QStringList three{"b.com", "a.com", "c.com"};

TEST_F(SuffixListTest, ReadSectionKeysGivesTheKeysInFileOrder) {
    writeFile(settings(), "[suffix]\r\nb.com=\r\nA.com= a value\r\n; note\r\nc.com=\r\n");
    const SuffixList::KeyList list = SuffixList::ReadSectionKeys(settings(), "Suffix");
    EXPECT_EQ(list.keys, (QStringList{"b.com", "A.com", "c.com"}));
    EXPECT_EQ(list.lastIndex, 2);

    for (const QByteArray& content : {QByteArray("[Suffix]\r\n"), QByteArray("[Other]\r\na=\r\n"),
                                      QByteArray("[Suffix]\r\na.com=\r\nbroken\r\nc.com=\r\n")}) {
        writeFile(settings(), content);
        const SuffixList::KeyList failed = SuffixList::ReadSectionKeys(settings(), "Suffix");
        EXPECT_EQ(failed.keys, QStringList{QString()}) << content.toStdString();
        EXPECT_EQ(failed.lastIndex, 0);
    }
    QFile::remove(settings());
    EXPECT_EQ(SuffixList::ReadSectionKeys(settings(), "Suffix").keys, QStringList{QString()});
}

// Loading fills the box in file order and selects the first; without a suffix it leaves
// the box empty and usable.
TEST_F(SuffixListTest, LoadingFillsTheBoxInFileOrder) {
    const struct {
        const char* what;
        QByteArray content; // or NoFile
        QStringList items;
    } rows[] = {
        {"three", threeSuffixes, three},
        {"only the keys", "[Suffix]\r\nx.com=hand-made value\r\ny.com = \r\n", {"x.com", "y.com"}},
        {"a line without '='", "[Suffix]\r\na.com=\r\nno equals sign\r\nc.com=\r\n", {}},
        {"an empty section", "[Suffix]\r\n", {}},
        {"an empty file", "", {}},
        {"no file", NoFile, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        box_->addItems({"old", "items"});
        box_->setEditText(QStringLiteral("typed"));
        row.content == NoFile ? void(QFile::remove(settings()))
                              : writeFile(settings(), row.content);
        SuffixList::LoadSuffixList(box_);
        EXPECT_EQ(items(*box_), row.items);
        EXPECT_EQ(box_->currentIndex(), row.items.isEmpty() ? -1 : 0);
        EXPECT_EQ(box_->currentText(), row.items.value(0));
        EXPECT_FALSE(takeMessage().has_value());
        EXPECT_EQ(SuffixList::SettingsFilePath(), settings());
    }

    // Still usable: a suffix typed into the empty box is added and the file created.
    add(QStringLiteral(" first.com "));
    expectNotice(text().AddSuccessfully);
    EXPECT_EQ(items(*box_), QStringList{"first.com"});
    EXPECT_EQ(box_->currentText(), " first.com ");
    EXPECT_EQ(readFile(settings()), "[Suffix]\r\nfirst.com=\r\n");
}

TEST_F(SuffixListTest, ALongSectionListsItsFirstSuffixes) {
    QByteArray content = "[Suffix]\r\n";
    QStringList all;
    for (int i = 0; i < 3000; ++i) {
        all.append(QStringLiteral("mail%1.example.com").arg(i));
        content += all.back().toUtf8() + "=\r\n";
    }
    load(content);
    ASSERT_GT(box_->count(), 1000);
    ASSERT_LT(box_->count(), 3000);
    EXPECT_EQ(items(*box_), all.first(box_->count()));
    EXPECT_EQ(box_->currentText(), "mail0.example.com");
}

// ---------------------------------------------------------------------------
// Adding

using Texts = decltype(ModTransLate::Catalogue::frmMain);
const QByteArray Kept = "\x01 as the row before left it";

// A suffix typed and added to the list loaded from load (or as the row before left it),
// with the file then changed to behind when given, and the write failing at the replace
// with the file changed to failing when given: the message, the list and the file.
struct Addition {
    const char* what;
    QByteArray load; // or Kept
    QString typed;
    QString Texts::*message;
    QStringList items;
    QByteArray after;
    QByteArray behind = {};
    QByteArray failing = {};
};

TEST_F(SuffixListTest, AddingChecksTheSuffixAgainstTheFileAndAppendsIt) {
    const QByteArray other = "[Other]\r\nkeep=1\r\n";
    const QByteArray added = threeSuffixes + "new.com=\r\n" + other;
    const QByteArray later = threeSuffixes + "later.com=\r\n";
    const QByteArray bad = "[Suffix]\r\nbad\x01key=\r\n";
    const QByteArray& file = threeSuffixes;
    const auto threeAnd = [&](const char* suffix) { return three + QStringList(suffix); };
    const auto exist = &Texts::SuffixExist, empty = &Texts::SuffixCanNotEmpty,
               invalid = &Texts::SuffixInvalid, success = &Texts::AddSuccessfully;
    const Addition rows[] = {
        {"appended", file + other, "  new.com  ", success, threeAnd("new.com"), added},
        {"there already", Kept, "new.com", exist, threeAnd("new.com"), added},
        {"there already, but for blanks", Kept, "\t new.com \t", exist, threeAnd("new.com"), added},
        {"in the file", file, "a.com", exist, three, file},
        {"the test is made against the file, not the list", Kept, "later.com", exist, three, later,
         later},
        {"other letter case passes, the file keeps one key", file, "A.COM", success,
         threeAnd("A.COM"), file},
        {"empty", file, QString(), empty, three, file},
        {"blanks", Kept, "    ", empty, three, file},
        {"blanks and a tab", Kept, " \t ", empty, three, file},
        {"'=' inside", Kept, "a=b.com", invalid, three, file},
        {"'=' at the end", Kept, "a.com=", invalid, three, file},
        {"';' first", Kept, ";a.com", invalid, three, file},
        {"'[' first", Kept, "[a.com", invalid, three, file},
        {"a tab", Kept, "a\tb.com", invalid, three, file},
        {"a line break", Kept, "a\nb.com", invalid, three, file},
        {"a control character", Kept, "a\u0001b.com", invalid, three, file},
        {"DEL", Kept, "a\u007fb.com", invalid, three, file},
        {"NEL", Kept, "a\u0085b.com", invalid, three, file},
        {"the same characters elsewhere are fine", Kept, "a;b[1].com", success,
         threeAnd("a;b[1].com"), file + "a;b[1].com=\r\n"},
        {"invalid is reported before existing", bad, "bad\u0001key", invalid,
         QStringList(QStringLiteral("bad\u0001key")), bad},
        {"a failed write that changed the file: the list is read again, the text stays",
         file,
         " x.com ",
         nullptr,
         threeAnd("later.com"),
         later,
         {},
         later},
    };
    for (const Addition& row : rows) {
        SCOPED_TRACE(testing::Message() << row.what << ": " << row.typed.toStdString());
        if (row.load != Kept)
            load(row.load);
        if (!row.behind.isNull())
            writeFile(settings(), row.behind);
        if (!row.failing.isNull())
            profile::ProfileFile::setBeforeReplaceHook([&row, this] {
                writeFile(settings(), row.failing);
                return false;
            });
        add(row.typed);
        profile::ProfileFile::setBeforeReplaceHook({});
        if (row.message == nullptr) {
            EXPECT_FALSE(takeMessage().has_value());
        } else if (row.message == success) {
            expectNotice(text().*row.message);
            EXPECT_TRUE(SuffixList::ReadSectionKeys(settings(), "Suffix")
                            .keys.contains(row.typed.trimmed(), Qt::CaseInsensitive));
        } else {
            expectWarning(text().*row.message);
        }
        EXPECT_EQ(items(*box_), row.items);
        EXPECT_EQ(box_->currentText(), row.typed) << "the box's text changed";
        EXPECT_EQ(readFile(settings()), row.after);
    }
}

// ---------------------------------------------------------------------------
// Deleting

TEST_F(SuffixListTest, DeletingReloadsTheListAndSelectsTheFirst) {
    load(threeSuffixes + "[Other]\r\nb.com=\r\n");
    box_->setCurrentIndex(2);
    box_->addItem(QStringLiteral("added.com")); // only in the list until it is rebuilt
    SuffixList::btnDel_Click(box_);
    expectNotice(text().DelSuccessfully);
    EXPECT_EQ(items(*box_), (QStringList{"b.com", "a.com"}));
    EXPECT_EQ(box_->currentIndex(), 0);
    EXPECT_EQ(box_->currentText(), "b.com");
    EXPECT_EQ(readFile(settings()), "[Suffix]\r\nb.com=\r\na.com=\r\n[Other]\r\nb.com=\r\n");

    type(QStringLiteral("B.COM"));
    SuffixList::btnDel_Click(box_);
    expectNotice(text().DelSuccessfully);
    EXPECT_EQ(items(*box_), QStringList{"a.com"});
    EXPECT_EQ(readFile(settings()), "[Suffix]\r\na.com=\r\n[Other]\r\nb.com=\r\n");

    SuffixList::btnDel_Click(box_);
    expectNotice(text().DelSuccessfully);
    EXPECT_EQ(box_->count(), 0);
    EXPECT_EQ(box_->currentIndex(), -1);
    EXPECT_EQ(box_->currentText(), "");
    EXPECT_EQ(readFile(settings()), "[Suffix]\r\n[Other]\r\nb.com=\r\n");
}

TEST_F(SuffixListTest, DeletingASuffixNotInTheFileDoesNothing) {
    load(threeSuffixes);
    for (const QString& typed : {QStringLiteral("missing.com"), QString(), QStringLiteral("b")}) {
        type(typed);
        SuffixList::btnDel_Click(box_);
        EXPECT_FALSE(takeMessage().has_value()) << typed.toStdString();
        EXPECT_EQ(items(*box_), (QStringList{"b.com", "a.com", "c.com"}));
        EXPECT_EQ(box_->currentText(), typed);
    }
    EXPECT_EQ(readFile(settings()), threeSuffixes);
}

TEST_F(SuffixListTest, AReadOnlyFileChangesNeitherFileNorList) {
    load(threeSuffixes);
#ifdef _WIN32
    // The file's read-only attribute.
    ASSERT_TRUE(QFile::setPermissions(settings(), QFileDevice::ReadOwner));
    {
#else
    ASSERT_EQ(::chmod(QFile::encodeName(folder_.path()).constData(), 0777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(settings()).constData(), 0444), 0);
    {
        AsUnprivilegedUser user;
        ASSERT_TRUE(user.active());
#endif
        add(QStringLiteral("new.com"));
        EXPECT_FALSE(takeMessage().has_value());
        box_->setCurrentIndex(1);
        SuffixList::btnDel_Click(box_);
        EXPECT_FALSE(takeMessage().has_value());
    }
    EXPECT_EQ(items(*box_), (QStringList{"b.com", "a.com", "c.com"}));
    EXPECT_EQ(box_->currentText(), "a.com");
    EXPECT_EQ(readFile(settings()), threeSuffixes);
#ifdef _WIN32
    QFile::setPermissions(settings(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#else
    ::chmod(QFile::encodeName(folder_.path()).constData(), 0700);
#endif
}

// ---------------------------------------------------------------------------
// Through the main window's buttons

class SuffixListWindowTest : public MainWindowTest {
protected:
    QString settings() const { return folder->file(QStringLiteral("Korvani.ini")); }
    QStringList fileKeys() const {
        return SuffixList::ReadSectionKeys(settings(), QStringLiteral("Suffix")).keys;
    }
    void typeIntoBox(const QString& text) {
        QLineEdit* edit = control<QComboBox>("cbSuffix")->lineEdit();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
};

TEST_F(SuffixListWindowTest, TheWindowListsTheSettingsFile) {
    const QStringList keys = fileKeys();
    ASSERT_GE(keys.size(), 2);
    auto* box = control<QComboBox>("cbSuffix");
    EXPECT_EQ(items(*box), keys);
    EXPECT_EQ(box->currentIndex(), 0);
    EXPECT_EQ(box->currentText(), keys.front());
}

TEST_F(SuffixListWindowTest, AddAndDeleteWithTheButtons) {
    const auto& text = ModTransLate::Text().frmMain;
    auto* box = control<QComboBox>("cbSuffix");
    const QStringList keys = fileKeys();
    ASSERT_GE(keys.size(), 2);

    typeIntoBox(QStringLiteral(" typed.example "));
    QTest::mouseClick(control<QPushButton>("btnAdd"), Qt::LeftButton);
    EXPECT_EQ(messages(), QStringList{text.AddSuccessfully});
    EXPECT_EQ(items(*box), keys + QStringList{"typed.example"});
    EXPECT_EQ(box->currentText(), " typed.example ");
    EXPECT_EQ(fileKeys(), keys + QStringList{"typed.example"});

    box->setCurrentIndex(0);
    QTest::mouseClick(control<QPushButton>("btnDel"), Qt::LeftButton);
    EXPECT_EQ(messages(), (QStringList{text.AddSuccessfully, text.DelSuccessfully}));
    const QStringList left = keys.mid(1) + QStringList{"typed.example"};
    EXPECT_EQ(fileKeys(), left);
    EXPECT_EQ(items(*box), left);
    EXPECT_EQ(box->currentText(), left.front());

    typeIntoBox(QStringLiteral("x=y"));
    QTest::mouseClick(control<QPushButton>("btnAdd"), Qt::LeftButton);
    typeIntoBox(QStringLiteral("   "));
    QTest::mouseClick(control<QPushButton>("btnAdd"), Qt::LeftButton);
    EXPECT_EQ(messages(), (QStringList{text.AddSuccessfully, text.DelSuccessfully,
                                       text.SuffixInvalid, text.SuffixCanNotEmpty}));
    EXPECT_EQ(platform::MessageBox::shown().back().icon, MessageIcon::Exclamation);
    EXPECT_TRUE(box->hasFocus());
    EXPECT_EQ(fileKeys(), left);
}

TEST_F(SuffixListWindowTest, DeletingEverySuffixLeavesAnEmptyUsableBox) {
    auto* box = control<QComboBox>("cbSuffix");
    for (int n = box->count(); n > 0; --n)
        QTest::mouseClick(control<QPushButton>("btnDel"), Qt::LeftButton);
    EXPECT_EQ(box->count(), 0);
    EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_EQ(box->currentText(), "");
    EXPECT_EQ(fileKeys(), QStringList{QString()});
    QTest::mouseClick(control<QPushButton>("btnDel"), Qt::LeftButton); // nothing left
    EXPECT_TRUE(window->isVisible());

    typeIntoBox(QStringLiteral("again.example"));
    QTest::mouseClick(control<QPushButton>("btnAdd"), Qt::LeftButton);
    EXPECT_EQ(items(*box), QStringList{"again.example"});
    EXPECT_EQ(fileKeys(), QStringList{"again.example"});
}

// ---------------------------------------------------------------------------
// Installed: the program folder is root's and read-only, each user has a copy

// In the main window of the installed program, whose shipped file holds threeSuffixes:
// Delete a.com (no copy of the user's yet), then Add d.com; both succeed.
void deleteThenAddInTheWindow() {
    const std::unique_ptr<frmMain> window = MainWindowDriver::startProgram();
    MainWindowDriver driver(*window);
    auto* box = driver.control<QComboBox>("cbSuffix");
    EXPECT_EQ(items(*box), (QStringList{"b.com", "a.com", "c.com"}));
    box->setCurrentIndex(1);
    driver.click("btnDel");
    box->setEditText(QStringLiteral("d.com"));
    driver.click("btnAdd");
    EXPECT_EQ(items(*box), (QStringList{"b.com", "c.com", "d.com"}));
    const auto& text = ModTransLate::Text().frmMain;
    QStringList shown;
    for (const platform::ShownMessage& m : MessageBox::shown())
        shown << m.text;
    EXPECT_EQ(shown, (QStringList{text.DelSuccessfully, text.AddSuccessfully}));
}
const QByteArray ownCopyAfterDeleteThenAdd = "[Suffix]\r\nb.com=\r\nc.com=\r\nd.com=\r\n";

// A program folder as an install lays it out: the English texts and the shipped file.
QString layOutProgramFolder(const QString& folder) {
    EXPECT_TRUE(QDir().mkpath(folder + QStringLiteral("/language")));
    EXPECT_TRUE(QFile::copy(QStringLiteral(KORVANI_SOURCE_DIR "/resources/language/Korvani_EN.ini"),
                            folder + QStringLiteral("/language/Korvani_EN.ini")));
    const QString shipped = folder + QStringLiteral("/Korvani.ini");
    writeFile(shipped, threeSuffixes);
    return shipped;
}

#ifndef _WIN32 // installed for all users: file owners and modes
TEST(SuffixListInstalled, EachUserChangesOnlyTheirOwnCopyAndTheInstalledFileStays) {
    // As root, the user is the test user; without root (a package build as an ordinary
    // user), the process itself, whose home needs no change of owner.
    const passwd* user = ::geteuid() == 0 ? testsupport::unprivilegedUser() : nullptr;
    ASSERT_TRUE(user != nullptr || ::geteuid() != 0);
    QTemporaryDir top;
    ::chmod(QFile::encodeName(top.path()).constData(), 0755);
    // Laid out as the package installs it: root's folders 0755, files 0644.
    const QString installed = top.filePath(QStringLiteral("usr/lib/korvani"));
    const QString etc = top.filePath(QStringLiteral("etc/korvani")); // the default settings
    const QString shipped = etc + QStringLiteral("/Korvani.ini");
    ASSERT_TRUE(QDir().mkpath(etc) && QFile::rename(layOutProgramFolder(installed), shipped));
    for (const QString& path : {shipped, installed + QStringLiteral("/language/Korvani_EN.ini")})
        ::chmod(QFile::encodeName(path).constData(), 0644);
    const QString home = top.filePath(QStringLiteral("home"));
    ASSERT_TRUE(QDir().mkpath(home));
    if (user != nullptr) {
        ASSERT_EQ(::chown(QFile::encodeName(home).constData(), user->pw_uid, user->pw_gid), 0);
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    const QString own = home + QStringLiteral("/.config/korvani/Korvani.ini");

    platform::Installation::setProgramFolder(installed);
    platform::Installation::setInstalledProgramFolder(installed, etc);
    ASSERT_TRUE(platform::Installation::runsInstalled());
    {
        AsUnprivilegedUser as;
        ASSERT_TRUE(as.active());
        deleteThenAddInTheWindow();
    }
    EXPECT_EQ(readFile(own), ownCopyAfterDeleteThenAdd);
    EXPECT_EQ(readFile(shipped), threeSuffixes);

    // Root's changes go to root's copy too: the installed file is never written.
    const QString rootConfig = top.filePath(QStringLiteral("root-config"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(rootConfig));
    const auto rootCopy = SuffixList::SettingsFileToWrite();
    ASSERT_TRUE(rootCopy.ok());
    EXPECT_TRUE(
        SuffixList::WriteKey(*rootCopy, SuffixList::SuffixSection(), QStringLiteral("e.com")));
    EXPECT_EQ(readFile(shipped), threeSuffixes);
    EXPECT_TRUE(
        readFile(rootConfig + QStringLiteral("/korvani/Korvani.ini")).endsWith("e.com=\r\n"));

    // A file where the configuration folder should be: refused before anything is made.
    const QString notAFolder = top.filePath(QStringLiteral("config-file"));
    writeFile(notAFolder, "x");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(notAFolder));
    EXPECT_EQ(SuffixList::SettingsFileToWrite().status().failure, platform::FileFailure::BadPath);
    EXPECT_EQ(readFile(notAFolder), "x");

    // Run from any other folder, the settings file beside the program is the one.
    platform::Installation::setInstalledProgramFolder(top.filePath(QStringLiteral("elsewhere")));
    EXPECT_FALSE(platform::Installation::runsInstalled());
    EXPECT_EQ(SuffixList::SettingsFileToWrite()->path, installed + QStringLiteral("/Korvani.ini"));
    // The installed folder by another name, through a link and "..", is the same folder.
    const QString link = top.filePath(QStringLiteral("link"));
    EXPECT_TRUE(QFile::link(installed, link));
    platform::Installation::setInstalledProgramFolder(link + QStringLiteral("/../korvani"));
    EXPECT_TRUE(platform::Installation::runsInstalled());
}

#else // installed by the installer, which leaves its mark in the program folder

TEST(SuffixListInstalled, OnWindowsTheInstallersMarkGivesEachUserACopyInTheirAppData) {
    QTemporaryDir top;
    const QString folder = top.filePath(QStringLiteral("Program Files/Korvani"));
    const QString shipped = layOutProgramFolder(folder);
    const QString mark = folder + u'/' + platform::Installation::installedMark();
    const QString appData = top.filePath(QStringLiteral("AppData/Roaming"));
    const QString own = appData + QStringLiteral("/Korvani/Korvani.ini");
    const QByteArray savedAppData = qgetenv("APPDATA");
    platform::Installation::setProgramFolder(folder);
    const struct Row {
        const char* name;
        bool markIsFile; // else a folder of that name
        bool hasAppData;
        bool installed;
        std::optional<SuffixList::SettingsTarget> target; // none: refused as BadPath
    } rows[] = {
        {"an unpacked zip", false, true, false, SuffixList::SettingsTarget{shipped, {}}},
        {"installed", true, true, true, SuffixList::SettingsTarget{own, shipped}},
        {"installed, no %APPDATA%", true, false, true, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(mark);
        QDir(mark).removeRecursively();
        if (row.markIsFile)
            writeFile(mark, "Korvani, installed for AllUsers\r\n");
        else
            ASSERT_TRUE(QDir().mkpath(mark));
        qputenv("APPDATA", row.hasAppData ? QDir::toNativeSeparators(appData).toUtf8() : "");
        EXPECT_EQ(platform::Installation::runsInstalled(), row.installed);
        EXPECT_EQ(SuffixList::SettingsFilePath(), shipped);
        const auto target = SuffixList::SettingsFileToWrite();
        ASSERT_EQ(target.ok(), row.target.has_value());
        if (row.target) {
            EXPECT_EQ(target->path, row.target->path);
            EXPECT_EQ(target->seedFrom, row.target->seedFrom);
        } else {
            EXPECT_EQ(target.status().failure, platform::FileFailure::BadPath);
        }
    }

    // Installed: the first change makes the user's copy from the shipped file, which stays
    // byte for byte; from then on the copy is read.
    qputenv("APPDATA", QDir::toNativeSeparators(appData).toUtf8());
    deleteThenAddInTheWindow();
    EXPECT_EQ(readFile(own), ownCopyAfterDeleteThenAdd);
    EXPECT_EQ(readFile(shipped), threeSuffixes);
    EXPECT_EQ(SuffixList::SettingsFilePath(), own);
    qputenv("APPDATA", savedAppData);
}

#endif

} // namespace
