#include "common/ModCommon.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(FilterNumberKey, KeepsDigitsAndBackspaceOnly) {
    for (char16_t c = u'0'; c <= u'9'; ++c)
        EXPECT_EQ(ModCommon::FilterNumberKey(c), c);
    EXPECT_EQ(ModCommon::FilterNumberKey(8), 8);
    for (char16_t c : {u'a', u'Z', u'-', u'+', u'.', u',', u' ', u'\r', u'\t', char16_t(22),
                       char16_t(0x0661), char16_t(0xFF11), char16_t(47), char16_t(58)})
        EXPECT_EQ(ModCommon::FilterNumberKey(c), 0) << int(c);
}

TEST(CutAtNul, CutsAtTheFirstNul) {
    EXPECT_EQ(ModCommon::CutAtNul(QStringLiteral("abc")), QStringLiteral("abc"));
    EXPECT_EQ(ModCommon::CutAtNul(QString::fromUtf16(u"ab\0cd\0", 6)), QStringLiteral("ab"));
    EXPECT_EQ(ModCommon::CutAtNul(QString::fromUtf16(u"\0x", 2)), QString());
    EXPECT_EQ(ModCommon::CutAtNul(QString()), QString());
}

TEST(CheckFileExists, TrueOnlyForFilesAndLinksToFiles) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    EXPECT_FALSE(ModCommon::CheckFileExists(QString()));
    EXPECT_FALSE(ModCommon::CheckFileExists(file));
    testsupport::writeFile(file, "x");
    EXPECT_TRUE(ModCommon::CheckFileExists(file));
    EXPECT_FALSE(ModCommon::CheckFileExists(dir.path()));
    const QString link = dir.filePath(QStringLiteral("l.txt"));
    ASSERT_TRUE(QFile::link(file, link));
    EXPECT_TRUE(ModCommon::CheckFileExists(link));
}

} // namespace
