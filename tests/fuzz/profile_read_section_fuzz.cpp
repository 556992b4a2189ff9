// Fuzzes ProfileFile::readSection. The input is "section NUL body": the body becomes
// the file. With the full 32767-byte buffer and with small ones the list must stay
// inside the buffer, be NUL-separated entries ended by a further NUL, match the
// returned count and hold exactly the entries of the first matching section (as many
// whole ones as fit), as the plain model of the profile rules finds them.

#include "FuzzSupport.h"

#include "profile/ProfileFile.h"

#include <algorithm>
#include <cstring>
#include <memory>

using profile::ProfileFile;

namespace {

constexpr char Untouched = '\x5a';

// The entries of the first section of that name (as given), comments and empty keys
// without '=' left out.
std::vector<std::string> expectedEntries(std::string_view body, std::string_view section) {
    std::vector<std::string> entries;
    const auto sections = fuzz::parseModel(body);
    if (const fuzz::ModelSection* found = fuzz::modelFindSection(sections, section)) {
        for (const fuzz::ModelEntry& entry : found->entries) {
            if ((!entry.name.empty() && entry.name.front() == ';') ||
                (entry.name.empty() && !entry.hasEquals))
                continue;
            entries.push_back(entry.text());
        }
    }
    return entries;
}

// Reads into a heap block of exactly bufferSize bytes and splits the list.
std::vector<std::string> readChecked(const QString& path, QByteArrayView section, int bufferSize) {
    const auto buffer = std::make_unique<char[]>(static_cast<size_t>(bufferSize));
    std::memset(buffer.get(), Untouched, static_cast<size_t>(bufferSize));
    const int n = ProfileFile::readSection(path, section, buffer.get(), bufferSize);
    const char* b = buffer.get();
    if (bufferSize == 1) {
        FUZZ_CHECK(n == 0 && b[0] == '\0');
        return {};
    }
    // The list and its final NUL fit, and an empty list is two NULs.
    FUZZ_CHECK(n >= 0 && n <= bufferSize - 1);
    FUZZ_CHECK(b[n] == '\0');
    FUZZ_CHECK(n == 0 ? b[1] == '\0' : b[n - 1] == '\0');

    std::vector<std::string> entries;
    int pos = 0;
    while (pos < n) {
        const int length = static_cast<int>(std::strlen(b + pos));
        FUZZ_CHECK(length > 0);       // no empty entry: it would end the list early
        FUZZ_CHECK(pos + length < n); // every entry ends with its NUL before the count
        const std::string_view entry(b + pos, static_cast<size_t>(length));
        // No line break: CR LF, LF and a lone CR all end a line.
        FUZZ_CHECK(entry.find('\n') == std::string_view::npos);
        FUZZ_CHECK(entry.find('\r') == std::string_view::npos);
        entries.emplace_back(entry);
        pos += length + 1;
    }
    FUZZ_CHECK(pos == n);
    return entries;
}

bool isPrefix(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

size_t listSize(const std::vector<std::string>& entries, size_t count) {
    size_t bytes = 0;
    for (size_t i = 0; i < count; ++i)
        bytes += entries[i].size() + 1;
    return bytes;
}

// The entries a buffer of that size must hold: the longest run from the first one
// whose bytes, NULs and final NUL fit.
size_t fittingCount(const std::vector<std::string>& entries, int bufferSize) {
    size_t count = 0;
    while (count < entries.size() &&
           listSize(entries, count + 1) + 1 <= static_cast<size_t>(bufferSize))
        ++count;
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::ScratchFile file;
    const auto parts = fuzz::splitInput(data, size, 1);
    const QByteArrayView section = parts[0], body = parts[1];
    file.write(body);

    const std::vector<std::string> expected =
        expectedEntries(fuzz::toView(body), fuzz::toView(section));

    const std::vector<std::string> full =
        readChecked(file.path(), section, ProfileFile::SectionBufferSize);
    const size_t fullCount = fittingCount(expected, ProfileFile::SectionBufferSize);
    FUZZ_CHECK(full.size() == fullCount && isPrefix(full, expected));

    for (const int small : {1, 2, 3, 2 + static_cast<int>(size % 61)}) {
        const std::vector<std::string> cut = readChecked(file.path(), section, small);
        FUZZ_CHECK(cut.size() == fittingCount(expected, small) && isPrefix(cut, expected));
    }
    return 0;
}
