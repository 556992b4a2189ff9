#include "update/VersionNumber.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

TEST(VersionNumberTest, FormsTheNumberFromMajorMinorAndRevision) {
    EXPECT_EQ(VersionNumber::FromParts(1, 4, 0), 1.4f);    // "1.40"
    EXPECT_EQ(VersionNumber::FromParts(1, 4, 12), 1.412f); // "1.412"
    EXPECT_EQ(VersionNumber::FromParts(2, 0, 0), 2.0f);    // "2.00"
    EXPECT_EQ(VersionNumber::FromParts(1, 10, 3), 1.103f); // "1.103"
    EXPECT_EQ(VersionNumber::FromParts(0, 9, 1), 0.91f);   // "0.91"
}

TEST(VersionNumberTest, ReadsOneNumberWithBlanksAndLineEndsAround) {
    EXPECT_EQ(VersionNumber::Parse(u"1.5"), 1.5f);
    EXPECT_EQ(VersionNumber::Parse(u" 1.5 \r\n"), 1.5f);
    EXPECT_EQ(VersionNumber::Parse(u"\t2\n"), 2.0f);
    EXPECT_EQ(VersionNumber::Parse(u"1.05"), 1.05f);
    EXPECT_EQ(VersionNumber::Parse(u"1.412"), 1.412f);
}

TEST(VersionNumberTest, RejectsTextThatIsNotExactlyOneNumber) {
    for (const char16_t* text : {u"", u"  \r\n", u"abc", u"1.5abc", u"v1.5", u"1.5 1.6", u"1,5",
                                 u"1.5.2", u"nan", u"inf", u"1e39", u"<html>404</html>"}) {
        EXPECT_FALSE(VersionNumber::Parse(text).has_value())
            << QString::fromUtf16(text).toStdString();
    }
}

TEST(VersionNumberTest, TheDecimalPointIsAlwaysAFullStop) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(VersionNumber::Parse(u"1.5"), 1.5f);
    EXPECT_FALSE(VersionNumber::Parse(u"1,5").has_value());
    EXPECT_EQ(VersionNumber::ToText(1.5f), QStringLiteral("1.5"));
    EXPECT_EQ(VersionNumber::FromParts(1, 4, 0), 1.4f);
    QLocale::setDefault(before);
}

TEST(VersionNumberTest, WritesTheShortestForm) {
    EXPECT_EQ(VersionNumber::ToText(1.5f), QStringLiteral("1.5"));
    EXPECT_EQ(VersionNumber::ToText(2.0f), QStringLiteral("2"));
    EXPECT_EQ(VersionNumber::ToText(1.05f), QStringLiteral("1.05"));
    EXPECT_EQ(VersionNumber::ToText(1.4f), QStringLiteral("1.4"));
    EXPECT_EQ(VersionNumber::ToText(1.412f), QStringLiteral("1.412"));
    EXPECT_EQ(VersionNumber::ToText(10.0f), QStringLiteral("10"));
    EXPECT_EQ(VersionNumber::ToText(1.2345678f), QStringLiteral("1.234568"));  // seven digits
    EXPECT_EQ(VersionNumber::ToText(12345678.0f), QStringLiteral("12345680")); // no exponent
    EXPECT_EQ(VersionNumber::ToText(0.91f), QStringLiteral("0.91")); // a zero before the point
    EXPECT_EQ(VersionNumber::ToText(0.0000001f), QStringLiteral("0.0000001"));
    EXPECT_EQ(VersionNumber::ToText(-1.5f), QStringLiteral("-1.5"));
    EXPECT_EQ(VersionNumber::ToText(3.402823e38f),
              QStringLiteral("340282300000000000000000000000000000000"));
    EXPECT_EQ(VersionNumber::ToText(0.0f), QStringLiteral("0"));
}

TEST(VersionNumberTest, ComparesInSinglePrecision) {
    // 1.05 is an older version than 1.4, and 1.40 is the same as 1.4.
    EXPECT_LT(*VersionNumber::Parse(u"1.05"), VersionNumber::FromParts(1, 4, 0));
    EXPECT_FALSE(VersionNumber::FromParts(1, 4, 0) < *VersionNumber::Parse(u"1.40"));
    EXPECT_LT(VersionNumber::FromParts(1, 4, 0), *VersionNumber::Parse(u"1.41"));
}

} // namespace
