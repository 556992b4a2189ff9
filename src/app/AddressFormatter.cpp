#include "app/AddressFormatter.h"

#include <charconv>
#include <cstring>

FormattedSlice FormatAddresses(std::int64_t first, std::int64_t maxCount, std::string_view suffix,
                               char* out, std::size_t capacity) {
    FormattedSlice slice;
    const std::size_t tail = 1 + suffix.size() + 2; // "@", suffix, CR LF
    char* const end = out + capacity;
    char* p = out;
    for (std::int64_t n = first; slice.count < maxCount; ++n) {
        // Numbers stay within 32 bits: at most 11 characters with the sign.
        if (static_cast<std::size_t>(end - p) < 11 + tail)
            break;
        p = std::to_chars(p, end, n).ptr;
        *p++ = '@';
        std::memcpy(p, suffix.data(), suffix.size());
        p += suffix.size();
        *p++ = '\r';
        *p++ = '\n';
        ++slice.count;
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
