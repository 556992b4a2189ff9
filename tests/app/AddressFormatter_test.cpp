#include "app/AddressFormatter.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(AddressFormatter, PiecesOfARunAreItsAddressesWhateverTheSuffixOrTheLimitPerPiece) {
    // A run's pieces in turn, each limited to at most `limit` addresses, the suffix changed
    // at the piece `change` (to `next`): blocks served from the block before, and not.
    struct Row {
        std::int64_t first;
        std::int64_t count;
        std::int64_t limit;
        int change;
        std::string_view suffix;
        std::string_view next;
    };
    const std::string longSuffix(200, 's');
    const Row rows[] = {{1, 250'000, 250'000, -1, "example.com", ""},
                        {99'990'000, 30'000, 7'777, -1, "example.com", ""}, // across 10^8
                        {-25'000, 60'000, 60'000, 2, "ab", "example.com"},
                        {123'456, 100'000, 30'000, 1, "x", "x"},
                        {5'000'000, 50'000, 50'000, 3, "example.com", ""},
                        {7'000'000, 50'000, 50'000, 5, "example.com", "example.org"},
                        {2'147'400'000, 83'648, 100'000, -1, longSuffix, ""}};
    for (const auto& row : rows) {
        PieceFormatter pieces(4096 * 4);
        std::string made, expected;
        int piece = 0;
        for (std::int64_t done = 0; done < row.count; ++piece) {
            const std::string_view suffix =
                piece < row.change || row.change < 0 ? row.suffix : row.next;
            const std::int64_t first = row.first + done;
            const FormattedSlice slice =
                pieces.format(first, std::min(row.limit, row.count - done), suffix);
            ASSERT_GT(slice.count, 0) << row.first;
            made.append(pieces.data(), slice.bytes);
            for (std::int64_t n = first; n < first + slice.count; ++n)
                expected += std::to_string(n) + "@" + std::string(suffix) + "\r\n";
            done += slice.count;
        }
        EXPECT_TRUE(made == expected) << row.first;
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
