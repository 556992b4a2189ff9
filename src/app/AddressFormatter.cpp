#include "app/AddressFormatter.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>

namespace {

// Writes the whole line of n at out; returns its length.
std::size_t formatLine(char* out, std::int64_t n, std::string_view suffix) {
    char* p = std::to_chars(out, out + 11, n).ptr;
    *p++ = '@';
    std::memcpy(p, suffix.data(), suffix.size());
    p += suffix.size();
    std::memcpy(p, LineEnd.data(), LineEnd.size());
    p += LineEnd.size();
    return static_cast<std::size_t>(p - out);
}

// Turns the decimal text of n - 1 into that of n, in place. False when n has another
// number of characters (9 to 10, -10 to -9, -1 to 0): the text is then to be written anew.
bool countUp(char* text, std::size_t size) {
    std::size_t i = size;
    if (text[0] != '-') {
        while (i > 0 && text[i - 1] == '9')
            text[--i] = '0';
        if (i == 0)
            return false;
        ++text[i - 1];
        return true;
    }
    // A negative number: its magnitude goes down by one, borrowing from the left.
    while (text[i - 1] == '0')
        text[--i] = '9';
    --text[i - 1];
    return !(i == 2 && text[1] == '0');
}

// A short line is held in registers as four words while only its last digit changes,
// and stored whole for each address: no call and no read of what was just written. The
// block may reach past the line; the lines that follow overwrite that.
constexpr std::size_t Block = 32;

// What to add to a word to count up the byte at `index` in it (the byte order of memory).
constexpr std::uint64_t byteOne(std::size_t index) {
    return std::uint64_t{1} << (8 *
                                (std::endian::native == std::endian::little ? index : 7 - index));
}

// Writes the lines of n, n + 1, ... that differ from the line of n (at out, `line` bytes,
// its last digit at `last`) only in that digit, as long as count < maxCount and the room
// before end holds a block and the longest line. Returns where they end.
char* writeLastDigitRun(char* out, std::size_t line, std::size_t last, bool negative,
                        char* const end, std::size_t longest, std::int64_t& count,
                        std::int64_t maxCount) {
    std::uint64_t w[4];
    std::memcpy(w, out, Block);
    std::uint64_t w0 = w[0], w1 = w[1], w2 = w[2], w3 = w[3];
    // Counting up, a negative number's last digit goes down (adding the two's complement
    // never borrows from the byte beside it while the digit is above '0').
    const std::uint64_t one = negative ? ~byteOne(last % 8) + 1 : byteOne(last % 8);
    const std::uint64_t s0 = last / 8 == 0 ? one : 0, s1 = last / 8 == 1 ? one : 0,
                        s2 = last / 8 == 2 ? one : 0, s3 = last / 8 == 3 ? one : 0;
    // "-1" becomes "0", which is written in full.
    const char stop = negative ? (last == 1 ? '1' : '0') : '9';
    std::int64_t steps = negative ? out[last] - stop : stop - out[last];
    char* p = out + line;
    ++count;
    while (steps-- > 0 && count < maxCount && static_cast<std::size_t>(end - p) >= longest &&
           static_cast<std::size_t>(end - p) >= Block) {
        w0 += s0;
        w1 += s1;
        w2 += s2;
        w3 += s3;
        std::memcpy(p, &w0, 8);
        std::memcpy(p + 8, &w1, 8);
        std::memcpy(p + 16, &w2, 8);
        std::memcpy(p + 24, &w3, 8);
        p += line;
        ++count;
    }
    return p;
}

// Lines come in blocks of a hundred numbers that share all digits but the last two. A
// block of positive numbers is the block before it with those shared digits (`prefix`,
// its first `size` bytes) written anew into each of its lines: one copy of the whole
// block, then one small store a line.
constexpr std::int64_t BlockNumbers = 100;

template <std::size_t Size>
void stampPrefix(char* out, std::int64_t lines, std::size_t line, const char* prefix) {
    for (std::int64_t i = 0; i < lines; ++i, out += line)
        std::memcpy(out, prefix, Size);
}

// Writes the first `size` bytes of each of `lines` lines (`line` bytes apart) anew.
void stampPrefix(char* out, std::int64_t lines, std::size_t line, const char* prefix,
                 std::size_t size) {
    switch (size) {
    case 1:
        return stampPrefix<1>(out, lines, line, prefix);
    case 2:
        return stampPrefix<2>(out, lines, line, prefix);
    case 3:
        return stampPrefix<3>(out, lines, line, prefix);
    case 4:
        return stampPrefix<4>(out, lines, line, prefix);
    case 5:
        return stampPrefix<5>(out, lines, line, prefix);
    case 6:
        return stampPrefix<6>(out, lines, line, prefix);
    case 7:
        return stampPrefix<7>(out, lines, line, prefix);
    case 8:
        return stampPrefix<8>(out, lines, line, prefix);
    default:
        for (std::int64_t i = 0; i < lines; ++i, out += line)
            std::memcpy(out, prefix, size);
    }
}

// The number of decimal digits of a positive n.
std::size_t digitCount(std::int64_t n) {
    std::size_t digits = 1;
    for (; n >= 10; n /= 10)
        ++digits;
    return digits;
}

// Whether the hundred lines before the line of n (at out) are the block before n's,
// each as long as n's line: n starts a block, the slice holds the block before, and no
// number of digits changes between them.
bool copiesBlockBefore(std::int64_t n, std::int64_t count) {
    if (n < 2 * BlockNumbers || n % BlockNumbers != 0 || count < BlockNumbers)
        return false;
    std::int64_t shared = n / BlockNumbers; // a power of ten has one digit more than the one before
    while (shared % 10 == 0)
        shared /= 10;
    return shared != 1;
}

} // namespace

