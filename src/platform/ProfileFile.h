#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

// Private-profile (INI) files with the rules of the Windows profile functions,
// on UTF-8 files (this platform's 8-bit code page):
// - section and key names match without regard to letter case; the first matching
//   section and the first matching key in it win;
// - lines are trimmed, blank lines skipped, lines starting with ';' are comments;
// - "[name]" opens a section; a key is the text before the first '=' (trimmed),
//   its value the rest (trimmed);
// - a UTF-8 byte-order mark at the start is skipped; CR LF and LF both end a line;
//   a NUL byte ends the text of its line (the rest of that line is ignored).
namespace platform {

class ProfileFile {
public:
    static constexpr int StringBufferSize = 600;
    static constexpr int SectionBufferSize = 32767;

    // Copies the value of key in section (a value enclosed in one pair of matching
    // ' or " loses them) into buffer, cut to bufferSize - 1 bytes and ended by a NUL.
    // When the file, section or key is missing the default is copied instead.
    // Returns the number of bytes copied, without the NUL.
    static int readString(const QString& path, QByteArrayView section, QByteArrayView key,
                          QByteArrayView defaultValue, char* buffer, int bufferSize);

    // Fills buffer with the entries of section in file order, each the trimmed text of
    // one line ("key=value", or the bare text of a line without '='), each ended by a
    // NUL, the list ended by a further NUL. Blank lines and comments are skipped.
    // Only entries that fit whole are copied. A missing file or section gives an
    // empty list (a NUL at the start). Returns the number of bytes before the final NUL.
    static int readSection(const QString& path, QByteArrayView section, char* buffer,
                           int bufferSize);

    // Sets the value of key in section: an existing key keeps its spelling and gets
    // the new value; a new key is appended at the end of its section; a missing
    // section is appended at the end of the file; a missing file is created.
    // Everything else in the file stays as it was. Returns 1 on success, 0 on failure.
    static int writeString(const QString& path, QByteArrayView section, QByteArrayView key,
                           QByteArrayView value);

    // Removes the line of key from section (key matched without regard to letter case,
    // blanks around it ignored). Returns 1 when a line was removed, 0 otherwise.
    static int deleteKey(const QString& path, QByteArrayView section, QByteArrayView key);

    // Writers hold an exclusive lock on the file path + ".lock" around reading and
    // replacing the file; a writer that cannot get it within this time fails (0).
    static constexpr int DefaultLockTimeoutMs = 5000;
    static void setLockTimeout(int milliseconds);

    // Test seam: runs after the new content is in the temporary file and before that
    // file replaces the settings file. Returning false makes the write fail there.
    static void setBeforeReplaceHook(std::function<bool()> hook);
};

} // namespace platform
