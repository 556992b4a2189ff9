// A damaged language file at start-up: the real start-up routine reaches the main
// window every time, and every catalogue entry stays a sane text.
#include "app/Startup.h"
#include "app/frmMain.h"
#include "i18n/ModTransLate.h"
#include "platform/Desktop.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

using testsupport::randomBytes;
using testsupport::readFile;
using testsupport::writeFile;

QList<QString> allEntries() {
    QList<QString> texts;
    for (const ModTransLate::Entry& entry : ModTransLate::Entries())
        texts.append(ModTransLate::Text(entry));
    return texts;
}

class LanguageFaultsTest : public ::testing::Test {
protected:
    QString languageFile() const { return folder_.languageFile(); }
    QByteArray shipped() const {
        return readFile(QStringLiteral(KORVANI_SOURCE_DIR "/resources/language/Korvani_EN.ini"));
    }

    // Runs the start-up routine; it must reach a shown main window whose captions are
    // the catalogue's, every entry a text of at most 599 bytes read from one line.
    void startUp(const char* label) {
        window_.reset(Startup::Main());
        ASSERT_NE(window_, nullptr) << label;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get())) << label;
        const auto* start = window_->findChild<QPushButton*>(QStringLiteral("btnBuild"));
        ASSERT_NE(start, nullptr);
        EXPECT_EQ(start->text(), ModTransLate::Text().frmMain.Start) << label;
        EXPECT_EQ(window_->windowTitle(), ModTransLate::Text().SysGlobal.ProductName) << label;
        for (const QString& entry : allEntries()) {
            EXPECT_LE(entry.size(), 599) << label;
            if (!entry.contains(QChar::ReplacementCharacter)) {
                EXPECT_LE(entry.toUtf8().size(), 599) << label;
            }
            EXPECT_FALSE(entry.contains(QLatin1Char('\n')) || entry.contains(QLatin1Char('\r')) ||
                         entry.contains(QChar(u'\0')))
                << label;
        }
    }

    // Every entry empty, or its built-in text where it has one.
    static void expectBuiltInTextsOnly() {
        for (const ModTransLate::Entry& entry : ModTransLate::Entries())
            EXPECT_EQ(ModTransLate::Text(entry), ModTransLate::BuiltInText(entry)) << entry.key;
    }

    testsupport::ProgramFolder folder_;
    std::unique_ptr<frmMain> window_;
};

TEST_F(LanguageFaultsTest, MissingOrEmptyFileGivesEmptyOrBuiltInTexts) {
    ASSERT_TRUE(QFile::remove(languageFile()));
    ASSERT_NO_FATAL_FAILURE(startUp("missing"));
    ASSERT_EQ(platform::MessageBox::shown().size(), 1);
    EXPECT_EQ(platform::MessageBox::shown().front().icon, platform::MessageIcon::Warning);
    expectBuiltInTextsOnly();

    window_.reset();
    ModTransLate::ResetForTesting();
    platform::MessageBox::clearShown();
    writeFile(languageFile(), QByteArray());
    ASSERT_NO_FATAL_FAILURE(startUp("empty"));
    EXPECT_TRUE(platform::MessageBox::shown().isEmpty());
    expectBuiltInTextsOnly();
}

TEST_F(LanguageFaultsTest, TenMegabytesBeforeTheTextsAreReadThrough) {
    QByteArray padding;
    padding.reserve(10 * 1024 * 1024 + 64 * 1024);
    const QByteArray comment = "; " + QByteArray(1000, 'c') + "\r\n";
    for (int i = 0; padding.size() < 10 * 1024 * 1024; ++i) {
        padding += "[Padding" + QByteArray::number(i) + "]\r\nStart=not this one\r\n";
        for (int line = 0; line < 50; ++line)
            padding += comment;
    }
    writeFile(languageFile(), padding + shipped());
    ASSERT_NO_FATAL_FAILURE(startUp("10 MB"));
    EXPECT_EQ(ModTransLate::Text().frmMain.Start, QStringLiteral("Start"));
    EXPECT_EQ(ModTransLate::Text().SysGlobal.ProductName, QStringLiteral("Korvani"));
    EXPECT_TRUE(platform::MessageBox::shown().isEmpty());
}

TEST_F(LanguageFaultsTest, RandomBytes) {
    for (const unsigned seed : {1u, 2u, 3u}) {
        window_.reset();
        ModTransLate::ResetForTesting();
        // Random bytes, then random bytes inside the real sections' lines.
        const QByteArray noise = randomBytes(1024 * 1024, seed);
        writeFile(languageFile(), seed == 1 ? noise : shipped() + noise + "\r\n" + shipped());
        const std::string label = "random bytes, seed " + std::to_string(seed);
        ASSERT_NO_FATAL_FAILURE(startUp(label.c_str()));
        EXPECT_TRUE(platform::MessageBox::shown().isEmpty());
        if (seed != 1) {
            EXPECT_EQ(ModTransLate::Text().frmMain.Start, QStringLiteral("Start")) << label;
        }
    }
}

TEST_F(LanguageFaultsTest, AHundredThousandCharacterValueIsCut) {
    const QByteArray ascii(100'000, 'x');
    QByteArray twoByte, threeByte, fourByte;
    for (int i = 0; i < 100'000; ++i) {
        twoByte += "\xc3\xa9";          // é
        threeByte += "\xe6\xb1\x89";    // 汉
        fourByte += "\xf0\x9f\x99\x82"; // an emoji, two UTF-16 units
    }
    writeFile(languageFile(), "[SysGlobal]\r\nProductName=" + ascii + "\r\n[frmMain]\r\nStart=" +
                                  twoByte + "\r\nStop=" + threeByte + "\r\nExit=" + fourByte +
                                  "\r\nAdd=\"" + ascii + "\"\r\nDel=\"" + ascii + "\r\n");
    ASSERT_NO_FATAL_FAILURE(startUp("100,000 characters"));
    const auto& t = ModTransLate::Text();
    EXPECT_EQ(t.SysGlobal.ProductName, QString(599, QLatin1Char('x')));
    // A value is cut to its first 599 bytes, and never inside a character.
    EXPECT_EQ(t.frmMain.Start, QString::fromUtf8(twoByte.first(598)));
    EXPECT_EQ(t.frmMain.Stop, QString::fromUtf8(threeByte.first(597)));
    EXPECT_EQ(t.frmMain.Exit, QString::fromUtf8(fourByte.first(596)));
    // A quoted value loses its quotation marks before it is cut.
    EXPECT_EQ(t.frmMain.Add, QString(599, QLatin1Char('x')));
    // An opening quotation mark without its partner stays.
    EXPECT_EQ(t.frmMain.Del, QLatin1Char('"') + QString(598, QLatin1Char('x')));
}

TEST_F(LanguageFaultsTest, DuplicateSectionsAndKeysTakeTheFirst) {
    writeFile(languageFile(), "[frmMain]\r\nStart=First\r\nStart=Second key\r\n" + shipped() +
                                  "\r\n[SysGlobal]\r\nProductName=Later\r\n");
    ASSERT_NO_FATAL_FAILURE(startUp("duplicate sections"));
    const auto& t = ModTransLate::Text();
    EXPECT_EQ(t.frmMain.Start, QStringLiteral("First"));
    EXPECT_TRUE(t.frmMain.Stop.isEmpty()); // only the later frmMain section has it
    EXPECT_EQ(t.SysGlobal.ProductName, QStringLiteral("Korvani"));
    EXPECT_EQ(t.frmAbout.Ok, QStringLiteral("OK"));
}

} // namespace
