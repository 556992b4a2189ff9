#include "app/AddressFormatter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string format(std::int64_t first, std::int64_t count, std::string_view suffix) {
    std::vector<char> buffer(static_cast<std::size_t>(count) * LongestLine(suffix.size()) + 64);
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
    // Across every change in the number of digits, both signs, and zero; and across blocks
    // of a hundred copied from the block before, short lines and long.
    const struct {
        std::int64_t first;
        std::int64_t count;
        std::string_view suffix;
    } rows[] = {
        {-2147483648LL, 28, "ab"}, {-1000002LL, 28, "ab"},
        {-102LL, 28, "ab"},        {-12LL, 28, "ab"},
        {-3LL, 28, "ab"},          {7LL, 28, "ab"},
        {97LL, 28, "ab"},          {999997LL, 28, "ab"},
        {2147483620LL, 28, "ab"},  {-1250LL, 2600, "ab"},
        {1LL, 1200, "ab"},         {9899LL, 1000, ""},
        {99999950LL, 700, "ab"},   {2147481647LL, 2001, "a-suffix-longer-than-a-word.example"}};
    for (const auto& row : rows) {
        std::string expected;
        for (std::int64_t n = row.first; n < row.first + row.count; ++n)
            expected += std::to_string(n) + "@" + std::string(row.suffix) + "\r\n";
        EXPECT_EQ(format(row.first, row.count, row.suffix), expected) << row.first;
    }
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

TEST(AddressFormatter, CountsTheWholeAddressesAmongTheBytesThatReachedTheFile) {
    struct Row {
        std::int64_t first;
        std::string_view suffix;
        std::size_t size;
        std::int64_t count;
        std::size_t bytes;
    };
    // "9@a\r\n" is 5 bytes, "10@a\r\n" 6; a line break in the suffix counts for nothing.
    for (const Row row : {Row{9, "a", 0, 0, 0}, Row{9, "a", 4, 0, 0}, Row{9, "a", 5, 1, 5},
                          Row{9, "a", 10, 1, 5}, Row{9, "a", 11, 2, 11}, Row{-1, "a", 11, 2, 11},
                          Row{1, "e\nx", 6, 0, 0}, Row{1, "e\nx", 7, 1, 7}}) {
        const WholeLines kept = CountWholeAddresses(row.first, row.suffix.size(), row.size);
        EXPECT_EQ(kept.count, row.count) << row.first << " " << row.size;
        EXPECT_EQ(kept.bytes, row.bytes) << row.first << " " << row.size;
    }
}

} // namespace
