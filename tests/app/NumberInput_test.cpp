#include "app/NumberInput.h"

#include <gtest/gtest.h>

namespace {

NumberText::Kind kindOf(const char* text) {
    return ParseNumberText(QString::fromUtf8(text)).kind;
}

std::int32_t valueOf(const char* text) {
    const NumberText n = ParseNumberText(QString::fromUtf8(text));
    EXPECT_EQ(n.kind, NumberText::Kind::Number) << text;
    EXPECT_TRUE(n.fitsInt32) << text;
    return n.value;
}

TEST(NumberInput, EmptyAndBlankTextIsEmpty) {
    EXPECT_EQ(kindOf(""), NumberText::Kind::Empty);
    EXPECT_EQ(kindOf("   "), NumberText::Kind::Empty);
}

TEST(NumberInput, AcceptsDigitsSignsAndBlanksAround) {
    EXPECT_EQ(valueOf("007"), 7);
    EXPECT_EQ(valueOf("  42 "), 42);
    EXPECT_EQ(valueOf("+5"), 5);
    EXPECT_EQ(valueOf("-17"), -17);
    EXPECT_EQ(valueOf("2147483647"), 2147483647);
    EXPECT_EQ(valueOf("-2147483648"), std::numeric_limits<std::int32_t>::min());
}

TEST(NumberInput, RejectsEverythingElse) {
    for (const char* text :
         {"abc", "1a", "1 2", "--1", "+", "-", ".", "1,5", "1e3", "0x10", "1.2.3", "١٢", "1.5x"})
        EXPECT_EQ(kindOf(text), NumberText::Kind::NotNumber) << text;
}

TEST(NumberInput, FractionsRoundToNearestAndHalvesToEven) {
    EXPECT_EQ(valueOf("2.4"), 2);
    EXPECT_EQ(valueOf("2.6"), 3);
    EXPECT_EQ(valueOf("2.5"), 2);
    EXPECT_EQ(valueOf("3.5"), 4);
    EXPECT_EQ(valueOf("2.50"), 2); // zeros after the 5 keep it an exact half
    EXPECT_EQ(valueOf("-2.500"), -2);
    EXPECT_EQ(valueOf("2.50000000000000000001"), 3);
    EXPECT_EQ(valueOf("-2.5"), -2);
    EXPECT_EQ(valueOf("-3.5"), -4);
    EXPECT_EQ(valueOf(".5"), 0);
    EXPECT_EQ(valueOf("7."), 7);
}

TEST(NumberInput, NumbersOutsideThirtyTwoBitsAreNumbersThatDoNotFit) {
    for (const char* text : {"99999999999", "2147483648", "-2147483649", "2147483647.5",
                             "123456789012345678901234567890"}) {
        const NumberText n = ParseNumberText(QString::fromUtf8(text));
        EXPECT_EQ(n.kind, NumberText::Kind::Number) << text;
        EXPECT_FALSE(n.fitsInt32) << text;
    }
    EXPECT_EQ(valueOf("2147483646.5"), 2147483646);
}

} // namespace
