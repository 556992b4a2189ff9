#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
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

// Formats a run's addresses piece by piece into one buffer of its own, which it keeps for
// the whole run. A piece of positive numbers starts at a whole block (BlockLines numbers
// that share all digits above the block's own) where it can, and a block in the buffer
// serves the next one of as many digits: only the shared digits are written anew, a
// store of a few bytes a line into pages that stay warm.
class PieceFormatter {
public:
    // Pieces of at most pieceBytes bytes (or one longest line, when that is longer).
    explicit PieceFormatter(std::size_t pieceBytes) : pieceBytes_(pieceBytes) {}

    // Room before each piece for bytes that a caller carries over from the piece before
    // and writes with it.
    static constexpr std::size_t Headroom = 256 * 1024;

    // Formats the addresses first, first + 1, ... (at most maxCount) of the next piece.
    FormattedSlice format(std::int64_t first, std::int64_t maxCount, std::string_view suffix);
    // The piece, with Headroom bytes free before it.
    char* data() const { return storage_.get() + Headroom; }

private:
    std::size_t pieceBytes_;
    std::unique_ptr<char[]> storage_;
    std::size_t capacity_ = 0;
    std::string suffix_;          // the suffix of the lines in the buffer
    std::int64_t blockLines_ = 0; // numbers in a block for that suffix (a power of ten)
    std::int64_t heldFirst_ = -1; // the block the buffer holds: its first number, or -1
    std::size_t heldLine_ = 0;    // and its lines' length
};
