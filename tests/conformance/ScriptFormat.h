#pragma once

// The operation scripts and result lines shared by the reference program (built for
// Windows) and our driver: one operation a line, fields separated by spaces, each
// field's bytes escaped so that any byte fits.
//
//   F <path>                          the file the next operations work on
//   S <section> <key> <default> <size>  read one value with a buffer of <size> bytes
//   L <section> <size>                read a section's list with a buffer of <size> bytes
//   W <section> <key> <value>         write a value
//   D <section> <key>                 delete a key
//
// Each operation but F prints one line: "<number> <code> ret=<result> buf=<bytes>",
// a write or a delete adding " file=<the file's bytes>" ("file=-" when there is none).
// <bytes> are the buffer's bytes up to and including the NUL that ends the text (for
// a list: the NUL that ends the list).

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace conformance {

inline std::string escape(const char* data, size_t size) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if (c > 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

inline std::string escape(const std::string& text) {
    return escape(text.data(), text.size());
}

inline int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

inline std::string unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] == 'x' &&
            hexValue(field[i + 2]) >= 0 && hexValue(field[i + 3]) >= 0) {
            out += static_cast<char>(hexValue(field[i + 2]) * 16 + hexValue(field[i + 3]));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

struct Operation {
    char code = 0;
    std::vector<std::string> fields; // unescaped
};

// Reads the next operation; false at the end of the script.
inline bool nextOperation(std::FILE* script, Operation& op) {
    std::string line;
    for (int c = std::fgetc(script); c != EOF && c != '\n'; c = std::fgetc(script))
        line += static_cast<char>(c);
    if (line.empty() && std::feof(script))
        return false;
    op = Operation{};
    size_t pos = 0;
    while (pos <= line.size()) {
        const size_t space = line.find(' ', pos);
        const std::string field =
            line.substr(pos, space == std::string::npos ? std::string::npos : space - pos);
        if (op.code == 0)
            op.code = field.empty() ? '?' : field[0];
        else
            op.fields.push_back(unescape(field));
        if (space == std::string::npos)
            break;
        pos = space + 1;
    }
    return true;
}

// Opens the script named by the only argument; null (with a message) when it cannot.
inline std::FILE* openScript(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <script>\n", argc > 0 ? argv[0] : "program");
        return nullptr;
    }
    std::FILE* script = std::fopen(argv[1], "rb");
    if (script == nullptr)
        std::perror(argv[1]);
    return script;
}

// The byte a buffer is filled with before each read: what a read leaves alone shows.
constexpr char Untouched = '\xaa';

// The bytes of a string read's buffer to print: the text and its NUL.
inline size_t stringBytes(const std::vector<char>& buffer, int result) {
    return std::min(buffer.size(), static_cast<size_t>(result < 0 ? 0 : result) + 1);
}

// The bytes of a section read's buffer to print: the list and the NUL that ends it
// (an empty list is two NULs).
inline size_t listBytes(const std::vector<char>& buffer, int result) {
    const size_t n = result <= 0 ? 2 : static_cast<size_t>(result) + 1;
    return std::min(buffer.size(), n);
}

} // namespace conformance
