#include "app/AddressFormatter.h"
#include "common/OutputFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TEST(OutputFile, PrepareReplacesFilesButRefusesDirectoriesAndDevices) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("out.txt"));
    testsupport::writeFile(file, "old\r\n");
    EXPECT_EQ(OutputFile::prepare(file), OutputFile::Prepared::Ready);
    EXPECT_FALSE(QFile::exists(file));

    const QString target = dir.filePath(QStringLiteral("target.txt"));
    const QString link = dir.filePath(QStringLiteral("link.txt"));
    testsupport::writeFile(target, "kept\r\n");
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_EQ(OutputFile::prepare(link), OutputFile::Prepared::Ready);

    const QString sub = dir.filePath(QStringLiteral("folder"));
    ASSERT_TRUE(QDir().mkdir(sub));
    testsupport::writeFile(sub + QStringLiteral("/inside.txt"), "x");
    EXPECT_EQ(OutputFile::prepare(sub), OutputFile::Prepared::NotAFile);
    EXPECT_TRUE(QFile::exists(sub + QStringLiteral("/inside.txt")));
    // A special file of the test's own, never a system one.
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(OutputFile::prepare(fifo), OutputFile::Prepared::NotAFile);
    EXPECT_TRUE(QFileInfo::exists(fifo));
    EXPECT_EQ(OutputFile::prepare(dir.filePath(QStringLiteral("missing.txt"))),
              OutputFile::Prepared::Ready);
}

TEST(OutputFile, AppendsSlicesAndRollsBackAFailedOne) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    OutputFile file(path);
    ASSERT_TRUE(file.appendSlice("1@a\r\n", 5));
    ASSERT_TRUE(file.appendSlice("2@a\r\n", 5));
    EXPECT_EQ(testsupport::readFile(path), QByteArray("1@a\r\n2@a\r\n"));

    ASSERT_TRUE(file.open());
    ASSERT_EQ(file.write("3@a\r\n4@", 7), 7u);
    const WholeLines whole = CountWholeLines("3@a\r\n4@", 7);
    EXPECT_EQ(whole.count, 1);
    ASSERT_TRUE(file.cutBack(static_cast<qint64>(whole.bytes)));
    file.close();
    EXPECT_EQ(testsupport::readFile(path), QByteArray("1@a\r\n2@a\r\n3@a\r\n"));
    ASSERT_TRUE(file.open());
    ASSERT_EQ(file.write("4@", 2), 2u);
    ASSERT_TRUE(file.cutBack());
    file.close();
    EXPECT_EQ(testsupport::readFile(path), QByteArray("1@a\r\n2@a\r\n3@a\r\n"));

    OutputFile intoFolder(dir.path());
    EXPECT_FALSE(intoFolder.appendSlice("x\r\n", 3));
}

} // namespace
