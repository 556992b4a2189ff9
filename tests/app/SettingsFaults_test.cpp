// A damaged settings file under the real main window: the window still opens, Add and
// Delete never claim a success they did not have, a failed write leaves the file
// byte for byte as it was, and a write that succeeds keeps every other byte.
#include "app/SuffixFile.h"
#include "app/frmMain.h"
#include "i18n/ModTransLate.h"
#include "i18n/WindowCaptions.h"
#include "platform/Desktop.h"
#include "profile/ProfileFile.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

using testsupport::randomBytes;
using testsupport::readFile;
using testsupport::writeFile;

class SettingsFaultsTest : public ::testing::Test {
protected:
    void TearDown() override { window_.reset(); }

    QString settings() const { return folder_.file(QStringLiteral("Korvani.ini")); }

    void openWindow() {
        ModTransLate::LoadLanguage();
        window_ = std::make_unique<frmMain>();
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }

    QComboBox* box() const { return window_->findChild<QComboBox*>(QStringLiteral("cbSuffix")); }
    QStringList items() const {
        QStringList list;
        for (int i = 0; i < box()->count(); ++i)
            list.append(box()->itemText(i));
        return list;
    }
    QStringList messages() const {
        QStringList texts;
        for (const platform::ShownMessage& m : platform::MessageBox::shown())
            texts << m.text;
        platform::MessageBox::clearShown();
        return texts;
    }

    void add(const QString& suffix) {
        box()->setEditText(suffix);
        QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("btnAdd")),
                          Qt::LeftButton);
    }
    void remove(int index) {
        box()->setCurrentIndex(index);
        QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("btnDel")),
                          Qt::LeftButton);
    }

    static const auto& text() { return ModTransLate::Text().frmMain; }
    static QString notSaved(const QString& reason) { return text().ListNotSaved + u'\n' + reason; }

    // Opens the window on content and checks that Add and Delete, failing at the
    // replace, change nothing and say that the list could not be saved; then that they work, giving
    // afterAdd and (after deleting the added suffix again) afterDelete.
    void exercise(const QByteArray& content, const QStringList& listed, const QByteArray& afterAdd,
                  const QByteArray& afterDelete) {
        writeFile(settings(), content);
        ASSERT_NO_FATAL_FAILURE(openWindow());
        EXPECT_TRUE(messages().isEmpty());
        EXPECT_EQ(items(), listed);

        profile::ProfileFile::setBeforeReplaceHook([] { return false; });
        add(QStringLiteral("new.example"));
        if (!listed.isEmpty())
            remove(0);
        EXPECT_EQ(messages(), QStringList(listed.isEmpty() ? 1 : 2, notSaved(text().SaveRefused)));
        EXPECT_EQ(items(), listed);
        EXPECT_TRUE(readFile(settings()) == content) << "a failed write changed the file";

        profile::ProfileFile::setBeforeReplaceHook({});
        add(QStringLiteral("new.example"));
        EXPECT_EQ(messages(), QStringList{text().AddSuccessfully});
        EXPECT_EQ(items(), listed + QStringList{QStringLiteral("new.example")});
        EXPECT_TRUE(readFile(settings()) == afterAdd) << "the add changed other bytes";
        remove(static_cast<int>(listed.size()));
        EXPECT_EQ(messages(), QStringList{text().DelSuccessfully});
        EXPECT_TRUE(readFile(settings()) == afterDelete) << "the delete changed other bytes";
        EXPECT_TRUE(window_->isVisible());
    }

    testsupport::ProgramFolder folder_;
    std::unique_ptr<frmMain> window_;
};

// A folder or another file that is not a regular one (a FIFO) where the file should be:
// the window opens (a FIFO does not block it), lists nothing, and Add and Delete fail,
// saying why, and change nothing.
TEST_F(SettingsFaultsTest, SomethingElseWhereTheFileShouldBe) {
    for (const bool special : {false, true}) {
        window_.reset();
        ASSERT_TRUE(QFile::remove(settings()) || QDir().rmdir(settings()));
        ASSERT_TRUE(special ? testsupport::makeSpecialFile(settings()) : QDir().mkdir(settings()));
        ASSERT_NO_FATAL_FAILURE(openWindow());
        EXPECT_TRUE(messages().isEmpty());
        EXPECT_EQ(box()->count(), 0);

        add(QStringLiteral("new.example"));
        EXPECT_EQ(messages(), QStringList{notSaved(text().SaveRefused)})
            << "a write claimed success";
        EXPECT_EQ(box()->count(), 0);
        box()->setEditText(QStringLiteral("new.example"));
        QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("btnDel")),
                          Qt::LeftButton);
        EXPECT_EQ(messages(), QStringList{notSaved(text().SaveRefused)});
        EXPECT_EQ(SuffixFile::ReadSectionKeys(settings(), "Suffix").status().failure,
                  platform::FileFailure::NotAFile);
        EXPECT_EQ(SuffixFile::AddKey({settings(), {}}, "Suffix", "x").failure,
                  platform::FileFailure::NotAFile);

        EXPECT_TRUE(QFileInfo::exists(settings()) && !QFileInfo(settings()).isFile());
        EXPECT_EQ(
            QDir(folder_.path())
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
            (QStringList{QStringLiteral("Korvani.ini"), QStringLiteral("language")}))
            << "something appeared beside it";
    }
}

