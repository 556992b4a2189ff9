// Fuzzes ProfileFile::readString. The input is "section NUL key NUL default NUL body":
// the body becomes the file, the rest are the arguments. The read must stay inside its
// buffer, end the text with a NUL at the returned length and return what the plain
// model of the profile rules finds, cut to the buffer.

#include "FuzzSupport.h"

#include "profile/ProfileFile.h"

#include <algorithm>
#include <cstring>
#include <memory>

using profile::ProfileFile;

namespace {

constexpr char Untouched = '\x5a';

std::string_view withoutQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The value the rules give: the key's value (one pair of matching quotes removed), or
// for a missing key or one without '=' the default (trailing spaces but a first
// character removed, then one pair of quotes).
std::string expectedValue(std::string_view body, std::string_view section, std::string_view key,
                          std::string_view defaultValue) {
    const auto sections = fuzz::parseModel(body);
    if (const fuzz::ModelSection* found =
            fuzz::modelFindSection(sections, fuzz::modelTrim(section))) {
        key = fuzz::modelTrim(key);
        for (const fuzz::ModelEntry& entry : found->entries) {
            if (!fuzz::modelNamesEqual(entry.name, key))
                continue;
            if (entry.hasEquals)
                return std::string(withoutQuotes(entry.value));
            break;
        }
    }
    while (defaultValue.size() > 1 && defaultValue.back() == ' ')
        defaultValue.remove_suffix(1);
    return std::string(withoutQuotes(defaultValue));
}

// Reads into a heap block of exactly bufferSize bytes (AddressSanitizer catches any
// write past it) and checks the text and the bytes after its NUL.
std::string readChecked(const QString& path, QByteArrayView section, QByteArrayView key,
                        QByteArrayView defaultValue, int bufferSize) {
    const auto buffer = std::make_unique<char[]>(static_cast<size_t>(bufferSize));
    std::memset(buffer.get(), Untouched, static_cast<size_t>(bufferSize));
    const int n =
        ProfileFile::readString(path, section, key, defaultValue, buffer.get(), bufferSize);
    FUZZ_CHECK(n >= 0 && n <= bufferSize - 1);
    FUZZ_CHECK(buffer[static_cast<size_t>(n)] == '\0');
    for (int i = n + 1; i < bufferSize; ++i)
        FUZZ_CHECK(buffer[static_cast<size_t>(i)] == Untouched);
    return std::string(buffer.get(), static_cast<size_t>(n));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::ScratchFile file;
    const auto parts = fuzz::splitInput(data, size, 3);
    const QByteArrayView section = parts[0], key = parts[1], defaultValue = parts[2];
    const QByteArrayView body = parts[3];
    file.write(body);

    const std::string expected = expectedValue(fuzz::toView(body), fuzz::toView(section),
                                               fuzz::toView(key), fuzz::toView(defaultValue));

    const int full = ProfileFile::StringBufferSize;
    const std::string read = readChecked(file.path(), section, key, defaultValue, full);
    FUZZ_CHECK(read == expected.substr(0, static_cast<size_t>(full - 1)));

    // A small buffer gets the same text, cut shorter.
    const int small = 1 + static_cast<int>(size % 13);
    const std::string cut = readChecked(file.path(), section, key, defaultValue, small);
    FUZZ_CHECK(cut == read.substr(0, static_cast<size_t>(small - 1)));
    return 0;
}
