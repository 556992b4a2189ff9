#include "app/AddressFormatter.h"
#include "common/OutputFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

std::string format(std::int64_t first, std::int64_t count, std::string_view suffix) {
    std::vector<char> buffer(4096);
    const FormattedSlice slice =
        FormatAddresses(first, count, suffix, buffer.data(), buffer.size());
    EXPECT_EQ(slice.count, count);
    return std::string(buffer.data(), slice.bytes);
}

TEST(AddressFormatter, FormsDigitsAtSuffixAndCrLf) {
    EXPECT_EQ(format(7, 3, "example.com"), "7@example.com\r\n8@example.com\r\n9@example.com\r\n");
    EXPECT_EQ(format(-1, 3, "s"), "-1@s\r\n0@s\r\n1@s\r\n");
    EXPECT_EQ(format(5, 1, ""), "5@\r\n");
    EXPECT_EQ(format(2147483647, 1, "x"), "2147483647@x\r\n");
    EXPECT_EQ(format(-2147483648LL, 1, "x"), "-2147483648@x\r\n");
}

TEST(AddressFormatter, StopsBeforeALineThatWouldNotFitWhole) {
    char buffer[40];
    const FormattedSlice slice = FormatAddresses(1000, 100, "abc", buffer, sizeof buffer);
    // Each line "1000@abc\r\n" is 10 bytes; only whole lines that surely fit are written.
    EXPECT_GT(slice.count, 0);
    EXPECT_LE(slice.bytes, sizeof buffer);
    EXPECT_EQ(slice.bytes % 10, 0u);
    EXPECT_EQ(std::string(buffer, 10), "1000@abc\r\n");
}

TEST(AddressFormatter, FormatsALineOnlyWhenTheBufferHoldsTheLongestOne) {
    EXPECT_GE(LongestLine(11), sizeof("-2147483648@example.com\r\n") - 1);
    const std::size_t longest = LongestLine(11);
    struct Row {
        std::size_t capacity;
        std::int64_t count;
    };
    // The longest line fits exactly; one byte less takes nothing.
    for (const Row row : {Row{8, 0}, Row{longest - 1, 0}, Row{longest, 1}, Row{2 * longest, 2}}) {
        // On the heap, sized exactly, so that the sanitizer sees a byte written past it.
        std::vector<char> buffer(row.capacity);
        const FormattedSlice slice =
            FormatAddresses(-2147483648LL, 5, "example.com", buffer.data(), buffer.size());
        EXPECT_EQ(slice.count, row.count) << row.capacity;
        EXPECT_EQ(slice.bytes, static_cast<std::size_t>(row.count) * longest) << row.capacity;
    }
}

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
