#include "app/AddressFormatter.h"

#include <charconv>
#include <cstring>

namespace {

// Writes the whole line of n at out; returns its length.
std::size_t formatLine(char* out, std::int64_t n, std::string_view suffix) {
    char* p = std::to_chars(out, out + 11, n).ptr;
    *p++ = '@';
    std::memcpy(p, suffix.data(), suffix.size());
    p += suffix.size();
    *p++ = '\r';
    *p++ = '\n';
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

} // namespace

FormattedSlice FormatAddresses(std::int64_t first, std::int64_t maxCount, std::string_view suffix,
                               char* out, std::size_t capacity) {
    FormattedSlice slice;
    const std::size_t tail = 1 + suffix.size() + 2; // "@", suffix, CR LF
    const std::size_t longest = LongestLine(suffix.size());
    if (maxCount <= 0 || capacity < longest)
        return slice;
    char* const end = out + capacity;
    char* p = out;
    // Only the first number is converted; each later line is the one before it with its
    // digits counted up in place.
    std::size_t line = formatLine(p, first, suffix);
    for (std::int64_t n = first + 1;; ++n) {
        char* const previous = p;
        p += line;
        if (++slice.count == maxCount || static_cast<std::size_t>(end - p) < longest)
            break;
        std::memcpy(p, previous, line);
        if (!countUp(p, line - tail))
            line = formatLine(p, n, suffix);
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
            1 + suffixBytes + 2;
        if (size - lines.bytes < line)
            return lines;
        lines.bytes += line;
        ++lines.count;
    }
}
