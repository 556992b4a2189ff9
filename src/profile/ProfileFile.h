#pragma once

#include "platform/FileStatus.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

// Private-profile (INI) files with the rules of the Windows profile functions,
// on UTF-8 files (this platform's 8-bit code page):
// - CR LF, LF and a lone CR each end a line; blanks (tab, LF, VT, FF, CR, space and
//   Ctrl-Z) around a line are ignored, blank lines skipped; a UTF-8 byte-order mark at
//   the start is skipped;
// - a line starting with '[' and holding a ']' opens a section; its name is the text
//   up to the last ']' (trimmed); a '[' line without ']' is an ordinary line;
// - any other line is an entry: its key is the text before the first '=' (trimmed),
//   its value the rest (trimmed); a line without '=' is a key without a value; a line
//   starting with ';' is a comment, an entry that section reads leave out;
// - an entry with an empty key directly after another one with an empty key is no
//   entry at all; lines before the first section form a section with an empty name;
// - section and key names match without regard to letter case; the first matching
//   section and the first matching key in it win;
// - a NUL byte ends a name or a value (as it ends the strings of the Windows functions).
namespace profile {

class ProfileFile {
public:
    static constexpr int StringBufferSize = 600;
    static constexpr int SectionBufferSize = 32767;

    // Copies the value of key in section (a value enclosed in one pair of matching
    // ' or " loses them) into buffer, cut to bufferSize - 1 bytes and ended by a NUL.
    // Section and key are trimmed. When the file, section, key or the key's '=' is
    // missing the default is copied instead (less trailing spaces, and less one pair
    // of enclosing quotes). Returns the number of bytes copied, without the NUL.
    static int readString(const QString& path, QByteArrayView section, QByteArrayView key,
                          QByteArrayView defaultValue, char* buffer, int bufferSize);

    // Fills buffer with the entries of section (its name as given, not trimmed) in file
    // order, each "key=value" or the bare key of a line without '=', each ended by a
    // NUL, the list ended by a further NUL. Comments are left out. Only entries that fit
    // whole are copied (the Windows function cuts the last one). A missing file or
    // section gives an empty list (two NULs). Returns the number of bytes before the
    // final NUL.
    static int readSection(const QString& path, QByteArrayView section, char* buffer,
                           int bufferSize);

    // Sets the value of key in section (both trimmed): an existing key keeps its
    // spelling and gets the new value; a new key is appended at the end of its section;
    // a missing section is appended at the end of the file; a missing file is created,
    // as a copy of seedFrom when that is given (a file that appears meanwhile is never
    // replaced). Everything else in the file stays as it was. Refuses what the file
    // could not give back: a line break or NUL anywhere, a '=' in the key, a key
    // starting with '[' when its line would hold a ']'.
    // With `check`, that is first called with the section's entries as readSection
    // gives them in a buffer of SectionBufferSize bytes, from the same read of the file under the
    // writers' lock that the write starts from; a failure it returns ends the write with that
    // failure.
    using SectionCheck = std::function<platform::FileStatus(const char* entries)>;
    static platform::FileStatus setKey(const QString& path, QByteArrayView section,
                                       QByteArrayView key, QByteArrayView value,
                                       const QString& seedFrom = {},
                                       const SectionCheck& check = {});

    // Removes the line of the first key called key (as given) from the first section
    // called section (as given) that has one; NotFound when there is none.
    static platform::FileStatus removeKey(const QString& path, QByteArrayView section,
                                          QByteArrayView key, const QString& seedFrom = {});

    // Whether key, written with any value, is found by readString and listed by readSection
    // as written: setKey takes it with a value holding ']' (no line break, NUL or '=', no
    // '[' first), it is no comment (';' first), has no blanks around it and no control
    // character.
    static bool isStorableKey(QByteArrayView key);

    // readSection, telling a file that cannot be read (a FIFO, a folder, no permission,
    // an I/O error) from a missing or empty one; the value is readSection's result.
    static platform::FileResult<int> readSectionChecked(const QString& path, QByteArrayView section,
                                                        char* buffer, int bufferSize);

    // The Windows calls: 1 on success, 0 on any failure. The program calls setKey and
    // removeKey; these two are test seams, for the tests, their tools and the conformance
    // driver that compares them with the Windows functions.
    static int writeString(const QString& path, QByteArrayView section, QByteArrayView key,
                           QByteArrayView value);
    static int deleteKey(const QString& path, QByteArrayView section, QByteArrayView key);

    // Writers of a file take turns: each holds an exclusive lock around reading and
    // replacing it (see ProfileLock.h). A writer that cannot get it within this time
    // fails (Busy).
    static constexpr int DefaultLockTimeoutMs = 5000;
    static void setLockTimeout(int milliseconds); // a test seam

    // Test seam: runs when the new content is ready to replace the old (in a temporary
    // file, or with the space for an in-place rewrite reserved) and before it does.
    // Returning false makes the write fail there.
    static void setBeforeReplaceHook(std::function<bool()> hook);

    // Test seam: runs before each rename that puts a new file at the file's name (an
    // exchange of two names, or a plain rename) and before the exchange that puts another's
    // file back; an errno it returns makes that call fail with it (EINVAL, ENOSYS: as on a
    // file system without the exchange), 0 lets the call go on.
    static void setBeforeRenameHook(std::function<int(bool exchange)> hook);

    // Test seam: makes the in-place rewrite the only way to replace a file, as in a
    // folder the user may not write to.
    static void setInPlaceOnly(bool inPlaceOnly);

    // Test seam: the writer asks it before each system call that a file system may lack
    // or refuse ("/proc/self/fd", "O_TMPFILE", "linkat", "open", "link", "noreplace",
    // "exchange", "listxattr", "flistxattr", "FS_IOC_GETFLAGS", the temporary file's
    // "fdatasync"); an errno it returns makes that call fail with it, as on such a file
    // system; 0 lets the call go on. For "FS_IOC_SETFLAGS" any errno makes the call do
    // nothing and report success, as a file system that drops a flag silently.
    static void setFailingCall(std::function<int(const char* call)> hook);
};

} // namespace profile