TEST_F(SettingsFaultsTest, AFileWithoutANewlineAtTheEnd) {
    exercise("[Suffix]\r\na.com=\r\nb.com=", {"a.com", "b.com"},
             "[Suffix]\r\na.com=\r\nb.com=\r\nnew.example=\r\n",
             "[Suffix]\r\na.com=\r\nb.com=\r\n");
}

TEST_F(SettingsFaultsTest, AnotherSectionLastWithoutANewline) {
    exercise("[Suffix]\r\na.com=\r\n[Other]\r\nx=1", {"a.com"},
             "[Suffix]\r\na.com=\r\nnew.example=\r\n[Other]\r\nx=1",
             "[Suffix]\r\na.com=\r\n[Other]\r\nx=1");
}

TEST_F(SettingsFaultsTest, InvalidUtf8InKeys) {
    const QByteArray content = "[Suffix]\r\na.com=\r\nbad\xff\xfe.com=\r\nc\xc3.com=\r\n"
                               "[Other]\r\nk\x80=v\xff\r\n";
    const QByteArray added = "[Suffix]\r\na.com=\r\nbad\xff\xfe.com=\r\nc\xc3.com=\r\n"
                             "new.example=\r\n[Other]\r\nk\x80=v\xff\r\n";
    exercise(content, {"a.com", "bad\uFFFD\uFFFD.com", "c\uFFFD.com"}, added, content);

    // A listed suffix with broken bytes deletes its own line and nothing else.
    remove(1);
    EXPECT_EQ(messages(), QStringList{text().DelSuccessfully});
    EXPECT_EQ(readFile(settings()), QByteArray("[Suffix]\r\na.com=\r\nc\xc3.com=\r\n"
                                               "[Other]\r\nk\x80=v\xff\r\n"));
    EXPECT_EQ(items(), (QStringList{"a.com", "c\uFFFD.com"}));
}

TEST_F(SettingsFaultsTest, TenMegabytesOfRandomBytes) {
    const QByteArray content = randomBytes(10 * 1024 * 1024, 7);
    // The file's first line break decides the line ends of what is added.
    const qsizetype lf = content.indexOf('\n');
    const QByteArray eol = lf > 0 && content[lf - 1] == '\r' ? "\r\n" : "\n";
    const QByteArray kept = content + (content.endsWith('\n') ? "" : eol) + "[Suffix]" + eol;
    // Random bytes hold no section called Suffix: the list is empty.
    exercise(content, {}, kept + "new.example=" + eol, kept);
}

// A write that fails with the file changed all the same (its undo failed too) leaves the
// list showing what the file holds: the list is read again.
TEST_F(SettingsFaultsTest, AFailedWriteThatChangedTheFileListsWhatTheFileHolds) {
    writeFile(settings(), "[Suffix]\r\na.com=\r\nb.com=\r\n");
    ASSERT_NO_FATAL_FAILURE(openWindow());
    for (const bool adding : {true, false}) {
        const QByteArray left = adding ? "[Suffix]\r\na.com=\r\nb.com=\r\nnew.example=\r\n"
                                       : "[Suffix]\r\nb.com=\r\nnew.example=\r\n";
        profile::ProfileFile::setBeforeReplaceHook([&] {
            writeFile(settings(), left);
            return false;
        });
        adding ? add(QStringLiteral("new.example")) : remove(0);
        profile::ProfileFile::setBeforeReplaceHook({});
        EXPECT_EQ(messages(), QStringList{notSaved(text().SaveRefused)});
        EXPECT_EQ(items(), (adding ? QStringList{"a.com", "b.com", "new.example"}
                                   : QStringList{"b.com", "new.example"}));
    }
}

#ifndef _WIN32 // the disk fills up at a file-size limit (RLIMIT_FSIZE)
TEST_F(SettingsFaultsTest, ADiskFullWhileReplacingTheFileKeepsTheOldOne) {
    const QByteArray content = randomBytes(4 * 1024 * 1024, 11) + "\r\n[Suffix]\r\na.com=\r\n";
    writeFile(settings(), content);
    ASSERT_NO_FATAL_FAILURE(openWindow());
    EXPECT_EQ(items(), QStringList{"a.com"});

    // Through a temporary file, and in place (a folder that takes no temporary file):
    // the limit falls inside the new file, or just past the old one.
    const struct {
        bool inPlace;
        rlim_t limit;
    } rows[] = {{false, 1024 * 1024}, {true, static_cast<rlim_t>(content.size())}};
    for (const auto& row : rows) {
        profile::ProfileFile::setInPlaceOnly(row.inPlace);
        {
            const testsupport::Undo limit = testsupport::limitFileSize(row.limit);
            add(QStringLiteral("new.example"));
            if (!row.inPlace)
                remove(0); // in place, a shorter file needs no more space
        }

        EXPECT_EQ(messages(), QStringList(row.inPlace ? 1 : 2, notSaved(text().SaveRefused)))
            << "in place: " << row.inPlace;
        EXPECT_EQ(items(), QStringList{"a.com"});
        EXPECT_TRUE(readFile(settings()) == content) << "in place: " << row.inPlace;
        EXPECT_EQ(QDir(folder_.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("Korvani.ini")});
    }
}

#endif

} // namespace
