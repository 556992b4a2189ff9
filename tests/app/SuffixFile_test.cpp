#include "app/SuffixFile.h"

#include "app/SettingsFileFixtures.h"

namespace {

TEST(SuffixFile, ReadSectionKeysGivesTheKeysInFileOrder) {
    QTemporaryDir folder;
    const QString settings = folder.filePath(QStringLiteral("Korvani.ini"));
    using platform::FileFailure;
    const struct Row {
        const char* what;
        QByteArray content; // none: no file
        QStringList keys;
        FileFailure failure = FileFailure::None;
    } rows[] = {
        {"in order", "[suffix]\r\nb.com=\r\nA.com= v\r\n;x\r\nc.com=", {"b.com", "A.com", "c.com"}},
        {"an empty section", "[Suffix]\r\n", {}},
        {"no such section", "[Other]\r\na=\r\n", {}},
        {"no '=': the read fails", "[Suffix]\r\na.com=\r\nbad\r\n", {}, FileFailure::Unreadable},
        {"no file", {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.content.isNull() ? void(QFile::remove(settings))
                             : testsupport::writeFile(settings, row.content);
        const auto read = SuffixFile::ReadSectionKeys(settings, QStringLiteral("Suffix"));
        EXPECT_EQ(read.value(), row.keys);
        EXPECT_EQ(read.status().failure, row.failure);
        EXPECT_EQ(read.status().error, row.failure == FileFailure::None ? 0 : EINVAL);
    }
}

// Installed, the shipped settings file is read until the user's own copy exists, which
// the first change makes from it; run from any other folder, the file beside the program.
TEST(SuffixFile, InstalledTheUsersOwnCopyIsChangedAndThenRead) {
    using P = InstalledProgram;
    const struct Row {
        const char* what;
        void (P::*change)();
        bool installed;
        const QString P::*target; // none: refused (BadPath)
    } rows[] = {
        {"installed", nullptr, true, &P::own},
        {"no configuration folder", &P::loseConfigFolder, true, nullptr},
        {"run from another folder", &P::runElsewhere, false, &P::besideProgram},
#ifndef _WIN32
        {"the installed folder by another name", &P::nameThroughALink, true, &P::own},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        InstalledProgram program;
        if (row.change != nullptr)
            (program.*row.change)();
        EXPECT_EQ(platform::Installation::runsInstalled(), row.installed);
        EXPECT_EQ(SuffixFile::SettingsFilePath(),
                  row.installed ? program.shipped : program.besideProgram);
        const auto target = SuffixFile::SettingsFileToWrite();
        EXPECT_EQ(target.status().failure,
                  row.target ? platform::FileFailure::None : platform::FileFailure::BadPath);
        EXPECT_EQ(target->path, row.target ? program.*row.target : QString());
        EXPECT_EQ(target->seedFrom, row.target && row.installed ? program.shipped : QString());
        if (row.target != &P::own)
            continue;
        EXPECT_TRUE(SuffixFile::AddKey(*target, SuffixFile::SuffixSection(), "e.com"));
        EXPECT_EQ(testsupport::readFile(program.shipped), ThreeSuffixes);
        EXPECT_EQ(testsupport::readFile(program.own), ThreeSuffixes + "e.com=\r\n");
        EXPECT_EQ(SuffixFile::SettingsFilePath(), program.own);
    }
}

} // namespace
