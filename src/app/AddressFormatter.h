#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Formats consecutive addresses "number@suffix" CR LF into a caller's buffer: no
// allocation, and only the first number is converted; the others are counted up.
struct FormattedSlice {
    std::int64_t count = 0; // addresses formatted
    std::size_t bytes = 0;  // bytes written to the buffer
};

// Formats the addresses first, first + 1, ... (at most maxCount) that fit whole into
// out[0, capacity).
FormattedSlice FormatAddresses(std::int64_t first, std::int64_t maxCount, std::string_view suffix,
                               char* out, std::size_t capacity);

// What ends every line of the output file: CR LF, as Windows' text files end their lines.
inline constexpr std::string_view LineEnd = "\r\n";

// Bytes of a line's tail after the digits: "@", suffix, line end.
constexpr std::size_t LineTail(std::size_t suffixBytes) {
    return 1 + suffixBytes + LineEnd.size();
}

// Bytes of the longest line for suffix: sign, ten digits, its tail.
constexpr std::size_t LongestLine(std::size_t suffixBytes) {
    return 1 + 10 + LineTail(suffixBytes);
}

// The whole addresses among the first `size` bytes of those FormatAddresses formats from
// first: how many, and their bytes. Counted by the lengths of the addresses, so a suffix
// holding a line break cannot make it count more.
struct WholeLines {
    std::int64_t count = 0;
    std::size_t bytes = 0;
};
WholeLines CountWholeAddresses(std::int64_t first, std::size_t suffixBytes, std::size_t size);