FormattedSlice FormatAddresses(std::int64_t first, std::int64_t maxCount, std::string_view suffix,
                               char* out, std::size_t capacity) {
    FormattedSlice slice;
    const std::size_t tail = LineTail(suffix.size());
    const std::size_t longest = LongestLine(suffix.size());
    if (maxCount <= 0 || capacity < longest)
        return slice;
    char* const end = out + capacity;
    char* p = out;
    // Only the first number is converted; each later line is the one before it with its
    // digits counted up.
    std::size_t line = formatLine(p, first, suffix);
    for (;;) {
        // The line at p is that of first + slice.count, and is not counted yet.
        const std::size_t blockBytes = static_cast<std::size_t>(BlockNumbers) * line;
        if (copiesBlockBefore(first + slice.count, slice.count) &&
            maxCount - slice.count > BlockNumbers &&
            static_cast<std::size_t>(end - p) >= blockBytes + std::max(longest, Block)) {
            const std::size_t prefixSize = line - tail - 2; // all digits but the last two
            char prefix[24];
            std::memcpy(prefix, p, prefixSize);
            std::memcpy(p, p - blockBytes, blockBytes);
            stampPrefix(p, BlockNumbers, line, prefix, prefixSize);
            slice.count += BlockNumbers;
            p += blockBytes;
            // The line after the block: its last line's counted up (no carry beyond the
            // shared digits, which the block after counts up by one).
            std::memcpy(p, p - line, line);
            if (!countUp(p, line - tail))
                line = formatLine(p, first + slice.count, suffix);
            continue;
        }
        char* next = p + line;
        if (line <= Block && static_cast<std::size_t>(end - p) >= Block)
            next = writeLastDigitRun(p, line, line - tail - 1, *p == '-', end, longest, slice.count,
                                     maxCount);
        else
            ++slice.count;
        if (slice.count == maxCount || static_cast<std::size_t>(end - next) < longest) {
            p = next;
            break;
        }
        // The next line needs a carry, a borrow or another number of digits.
        const char* const previous = next - line;
        p = next;
        std::memmove(p, previous, line);
        if (!countUp(p, line - tail))
            line = formatLine(p, first + slice.count, suffix);
    }
    slice.bytes = static_cast<std::size_t>(p - out);
    return slice;
}

WholeLines CountWholeAddresses(std::int64_t first, std::size_t suffixBytes, std::size_t size) {
    WholeLines lines;
    char digits[24];
    for (std::int64_t n = first;; ++n) {
        const std::size_t line =
            static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, n).ptr -
                                     digits) +
            LineTail(suffixBytes);
        if (size - lines.bytes < line)
            return lines;
        lines.bytes += line;
        ++lines.count;
    }
}

FormattedSlice PieceFormatter::format(std::int64_t first, std::int64_t maxCount,
                                      std::string_view suffix) {
    const std::size_t longest = LongestLine(suffix.size());
    if (suffix != suffix_ || storage_ == nullptr) {
        // A new suffix: nothing in the buffer serves, and the block fits the piece.
        suffix_.assign(suffix);
        capacity_ = std::max(pieceBytes_, longest);
        storage_ = std::make_unique<char[]>(Headroom + capacity_);
        blockLines_ = 1;
        while (blockLines_ < 10'000 &&
               static_cast<std::size_t>(blockLines_) * 10 * longest <= capacity_)
            blockLines_ *= 10;
        heldFirst_ = -1;
    }
    if (maxCount <= 0)
        return {};
    const std::int64_t block = blockLines_;
    if (heldFirst_ >= 0 && first > 0 && first % block == 0 && maxCount >= block) {
        const std::size_t digits = digitCount(first);
        const std::size_t line = digits + LineTail(suffix.size());
        // A block never holds a power of ten but as its first number, so the block held
        // and this one have as many digits when their lines are as long.
        if (line == heldLine_) {
            // Only the shared digits change.
            char shared[24];
            const std::size_t sharedSize = static_cast<std::size_t>(
                std::to_chars(shared, shared + sizeof shared, first / block).ptr - shared);
            stampPrefix(data(), block, line, shared, sharedSize);
            heldFirst_ = first;
            return {block, static_cast<std::size_t>(block) * line};
        }
    }
    // Formatted in full, up to the next whole block (from zero on) so that the pieces after
    // it start on whole blocks.
    std::int64_t count = maxCount;
    if (first < 0)
        count = std::min(count, -first);
    else
        count = std::min(count, block - first % block);
    const FormattedSlice slice = FormatAddresses(first, count, suffix, data(), capacity_);
    heldFirst_ = -1;
    if (block >= 10 && first > 0 && first % block == 0 && slice.count == block &&
        slice.bytes ==
            static_cast<std::size_t>(block) * (digitCount(first) + LineTail(suffix.size()))) {
        heldFirst_ = first;
        heldLine_ = slice.bytes / static_cast<std::size_t>(block);
    }
    return slice;
}
