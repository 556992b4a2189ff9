#include "i18n/ModTransLate.h"
#include "platform/AppTitle.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

namespace {

using testsupport::ProgramFolder;

TEST(LanguageFile, CodesPickTheirFilesAndOthersChangeNothing) {
    ProgramFolder folder;
    ModTransLate::SetLanguageFile(QStringLiteral("7"));
    EXPECT_TRUE(ModTransLate::LanguageFile().isEmpty());
    ModTransLate::SetLanguageFile(QStringLiteral("1"));
    EXPECT_EQ(ModTransLate::LanguageFile(),
              folder.path() + QStringLiteral("/language/Korvani_SC.ini"));
    ModTransLate::SetLanguageFile(QStringLiteral("2"));
    EXPECT_EQ(ModTransLate::LanguageFile(),
              folder.path() + QStringLiteral("/language/Korvani_TC.ini"));
    ModTransLate::SetLanguageFile(QStringLiteral(" 0"));
    EXPECT_TRUE(ModTransLate::LanguageFile().endsWith(QStringLiteral("Korvani_TC.ini")));
    ModTransLate::SetLanguageFile(QStringLiteral("0"));
    EXPECT_EQ(ModTransLate::LanguageFile(),
              folder.path() + QStringLiteral("/language/Korvani_EN.ini"));
}

TEST(ReadCatalogue, ReadsEveryEntryOfTheShippedFilesScopedBySection) {
    ProgramFolder folder;
    EXPECT_EQ(ModTransLate::ReadCatalogue(), platform::FileStatus{});
    const ModTransLate::Catalogue& t = ModTransLate::Text();
    EXPECT_EQ(t.SysGlobal.ProductName, QStringLiteral("Korvani"));
    EXPECT_EQ(platform::AppTitle::title(), QStringLiteral("Korvani"));
    EXPECT_EQ(t.frmMain.Start, QStringLiteral("Start"));
    // Two entries share the key Contact in different sections.
    EXPECT_EQ(t.frmMain.Contact, QStringLiteral("Contact"));
    EXPECT_NE(t.frmAbout.Contact, t.frmMain.Contact);
    for (const ModTransLate::Entry& entry : ModTransLate::Entries())
        EXPECT_FALSE(ModTransLate::Text(entry).isEmpty()) << entry.section << '/' << entry.key;
    ASSERT_TRUE(QFile::remove(folder.languageFile())); // gone: nothing is read
    EXPECT_EQ(ModTransLate::ReadCatalogue().failure, platform::FileFailure::NotFound);
    EXPECT_TRUE(t.frmMain.Start.isEmpty());
}

TEST(Catalogue, EveryEntryFillsATextOfItsOwn) {
    // The catalogue holds as many texts as there are entries (the code asserts it when
    // compiling): with none filled twice, every text is filled.
    ModTransLate::Catalogue catalogue;
    QSet<const QString*> texts;
    for (const ModTransLate::Entry& entry : ModTransLate::Entries())
        texts.insert(&entry.text(catalogue));
    EXPECT_EQ(texts.size(), qsizetype(ModTransLate::Entries().size()));
}

TEST(ReadCatalogue, FollowsTheProfileRulesForEachEntry) {
    ProgramFolder folder;
    const QByteArray value599(599, 'v');
    testsupport::writeFile(folder.languageFile(),
                           "\xEF\xBB\xBF[sysglobal]\r\nPRODUCTNAME =  \"Quoted Name\"  \r\n"
                           "[frmMain]\r\n; Start=commented\r\nstart=Go\r\nStart=Second\r\n"
                           "Stop=\r\nExit='x'\r\nHomePageLink=" +
                               value599 + "\r\nAdd=" + value599 +
                               "w\r\n"
                               "[frmHelp]\r\nHelpDesc=only the text\r\n");
    ASSERT_TRUE(ModTransLate::ReadCatalogue());
    const ModTransLate::Catalogue& t = ModTransLate::Text();
    EXPECT_EQ(t.SysGlobal.ProductName, QStringLiteral("Quoted Name"));
    EXPECT_EQ(platform::AppTitle::title(), QStringLiteral("Quoted Name"));
    EXPECT_EQ(t.frmMain.Start, QStringLiteral("Go"));
    EXPECT_TRUE(t.frmMain.Stop.isEmpty());
    EXPECT_EQ(t.frmMain.Exit, QStringLiteral("x"));
    EXPECT_EQ(t.frmMain.HomePageLink, QString::fromLatin1(value599));
    EXPECT_EQ(t.frmMain.Add, QString::fromLatin1(value599));
    EXPECT_TRUE(t.frmHelp.Help.isEmpty()); // the section lacks the key
    EXPECT_EQ(t.frmHelp.HelpDesc, QStringLiteral("only the text"));
    EXPECT_TRUE(t.frmAbout.Ok.isEmpty()); // the section is missing
    EXPECT_TRUE(t.frmMain.ProgramFileRefused.startsWith(QStringLiteral("This file is one of")));
}

TEST(ReadCatalogue, WithoutProductNameTheTitleBecomesEmpty) {
    ProgramFolder folder;
    testsupport::writeFile(folder.languageFile(), "[frmMain]\nStart=Go\n");
    EXPECT_EQ(ModTransLate::ReadCatalogue(), platform::FileStatus{}); // the file is there
    EXPECT_EQ(platform::AppTitle::title(), QString());
    EXPECT_EQ(ModTransLate::Text().frmMain.Start, QStringLiteral("Go"));
}

TEST(ReadLanguageText, GivesTheDefaultForMissingOrEmptyValues) {
    ProgramFolder folder;
    testsupport::writeFile(folder.languageFile(), "[A]\nkey=value\nempty=\n");
    ModTransLate::SetLanguageFile(QStringLiteral("0"));
    EXPECT_EQ(ModTransLate::ReadLanguageText("a", "KEY", "d"), QStringLiteral("value"));
    EXPECT_EQ(ModTransLate::ReadLanguageText("A", "empty", "d"), QStringLiteral("d"));
    EXPECT_EQ(ModTransLate::ReadLanguageText("A", "none", "d"), QStringLiteral("d"));
    EXPECT_EQ(ModTransLate::ReadLanguageText("B", "key", ""), QString());
}

} // namespace
