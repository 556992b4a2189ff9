#include "app/SuffixList.h"

#include "app/MainWindowFixture.h"
#include "app/SettingsFileFixtures.h"
#include "app/SuffixFile.h"

#include "i18n/ModTransLate.h"
#include "platform/Desktop.h"
#include "profile/ProfileFile.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

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
    QString notSaved(const QString& reason) const { return text().ListNotSaved + u'\n' + reason; }

    testsupport::ProgramFolder folder_;
    QWidget window_;
    QComboBox* box_ = nullptr;
    QLineEdit* other_ = nullptr;
};

// ---------------------------------------------------------------------------
// Reading the list

const QStringList three{"b.com", "a.com", "c.com"};

// Loading fills the box in file order and selects the first; without a suffix it leaves
// the box empty and usable.
TEST_F(SuffixListTest, LoadingFillsTheBoxInFileOrder) {
    const struct {
        const char* what;
        QByteArray content; // none: no file
        QStringList items;
    } rows[] = {
        {"three", ThreeSuffixes, three},
        {"only the keys", "[Suffix]\r\nx.com=hand-made value\r\ny.com = \r\n", {"x.com", "y.com"}},
        {"a line without '='", "[Suffix]\r\na.com=\r\nno equals sign\r\nc.com=\r\n", {}},
        {"an empty section", "[Suffix]\r\n", {}},
        {"an empty file", "", {}},
        {"no file", {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        box_->addItems({"old", "items"});
        box_->setEditText(QStringLiteral("typed"));
        row.content.isNull() ? void(QFile::remove(settings())) : writeFile(settings(), row.content);
        SuffixList::LoadSuffixList(box_);
        EXPECT_EQ(items(*box_), row.items);
        EXPECT_EQ(box_->currentIndex(), row.items.isEmpty() ? -1 : 0);
        EXPECT_EQ(box_->currentText(), row.items.value(0));
        EXPECT_FALSE(takeMessage().has_value());
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
    const QByteArray added = ThreeSuffixes + "new.com=\r\n" + other;
    const QByteArray later = ThreeSuffixes + "later.com=\r\n";
    const QByteArray bad = "[Suffix]\r\nbad\x01key=\r\n";
    const QByteArray& file = ThreeSuffixes;
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
            expectWarning(notSaved(text().SaveRefused));
        } else if (row.message == success) {
            expectNotice(text().*row.message);
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
    load(ThreeSuffixes + "[Other]\r\nb.com=\r\n");
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
    load(ThreeSuffixes);
    for (const QString& typed : {QStringLiteral("missing.com"), QString(), QStringLiteral("b")}) {
        type(typed);
        SuffixList::btnDel_Click(box_);
        EXPECT_FALSE(takeMessage().has_value()) << typed.toStdString();
        EXPECT_EQ(items(*box_), (QStringList{"b.com", "a.com", "c.com"}));
        EXPECT_EQ(box_->currentText(), typed);
    }
    EXPECT_EQ(readFile(settings()), ThreeSuffixes);
}

// A change of the list that cannot be saved says so and why, for Add and for Delete; the
// list and the file stay as another program or nothing left them.
TEST_F(SuffixListTest, AChangeThatCannotBeSavedSaysWhy) {
    const QByteArray changed = ThreeSuffixes + "x.com=\r\n";
    const auto failing = [](int error) {
        return [error] {
            profile::ProfileFile::setFailingCall([error](const char* call) {
                return QByteArrayView(call) == "O_TMPFILE" || QByteArrayView(call) == "open" ? error
                                                                                             : 0;
            });
        };
    };
    const struct {
        const char* what;
        std::function<void()> fail;
        QString Texts::*reason;
        QByteArray after = ThreeSuffixes;
    } rows[] = {
        {"the disk is full", failing(ENOSPC), &Texts::SaveDiskFull},
        {"changed by another program meanwhile",
         [&] {
             profile::ProfileFile::setBeforeReplaceHook(
                 [&] { return writeFile(settings(), changed), true; });
         },
         &Texts::SaveChanged, changed},
        {"the drive refused it",
         [] { profile::ProfileFile::setBeforeReplaceHook([] { return false; }); },
         &Texts::SaveRefused},
    };
    for (const auto& row : rows) {
        for (const bool adding : {true, false}) {
            SCOPED_TRACE(testing::Message() << row.what << (adding ? ", Add" : ", Delete"));
            load(ThreeSuffixes);
            box_->setCurrentIndex(1);
            row.fail();
            adding ? add(QStringLiteral("new.com")) : SuffixList::btnDel_Click(box_);
            profile::ProfileFile::setFailingCall({});
            profile::ProfileFile::setBeforeReplaceHook({});
            expectWarning(notSaved(text().*row.reason));
            EXPECT_EQ(items(*box_), (QStringList{"b.com", "a.com", "c.com"}));
            EXPECT_EQ(readFile(settings()), row.after);
        }
    }
}

TEST_F(SuffixListTest, AReadOnlyFileChangesNeitherFileNorList) {
    load(ThreeSuffixes);
    // Read-only for all, in a folder open to all.
    ASSERT_TRUE(QFile::setPermissions(folder_.path(), QFile::Permissions(0x7777)) &&
                QFile::setPermissions(settings(), QFile::Permissions(0x4444)));
    {
        const AsUnprivilegedUser user;
        ASSERT_TRUE(user.active());
        add(QStringLiteral("new.com"));
        expectWarning(notSaved(text().SaveNoPermission));
        box_->setCurrentIndex(1);
        SuffixList::btnDel_Click(box_);
        expectWarning(notSaved(text().SaveNoPermission));
    }
    EXPECT_EQ(items(*box_), (QStringList{"b.com", "a.com", "c.com"}));
    EXPECT_EQ(box_->currentText(), "a.com");
    EXPECT_EQ(readFile(settings()), ThreeSuffixes);
}

// ---------------------------------------------------------------------------
// Through the main window's buttons

class SuffixListWindowTest : public MainWindowTest {
protected:
    QString settings() const { return folder->file(QStringLiteral("Korvani.ini")); }
    QStringList fileKeys() const {
        return SuffixFile::ReadSectionKeys(settings(), QStringLiteral("Suffix")).value();
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
    EXPECT_EQ(fileKeys(), QStringList());
    QTest::mouseClick(control<QPushButton>("btnDel"), Qt::LeftButton); // nothing left
    EXPECT_TRUE(window->isVisible());

    typeIntoBox(QStringLiteral("again.example"));
    QTest::mouseClick(control<QPushButton>("btnAdd"), Qt::LeftButton);
    EXPECT_EQ(items(*box), QStringList{"again.example"});
    EXPECT_EQ(fileKeys(), QStringList{"again.example"});
}

// ---------------------------------------------------------------------------
// Installed: the program folder is read-only, each user has a copy

// In the main window of the installed program, whose shipped file holds ThreeSuffixes:
// Delete a.com (no copy of the user's yet), then Add d.com; both succeed, in the user's
// copy, made from the shipped file, which stays byte for byte.
TEST(SuffixListInstalled, EachUserChangesOnlyTheirOwnCopyAndTheInstalledFileStays) {
    InstalledProgram program;
    ASSERT_TRUE(platform::Installation::runsInstalled());
    {
        const AsUnprivilegedUser user;
        ASSERT_TRUE(user.active());
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
    EXPECT_EQ(readFile(program.own), "[Suffix]\r\nb.com=\r\nc.com=\r\nd.com=\r\n");
    EXPECT_EQ(readFile(program.shipped), ThreeSuffixes);
}

} // namespace
