#include "app/SuffixFile.h"

#include "app/SettingsFileFixtures.h"

#include <optional>

namespace {

TEST(SuffixFile, ReadSectionKeysGivesTheKeysInFileOrder) {
    QTemporaryDir folder;
    const QString settings = folder.filePath(QStringLiteral("Korvani.ini"));
    const struct Row {
        const char* what;
        QByteArray content;              // none: no file
        std::optional<QStringList> keys; // none: the read fails (Unreadable)
    } rows[] = {
        {"in file order, without values and comments",
         "[suffix]\r\nb.com=\r\nA.com= a value\r\n; note\r\nc.com=\r\n",
         QStringList{"b.com", "A.com", "c.com"}},
        {"an empty section", "[Suffix]\r\n", QStringList()},
        {"no such section", "[Other]\r\na=\r\n", QStringList()},
        {"an entry without '=' fails the read", "[Suffix]\r\na.com=\r\nbroken\r\nc.com=\r\n", {}},
        {"no file", {}, QStringList()},
    };
    const platform::FileStatus unreadable{platform::FileFailure::Unreadable, EINVAL};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.content.isNull() ? void(QFile::remove(settings))
                             : testsupport::writeFile(settings, row.content);
        const auto read = SuffixFile::ReadSectionKeys(settings, QStringLiteral("Suffix"));
        EXPECT_EQ(read.value(), row.keys.value_or(QStringList()));
        EXPECT_EQ(read.status(), row.keys ? platform::FileStatus() : unreadable);
    }
}

// Installed, the shipped settings file is read until the user's own copy exists, which
// the first change makes from it; run from any other folder, the file beside the program.
TEST(SuffixFile, InstalledTheUsersOwnCopyIsChangedAndThenRead) {
    enum Target { Own, Beside, Refused };
    const struct Row {
        const char* what;
        void (InstalledProgram::*change)();
        bool installed;
        Target target; // Refused: BadPath
    } rows[] = {
        {"installed", nullptr, true, Own},
        {"no configuration folder", &InstalledProgram::loseConfigFolder, true, Refused},
        {"run from another folder", &InstalledProgram::runElsewhere, false, Beside},
#ifndef _WIN32
        {"the installed folder by another name", &InstalledProgram::nameThroughALink, true, Own},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        InstalledProgram program;
        if (row.change != nullptr)
            (program.*row.change)();
        EXPECT_EQ(platform::Application::runsInstalled(), row.installed);
        EXPECT_EQ(SuffixFile::SettingsFilePath(),
                  row.installed ? program.shipped : program.besideProgram);
        const auto target = SuffixFile::SettingsFileToWrite();
        EXPECT_EQ(target.status().failure, row.target == Refused ? platform::FileFailure::BadPath
                                                                 : platform::FileFailure::None);
        EXPECT_EQ(target->path, row.target == Refused ? QString()
                                : row.target == Own   ? program.own
                                                      : program.besideProgram);
        EXPECT_EQ(target->seedFrom, row.target == Own ? program.shipped : QString());
        if (row.target != Own)
            continue;
        EXPECT_TRUE(SuffixFile::AddKey(*target, SuffixFile::SuffixSection(), "e.com"));
        EXPECT_EQ(testsupport::readFile(program.shipped), ThreeSuffixes);
        EXPECT_EQ(testsupport::readFile(program.own), ThreeSuffixes + "e.com=\r\n");
        EXPECT_EQ(SuffixFile::SettingsFilePath(), program.own);
    }
}

} // namespace
