#include "profile/ProfileFile.h"

#include "profile/ProfileCache.h"
#include "profile/ProfileEdit.h"
#include "profile/ProfileLock.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#endif

using platform::FileFailure;
using profile::ProfileFile;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const QString Tool = testsupport::toolPath("profile_write");
struct StringRead {
    int result;
    QByteArray text;
};

// Reads with a buffer of the given size and checks that the read kept inside it.
StringRead readString(const QString& path, const char* section, const char* key,
                      QByteArrayView defaultValue = "",
                      int bufferSize = ProfileFile::StringBufferSize) {
    std::vector<char> buffer(static_cast<size_t>(bufferSize) + 16, '\x7f');
    const int result =
        ProfileFile::readString(path, section, key, defaultValue, buffer.data(), bufferSize);
    EXPECT_GE(result, 0);
    EXPECT_LT(result, bufferSize);
    EXPECT_EQ(buffer[static_cast<size_t>(result)], '\0');
    EXPECT_EQ(buffer[static_cast<size_t>(bufferSize)], '\x7f') << "wrote past the buffer";
    return {result, QByteArray(buffer.data())};
}

struct SectionRead {
    int result;
    QList<QByteArray> entries;
    bool readable; // a missing file or section is readable, and empty
};

SectionRead readSection(const QString& path, const char* section,
                        int bufferSize = ProfileFile::SectionBufferSize) {
    std::vector<char> buffer(static_cast<size_t>(bufferSize) + 16, '\x7f');
    const auto checked = ProfileFile::readSectionChecked(path, section, buffer.data(), bufferSize);
    const int result = checked.value();
    EXPECT_EQ(buffer[static_cast<size_t>(bufferSize)], '\x7f') << "wrote past the buffer";
    SectionRead read{result, {}, checked.ok()};
    const char* p = buffer.data();
    while (*p != '\0') {
        read.entries.append(QByteArray(p));
        p += std::strlen(p) + 1;
    }
    EXPECT_EQ(p - buffer.data(), result) << "the result counts the bytes before the final NUL";
    if (result == 0) {
        EXPECT_EQ(buffer[1], '\0') << "an empty list is two NULs";
    }
    return read;
}

#ifndef _WIN32
// The inode flags a write keeps (chattr's d, A, S) of the file or folder at path, in hex.
QByteArray flags(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
    int value = 0;
    ::ioctl(fd, FS_IOC_GETFLAGS, &value);
    ::close(fd);
    return QByteArray::number(value & (FS_NODUMP_FL | FS_NOATIME_FL | FS_SYNC_FL | FS_APPEND_FL),
                              16);
}

// The extended attribute user.k of the file at path (empty: none).
QByteArray xattr(const QByteArray& path) {
    char value[16] = {};
    const ssize_t n = ::getxattr(path.constData(), "user.k", value, sizeof value);
    return QByteArray(value, n > 0 ? n : 0);
}

// Sets those flags, each where the file system has it (tmpfs: d and A).
void setFlags(const QByteArray& path, int set) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
    for (const int flag : {FS_NODUMP_FL, FS_NOATIME_FL, FS_SYNC_FL, FS_APPEND_FL}) {
        int value = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &value) == 0) {
            value = (value & ~flag) | (set & flag);
            ::ioctl(fd, FS_IOC_SETFLAGS, &value);
        }
    }
    ::close(fd);
}
#endif

class ProfileFileTest : public ::testing::Test {
protected:
    QString file(const QString& name = QStringLiteral("Korvani.ini")) const {
        return dir_.filePath(name);
    }
    // Everything in the folder other than the settings file.
    QStringList strayFiles() const {
        QStringList names = QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden);
        names.removeAll(QStringLiteral("Korvani.ini"));
        return names;
    }
    QTemporaryDir dir_;
};

// ---------------------------------------------------------------------------
// Reading

// Odd lines, read as Windows reads them.
const QByteArray oddLines = [] {
    static const char content[] =
        "top=before any section\r\n[Suffix]]\r\na=in Suffix]\r\n"
        "[ SUFFIX ] junk\r\nb=2\r\n[no header\r\nc=3\r\nbare\r\n=x\r\n=y\r\n"
        "lone\rcr=after a lone CR\r\n\x1a\x0b"
        "blanks=\x0c trimmed \x1a\r\nnul=v\0w\r\n"
        "[Ends]\r\n=last\r\n[Next]\r\n=first\r\n";
    return QByteArray(content, sizeof content - 1); // past the NUL
}();

// One value read from the file named (none.ini: no file, special.ini: no regular file),
// with Korvani.ini holding content.
struct ValueCase {
    const char* what;
    QByteArray content;
    const char* section;
    const char* key;
    QByteArray defaultValue;
    QByteArray expected;
    int bufferSize = ProfileFile::StringBufferSize;
    QString name = QStringLiteral("Korvani.ini");
};

TEST_F(ProfileFileTest, ReadStringFollowsTheProfileRules) {
    const QByteArray lang =
        "; settings of the program\r\n[Lang]\r\n  Name  =  Value with spaces  \r\n"
        "quoted=\"in quotes\"\nsingle='single'\r\nmixed=\"mixed'\r\nlonequote=\"\r\n"
        "inner=a \"b\" c\r\nequals=a=b\r\nempty=\r\nname=second of the name\r\n;hidden=yes\r\n"
        "\r\n[lang]\r\nother=in the second section of the name\r\n[Next]\nname=next";
    const QByteArray ends = "\xEF\xBB\xBF[Top]\r\nk=crlf\r\n[Other]\nk=lf\nj=\xC3\xA9t\xC3\xA9\n";
    const QByteArray ak = "[A]\r\nk=v\r\n";
    const QByteArray v599(599, 'x');
    const QByteArray v600 = QByteArray(599, 'y') + 'Z';
    const QByteArray cut = "[A]\r\nv599=" + v599 + "\r\nv600=" + v600 + "\r\nq=\"" + v600 +
                           "\"\r\nlong=" + QByteArray(5000, 'w') + "\r\nshort=Value\r\n";
    const QByteArray longDefault(700, 'd');
    const int size = ProfileFile::StringBufferSize;
    ASSERT_TRUE(testsupport::makeSpecialFile(file(QStringLiteral("special.ini"))));
    const ValueCase rows[] = {
        {"names in any case, value trimmed", lang, "LANG", "name", "", "Value with spaces"},
        {"names in any case", lang, "lang", "NAME", "", "Value with spaces"},
        {"quotes go", lang, "Lang", "quoted", "", "in quotes"},
        {"single quotes go", lang, "Lang", "single", "", "single"},
        {"quotes that differ stay", lang, "Lang", "mixed", "", "\"mixed'"},
        {"a lone quote stays", lang, "Lang", "lonequote", "", "\""},
        {"inner quotes stay", lang, "Lang", "inner", "", "a \"b\" c"},
        {"the first '=' counts", lang, "Lang", "equals", "", "a=b"},
        {"a comment is a key", lang, "Lang", ";hidden", "dflt", "yes"},
        {"a comment hides its key", lang, "Lang", "hidden", "dflt", "dflt"},
        {"only the first section of a name counts", lang, "Lang", "other", "dflt", "dflt"},
        {"the section name trimmed", lang, " next ", "name", "", "next"},
        {"an empty value is not a missing key", lang, "Lang", "empty", "dflt", ""},
        {"the name runs to the last ']'", oddLines, "Suffix]", "a", "d", "in Suffix]"},
        {"text after the last ']' is dropped", oddLines, "SUFFIX", "b", "d", "2"},
        {"a '[' line without ']' is no header", oddLines, "SUFFIX", "[no header", "d", "d"},
        {"so its section goes on", oddLines, "SUFFIX", "c", "d", "3"},
        {"a key without '=' gives the default", oddLines, "SUFFIX", "bare", "d", "d"},
        {"an empty key is a key", oddLines, "SUFFIX", "", "d", "x"},
        {"a lone CR ends a line", oddLines, "SUFFIX", "cr", "d", "after a lone CR"},
        {"Ctrl-Z, VT and FF are blanks", oddLines, "SUFFIX", "blanks", "d", "trimmed"},
        {"a NUL ends the value", oddLines, "SUFFIX", "nul", "d", "v"},
        {"the lines before the first header", oddLines, "", "top", "d", "before any section"},
        {"the lines before the first header", oddLines, " ", "TOP", "d", "before any section"},
        {"the default loses trailing spaces", oddLines, "SUFFIX", "none", "dflt  ", "dflt"},
        {"the default loses its quotes", oddLines, "SUFFIX", "none", "\"quoted\"", "quoted"},
        {"the default keeps a first character", oddLines, "SUFFIX", "none", " ", " "},
        {"a header starts the empty-key rule anew", oddLines, "Next", "", "d", "first"},
        {"a byte order mark is skipped", ends, "Top", "k", "", "crlf"},
        {"LF ends a line", ends, "other", "K", "", "lf"},
        {"UTF-8 as it is", ends, "other", "j", "", "\xC3\xA9t\xC3\xA9"},
        {"no CR left on the value", ak, "A", "k", "", "v"},
        {"no file", ak, "A", "k", "the default", "the default", size, "none.ini"},
        {"no section", ak, "B", "k", "the default", "the default"},
        {"no key", ak, "A", "x", "the default", "the default"},
        {"no regular file", ak, "A", "k", "the default", "the default", size, "special.ini"},
        {"no key, no default", ak, "A", "x", "", ""},
        {"the default cut to the buffer", ak, "A", "x", longDefault, longDefault.first(599)},
        {"a value that fits", cut, "A", "v599", "", v599},
        {"a value cut to the buffer", cut, "A", "v600", "", v600.first(599)},
        {"quotes go before the cut", cut, "A", "q", "", v600.first(599)},
        {"a long value cut", cut, "A", "long", "", QByteArray(599, 'w')},
        {"a small buffer", cut, "A", "short", "", "Val", 4},
        {"a buffer of one byte", cut, "A", "short", "", "", 1},
    };
    for (const ValueCase& row : rows) {
        SCOPED_TRACE(testing::Message() << row.what << ": [" << row.section << "] " << row.key);
        if (readFile(file()) != row.content)
            writeFile(file(), row.content);
        const StringRead read =
            readString(file(row.name), row.section, row.key, row.defaultValue, row.bufferSize);
        EXPECT_EQ(read.text, row.expected);
        EXPECT_EQ(read.result, row.expected.size());
    }
}

// A section read from the file named (none.ini: no file), with Korvani.ini holding content.
struct SectionCase {
    const char* what;
    QByteArray content;
    const char* section;
    QList<QByteArray> expected;
    int bufferSize = ProfileFile::SectionBufferSize;
    QString name = QStringLiteral("Korvani.ini");
};

TEST_F(ProfileFileTest, ReadSectionListsWholeEntriesInFileOrder) {
    const QByteArray order =
        "[Other]\r\nfirst=1\r\n[Suffix]\r\n  b.com =  \r\na.com=x = y\r\n\r\n"
        "; a note\r\n   bare line  \r\nC.com=\n[Next]\r\nz=\r\n[suffix]\r\nlater=\r\n";
    const QByteArray nothing = "[Suffix]\r\n\r\n; only a note\r\n[Other]\r\nx=\r\n";
    const QByteArray four = "[S]\r\naaaa=\r\nbbbb=\r\ncccc=\r\n"; // 6 bytes each with its NUL
    const SectionCase rows[] = {
        {"in file order, trimmed",
         order,
         "SUFFIX",
         {"b.com=", "a.com=x = y", "bare line", "C.com="}},
        {"the second empty key in a row is no entry",
         oddLines,
         "SUFFIX",
         {"b=2", "[no header", "c=3", "bare", "=x", "lone", "cr=after a lone CR", "blanks=trimmed",
          "nul=v"}},
        {"a section read takes the name as given", oddLines, " SUFFIX ", {}},
        {"notes only", nothing, "Suffix", {}, 64},
        {"no section", nothing, "Missing", {}, 64},
        {"no file", nothing, "Suffix", {}, 64, "none.ini"},
        {"room for all and the list's NUL", four, "S", {"aaaa=", "bbbb=", "cccc="}, 19},
        {"one byte short", four, "S", {"aaaa=", "bbbb="}, 18},
        {"two entries and the list's NUL", four, "S", {"aaaa=", "bbbb="}, 13},
        {"one byte short of two", four, "S", {"aaaa="}, 12},
        {"one entry without the list's NUL", four, "S", {}, 6},
    };
    for (const SectionCase& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.what << ": [" << row.section << "] " << row.bufferSize);
        if (readFile(file()) != row.content)
            writeFile(file(), row.content);
        const SectionRead read = readSection(file(row.name), row.section, row.bufferSize);
        EXPECT_EQ(read.entries, row.expected);
        EXPECT_TRUE(read.readable);
    }
}
TEST_F(ProfileFileTest, ALongSectionListsItsFirstEntries) {
    QByteArray content = "[Suffix]\r\n";
    QList<QByteArray> all;
    for (int i = 0; i < 3000; ++i) {
        all.append("suffix" + QByteArray::number(i) + ".example.com=");
        content += all.back() + "\r\n";
    }
    writeFile(file(), content);
    const SectionRead read = readSection(file(), "Suffix");
    ASSERT_GT(read.entries.size(), 1000);
    ASSERT_LT(read.entries.size(), 3000);
    EXPECT_EQ(read.entries, all.first(read.entries.size())) << "whole entries, first ones";
    const qsizetype next = all[read.entries.size()].size() + 1;
    EXPECT_GT(read.result + next + 1, ProfileFile::SectionBufferSize) << "the next one fit";
}

// ---------------------------------------------------------------------------
// Writing and deleting keys

const QByteArray Kept = "\x01 as the row before left it";
const QByteArray NoFile = "\x01 no file";
const std::optional<QByteArray> Delete;

// A write (or a delete) on the file named, holding before; it gives result and after.
struct Change {
    const char* what;
    QByteArray before; // or Kept, or NoFile
    const char* section;
    const char* key;
    std::optional<QByteArray> value; // or Delete
    int result;
    QByteArray after; // or NoFile
    QString name = QStringLiteral("Korvani.ini");
};

TEST_F(ProfileFileTest, AChangeTouchesOnlyItsOwnLine) {
    const QByteArray head = "\xEF\xBB\xBF; Korvani settings\r\n[Suffix]\r\n";
    const QByteArray tail = "\r\n[Other]\r\n; belongs to others\r\n  key = value \r\n";
    const QByteArray notThere = "[Suffix]\r\na.com=\r\n;b.com=\r\n[Other]\r\nc.com=\r\n";
    const QByteArray one = "[Suffix]\r\na.com=\r\n";
    const QByteArray lf = "[Suffix]\na=\nb=\n\n[Other]\nx=1";
    const Change rows[] = {
        {"a missing file is made, with CR LF", NoFile, "Suffix", "a.com", "", 1,
         "[Suffix]\r\na.com=\r\n"},
        {"the key trimmed", Kept, "Suffix", " b.com ", "v", 1, "[Suffix]\r\na.com=\r\nb.com=v\r\n"},
        {"a missing section goes at the end", "[A]\r\nx=1", "B", "y", "", 1,
         "[A]\r\nx=1\r\n[B]\r\ny=\r\n"},
        {"an empty file", "", "B", "y", "", 1, "[B]\r\ny=\r\n"},
        {"a new key ends the first section of the name",
         "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n[a]\r\nz=3\r\n", "a", "new", "4", 1,
         "[A]\r\nx=1\r\nnew=4\r\n\r\n[B]\r\ny=2\r\n[a]\r\nz=3\r\n"},
        {"a new key in an empty section", "[Empty]\r\n[B]\r\n", "empty", "k", "", 1,
         "[Empty]\r\nk=\r\n[B]\r\n"},
        {"a new key after a note", "[A]\r\nx=1\r\n; a note at the end\r\n\r\n[B]\r\n", "A", "k", "",
         1, "[A]\r\nx=1\r\n; a note at the end\r\nk=\r\n\r\n[B]\r\n"},
        {"a new key after a header without a line end", "[Last]", "Last", "k", "", 1,
         "[Last]\r\nk=\r\n"},
        {"a key keeps its spelling", "[suffix]\r\n  Example.COM = old \r\nexample.com=second\r\n",
         "SUFFIX", "example.com", "new", 1,
         "[suffix]\r\n  Example.COM =new\r\nexample.com=second\r\n"},
        {"an empty value", Kept, "Suffix", "EXAMPLE.com", "", 1,
         "[suffix]\r\n  Example.COM =\r\nexample.com=second\r\n"},
        {"a key without '=' gets one", "[S]\r\nbare\r\n", "S", "BARE", "v", 1, "[S]\r\nbare=v\r\n"},
        {"the value already there leaves the file alone", "[S]\r\nk=\r\n", "s", "K", "", 1,
         "[S]\r\nk=\r\n"},
        {"comments and other sections stay", head + "a.com=\r\n; picked by hand\r\nb.com=" + tail,
         "Suffix", "c.com", "", 1, head + "a.com=\r\n; picked by hand\r\nb.com=\r\nc.com=" + tail},
        {"delete: names as given", Kept, "suffix", " A.COM ", Delete, 0,
         head + "a.com=\r\n; picked by hand\r\nb.com=\r\nc.com=" + tail},
        {"delete: comments stay", Kept, "suffix", "A.COM", Delete, 1,
         head + "; picked by hand\r\nb.com=\r\nc.com=" + tail},
        {"delete: the last key", Kept, "Suffix", "C.com", Delete, 1,
         head + "; picked by hand\r\nb.com=" + tail},
        {"lone CR files stay lone CR", "[A]\rx=1\r", "B", "y", "", 1, "[A]\rx=1\r[B]\ry=\r"},
        {"lone CR files stay lone CR", Kept, "A", "z", "", 1, "[A]\rx=1\rz=\r[B]\ry=\r"},
        {"LF files stay LF", "[Suffix]\na=\n\n[Other]\nx=1", "Suffix", "b", "", 1, lf},
        {"LF files stay LF", Kept, "Other", "y", "2", 1, lf + "\ny=2\n"},
        {"LF files stay LF", Kept, "New", "k", "", 1, lf + "\ny=2\n[New]\nk=\n"},
        {"delete: LF files stay LF", Kept, "Suffix", "a", Delete, 1,
         "[Suffix]\nb=\n\n[Other]\nx=1\ny=2\n[New]\nk=\n"},
        {"delete: a key of another section", notThere, "Suffix", "c.com", Delete, 0, notThere},
        {"delete: a comment is no key", Kept, "Suffix", "b.com", Delete, 0, notThere},
        {"delete: no section", Kept, "Missing", "a.com", Delete, 0, notThere},
        {"delete: no empty key", Kept, "Suffix", "", Delete, 0, notThere},
        {"delete: the section name as given", Kept, "Suffix ", "a.com", Delete, 0, notThere},
        {"delete: no file is made", NoFile, "Suffix", "a.com", Delete, 0, NoFile, "none.ini"},
        {"delete: from the first section that has it",
         "[S]\r\na=1\r\n[s]\r\nb=2\r\n;b=3\r\n=x\r\n=y\r\nz=\r\n", "S", "b", Delete, 1,
         "[S]\r\na=1\r\n[s]\r\n;b=3\r\n=x\r\n=y\r\nz=\r\n"},
        {"delete: a comment line goes by its text", Kept, "S", ";b", Delete, 1,
         "[S]\r\na=1\r\n[s]\r\n=x\r\n=y\r\nz=\r\n"},
        {"delete: with the empty key that hid behind it", Kept, "S", "", Delete, 1,
         "[S]\r\na=1\r\n[s]\r\nz=\r\n"},
        {"refused: a key with '='", one, "Suffix", "a=b", "", 0, one},
        {"refused: a key with LF", Kept, "Suffix", "a\nb", "", 0, one},
        {"refused: a key with CR", Kept, "Suffix", "a\rb", "", 0, one},
        {"refused: a key like a header", Kept, "Suffix", "[a]", "", 0, one},
        {"refused: a line like a header", Kept, "Suffix", "[a", "b]", 0, one},
        {"refused: a section with LF", Kept, "Suf\nfix", "k", "", 0, one},
        {"refused: a value of two lines", Kept, "Suffix", "k", "two\r\nlines", 0, one},
        {"refused: a value with NUL", Kept, "Suffix", "k", QByteArray("a\0b", 3), 0, one},
        {"';' and '[' inside a key", Kept, "Suffix", "a;b[c]", "v", 1, one + "a;b[c]=v\r\n"},
        {"a key like a comment", Kept, "Suffix", ";a", "v", 1, one + "a;b[c]=v\r\n;a=v\r\n"},
        {"a key starting with '['", Kept, "Suffix", "[a", "v", 1,
         one + "a;b[c]=v\r\n;a=v\r\n[a=v\r\n"},
        {"the empty key", Kept, "Suffix", "", "v", 1, one + "a;b[c]=v\r\n;a=v\r\n[a=v\r\n=v\r\n"},
        {"']' inside a section name", Kept, "Suf]fix", "k", "v", 1,
         one + "a;b[c]=v\r\n;a=v\r\n[a=v\r\n=v\r\n[Suf]fix]\r\nk=v\r\n"},
    };
    for (const Change& row : rows) {
        SCOPED_TRACE(testing::Message() << row.what << ": [" << row.section << "] " << row.key);
        const QString path = file(row.name);
        if (row.before == NoFile)
            QFile::remove(path);
        else if (row.before != Kept)
            writeFile(path, row.before);
        const QByteArray old = readFile(path);
        profile::FileState before, after;
        const bool existed =
            QFile::exists(path) && profile::stateAt(QFile::encodeName(path), before);

        EXPECT_EQ(row.value ? ProfileFile::writeString(path, row.section, row.key, *row.value)
                            : ProfileFile::deleteKey(path, row.section, row.key),
                  row.result);
        EXPECT_EQ(QFile::exists(path) ? readFile(path) : NoFile, row.after);
        if (row.value && row.result == 1) {
            EXPECT_EQ(readString(path, row.section, row.key, "missing").text, *row.value);
        }
        if (existed && row.after == old) {
            ASSERT_TRUE(profile::stateAt(QFile::encodeName(path), after));
            EXPECT_EQ(before.identity, after.identity) << "the file was replaced";
        }
        EXPECT_TRUE(strayFiles().isEmpty()) << strayFiles().join(u' ').toStdString();
    }
}

#ifndef _WIN32 // POSIX file modes, ACLs and extended attributes
// A file keeps its mode, its ACL and its other extended attributes, and gets no ACL
// from its folder's default one.
TEST_F(ProfileFileTest, WritingKeepsThePermissions) {
    // The umask would take bits from a new file's mode.
    const testsupport::Undo umask([old = ::umask(022)] { ::umask(old); });
    writeFile(file(), "[S]\r\n");
    const QByteArray path = QFile::encodeName(file());
    // rw- user:nobody:rw- r-- mask rw- ---
    const quint32 acl[] = {2, 0x60001, ~0u, 0x60002, 65534, 0x40004, ~0u, 0x60010, ~0u, 0x20, ~0u};
    // Where the file system has no ACLs, the mode alone.
    const bool acls = ::setxattr(QFile::encodeName(dir_.path()).constData(),
                                 "system.posix_acl_default", acl, sizeof acl, 0) == 0;
    const auto attributes = [&] { // the mode, then each name=value
        std::vector<char> names(4096), value(4096);
        const ssize_t n = ::listxattr(path.constData(), names.data(), names.size());
        struct stat st {};
        EXPECT_EQ(::stat(path.constData(), &st), 0);
        QByteArrayList all{QByteArray::number(st.st_mode & 07777, 8), "flags " + flags(path)};
        for (const QByteArray& name :
             QByteArray(names.data(), std::max<ssize_t>(n, 0)).split('\0')) {
            const ssize_t size =
                ::getxattr(path.constData(), name.constData(), value.data(), value.size());
            if (size >= 0)
                all << name + '=' + QByteArray(value.data(), size);
        }
        return all;
    };
    for (const bool withAcl : {false, acls}) {
        ASSERT_EQ(::chmod(path.constData(), 0666), 0);
        // The inode flags d, A and S with the ACL (where the file system has them: ext4,
        // xfs), none without; the folder's no-dump flag, which a new file inherits, the
        // file lacks.
        setFlags(path, withAcl ? FS_NODUMP_FL | FS_NOATIME_FL | FS_SYNC_FL : 0);
        setFlags(QFile::encodeName(dir_.path()), withAcl ? 0 : FS_NODUMP_FL);
        if (withAcl) {
            ASSERT_EQ(::setxattr(path.constData(), "system.posix_acl_access", acl, sizeof acl, 0),
                      0);
            ::setxattr(path.constData(), "user.korvani", "kept", 4, 0); // where it may be set
        }
        const auto before = attributes();
        EXPECT_EQ(before.size() > 2, withAcl);
        EXPECT_EQ(ProfileFile::writeString(file(), "S", "k", ""), 1);
        EXPECT_EQ(attributes(), before) << "with an ACL " << withAcl;
        EXPECT_EQ(ProfileFile::deleteKey(file(), "S", "k"), 1);
        EXPECT_EQ(attributes(), before);
    }
    setFlags(QFile::encodeName(dir_.path()), 0);
}

// A file that a new one cannot replace whole is written in place, leaving nothing beside
// it: in a folder that lets no name go (append-only). A file whose owner may not write
// it but its group or others may (0464, 0446) is writable.
TEST_F(ProfileFileTest, AFileThatANewFileCannotReplaceIsWrittenInPlace) {
    const QByteArray path = QFile::encodeName(file()), folder = QFile::encodeName(dir_.path());
    const struct {
        const char* what;
        mode_t mode;
        int folderFlags;
        bool inPlace;
    } rows[] = {{"append-only folder", 0644, FS_APPEND_FL, true},
                {"0464", 0464, 0, false},
                {"0446", 0446, 0, false}};
    for (const auto& row : rows) {
        QFile::remove(file()); // the last row's, which its owner may not write
        writeFile(file(), "[Suffix]\r\na.com=\r\n");
        ASSERT_EQ(::chmod(path.constData(), row.mode), 0);
        // Held open, the file keeps its inode number: none of a new file can take it.
        const int held = ::open(path.constData(), O_RDONLY);
        struct stat before {
        }, after{};
        ASSERT_EQ(::fstat(held, &before), 0);
        setFlags(folder, row.folderFlags);
        const testsupport::Undo undo([&] { setFlags(folder, 0), ::close(held); });
        if (row.folderFlags != 0 && flags(folder) != QByteArray::number(row.folderFlags, 16))
            continue; // a file system without the flag
        // Root writes a file it owns without the owner's write bit; its owner may not.
        const bool written = ::geteuid() == 0 || (row.mode & S_IWUSR) != 0;
        EXPECT_EQ(ProfileFile::writeString(file(), "Suffix", "b.com", ""), written) << row.what;
        EXPECT_EQ(ProfileFile::deleteKey(file(), "Suffix", "a.com"), written) << row.what;
        ASSERT_EQ(::stat(path.constData(), &after), 0);
        EXPECT_EQ(after.st_ino == before.st_ino, row.inPlace || !written) << row.what;
        EXPECT_EQ(after.st_mode & 07777, row.mode);
        EXPECT_EQ(readSection(file(), "Suffix").entries,
                  QList<QByteArray>{written ? "b.com=" : "a.com="})
            << row.what;
        EXPECT_TRUE(strayFiles().isEmpty()) << strayFiles().join(u' ').toStdString();
    }
}
#endif

// ---------------------------------------------------------------------------
// Failures part way: the file is the old one or the new one, never a mix

// A failure, or another program's change, before the replace leaves the file as it was.
TEST_F(ProfileFileTest, AFailureBeforeTheReplaceLeavesTheOldFile) {
    const QByteArray content = "[Suffix]\r\na.com=\r\n";
    for (const bool inPlace : {false, true}) {
        writeFile(file(), content);
        ProfileFile::setInPlaceOnly(inPlace);
        int calls = 0;
        ProfileFile::setBeforeReplaceHook([&] {
            ++calls;
            return false; // e.g. the disk filled up while the new content was written
        });
        EXPECT_EQ(ProfileFile::setKey(file(), "Suffix", "b.com", "").error, ECANCELED);
        EXPECT_EQ(ProfileFile::deleteKey(file(), "Suffix", "a.com"), 0);
        ProfileFile::setBeforeReplaceHook({});
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(readFile(file()), content) << "in place: " << inPlace;

        // Another program's append meanwhile (a script's >>) stays: the write fails.
        ProfileFile::setBeforeReplaceHook([&] {
            QFile meddler(file());
            return meddler.open(QIODevice::Append) && meddler.write("x.com=\r\n") == 8;
        });
        EXPECT_EQ(ProfileFile::setKey(file(), "Suffix", "b.com", "").failure, FileFailure::Changed);
        ProfileFile::setBeforeReplaceHook({});
        EXPECT_EQ(readFile(file()), content + "x.com=\r\n") << "in place: " << inPlace;
        writeFile(file(), content);
#ifndef _WIN32
        // Its sync failing (a disk's write error): the write fails and nothing is replaced.
        ProfileFile::setFailingCall(
            [](const char* call) { return std::strcmp(call, "fdatasync") ? 0 : EIO; });
        EXPECT_EQ(ProfileFile::setKey(file(), "Suffix", "b.com", "").error, inPlace ? 0 : EIO);
        ProfileFile::setFailingCall({});
        writeFile(file(), content);
#endif

        // Without the fault both work, the same way.
        EXPECT_EQ(ProfileFile::writeString(file(), "Suffix", "b.com", ""), 1);
        EXPECT_EQ(ProfileFile::deleteKey(file(), "Suffix", "a.com"), 1);
        EXPECT_EQ(ProfileFile::writeString(file(), "Suffix", "b.com", "a longer value"), 1);
        // In place, a deleted line becomes blanks where other lines follow it.
        EXPECT_EQ(readFile(file()), inPlace ? "[Suffix]\r\n      \r\nb.com=a longer value\r\n"
                                            : "[Suffix]\r\nb.com=a longer value\r\n");
        EXPECT_TRUE(strayFiles().isEmpty()) << strayFiles().join(u' ').toStdString();
    }
}

// In place every change is made so that a kill leaves the old or the new file (see
// ProfileEdit.cpp, changeInPlace); these are the bytes it leaves when nothing goes wrong.
TEST_F(ProfileFileTest, AChangeInPlaceLeavesTheseBytes) {
    const QByteArray large = "[S]\r\na=\r\n[T]\r\n;" + QByteArray(5000, 'x') + "\r\n";
    const QByteArray onePage = "[S]\r\na=1\r\n;" + QByteArray(4096 - 13, 'x') + "\r\n";
    const struct {
        QByteArray before;
        const char* section;
        const char* add; // or delete, when null
        const char* remove;
        QByteArray after;
    } rows[] = {
        {"[S]\r\na=\r\nb=\r\n", "S", nullptr, "b", "[S]\r\na=\r\n"},       // cut after a sync
        {"[S]\r\na=\r\nb=\r\n", "S", nullptr, "a", "[S]\r\n  \r\nb=\r\n"}, // blanks stay
        {"[S]\r\n=a\r\n=b\r\nk=\r\n", "S", nullptr, "", "[S]\r\n  \r\n  \r\nk=\r\n"},
        {"[S]\r\na=", "S", "b", nullptr, "[S]\r\na=\r\nb=\r\n"},
        {"[S]\na=\n", "T", "k", nullptr, "[S]\na=\n[T]\nk=\n"},
        {"[S]\r\na=\r\n\r\n", "S", "b", nullptr, "[S]\r\na=\r\n\r\nb=\r\n"},       // after blanks
        {"[S]\r\na=\r\n[T]\r\n", "S", "b", nullptr, "[S]\r\na=\r\nb=\r\n[T]\r\n"}, // one page
        {large, "S", "b", nullptr, large}, // more than a page to move: refused
        {"[S]\r\na=1234\r\n", "S", "a", nullptr, "[S]\r\na=\r\n"},     // padded, then cut
        {onePage, "S", "a", nullptr, "[S]\r\na=" + onePage.sliced(8)}, // ends at byte 4096
    };
    ProfileFile::setInPlaceOnly(true);
    for (const auto& row : rows) {
        writeFile(file(), row.before);
        const platform::FileStatus status =
            row.add ? ProfileFile::setKey(file(), row.section, row.add, "")
                    : ProfileFile::removeKey(file(), row.section, row.remove);
        EXPECT_EQ(status.failure,
                  row.before == row.after ? FileFailure::NoSafeRewrite : FileFailure::None);
        EXPECT_EQ(readFile(file()), row.after) << row.before.left(40).toStdString();
    }
#ifndef _WIN32
    const auto descriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
    const auto open = descriptors();
    for (int i = 0; i < 25; ++i) {
        EXPECT_TRUE(ProfileFile::setKey(file(), "S", "k", "").ok());
        EXPECT_TRUE(ProfileFile::removeKey(file(), "S", "k").ok());
    }
    EXPECT_EQ(descriptors(), open) << "50 writes in place left descriptors open";
#endif
}

// The file of an in-place change in memory: call number failAt fails (a write there
// lands in half), or from call dieAt on nothing lands (a kill; a write past the old
// end, not within one page, lands in half). A cut must find every write synced.
class FakeInPlaceFile : public profile::InPlaceFile {
public:
    FakeInPlaceFile(QByteArray bytes, int failAt, int dieAt)
        : bytes(std::move(bytes)), oldSize_(this->bytes.size()), failAt_(failAt), dieAt_(dieAt) {}
    platform::FileStatus writeAt(qsizetype at, QByteArrayView data) override {
        const bool lands = proceeds(), half = calls == failAt_ + 1 || calls == dieAt_ + 1;
        const QByteArrayView landed = lands ? data : data.first(data.size() / 2);
        if (lands || (half && (calls == failAt_ + 1 || at >= oldSize_)))
            bytes = bytes.leftJustified(at + landed.size(), ' ', false)
                        .replace(at, landed.size(), landed.toByteArray());
        unsynced_ = true;
        return result(lands);
    }
    platform::FileStatus sync() override {
        const bool lands = proceeds();
        unsynced_ = unsynced_ && !lands;
        return result(lands);
    }
    platform::FileStatus truncate(qsizetype size) override {
        const bool lands = proceeds();
        EXPECT_FALSE(lands && unsynced_) << "cut before the writes were synced";
        bytes.truncate(lands ? size : bytes.size());
        return result(lands);
    }
    platform::FileStatus finish() override { return result(proceeds()); }
    bool unsynced() const { return unsynced_; } // a write since the last sync

    QByteArray bytes;
    int calls = 0;

private:
    bool proceeds() { return calls++ != failAt_ && (dieAt_ < 0 || calls <= dieAt_); }
    static platform::FileStatus result(bool landed) {
        return {landed ? FileFailure::None : FileFailure::WriteFailed, landed ? 0 : EIO};
    }
    qsizetype oldSize_;
    int failAt_;
    int dieAt_;
    bool unsynced_ = false;
};

// In place, a failure at any call leaves the old bytes (the steps before it undone),
// and a kill at any call leaves a file that reads as the old or the new one.
TEST_F(ProfileFileTest, AnInPlaceChangeFailedOrKilledAtAnyCallIsOldOrNew) {
    const QByteArray page = "[S]\r\na=1\r\n;" + QByteArray(4096 - 13, 'x') + "\r\n";
    const struct {
        QByteArray old;
        profile::Edit edit;
    } rows[] = {
        {"[S]\r\n=a\r\n=b\r\nk=\r\n", {5, 8, {}}},   // a key and the one it hid
        {"[S]\r\na=\r\nb=\r\n", {9, 4, {}}},         // the last key: cut
        {"[S]\r\na=\r\n", {9, 0, "[T]\r\nk=\r\n"}},  // a new section
        {"[S]\r\na=", {7, 0, "\r\nb=\r\n"}},         // after a line without its end
        {"[S]\r\na=1234\r\n", {6, 5, "="}},          // shorter within a page
        {"[S]\r\na=1\r\n[T]\r\n", {6, 2, "=12345"}}, // longer within a page
        {page, {6, 2, "="}},                         // a file of exactly one page
    };
    const auto sections = [&](const QByteArray& bytes) {
        writeFile(file(), bytes);
        return std::pair(readSection(file(), "S").entries, readSection(file(), "T").entries);
    };
    for (const auto& row : rows) {
        const QByteArray data = row.edit.applyTo(row.old);
        const auto before = sections(row.old);
        const auto after = sections(data);
        FakeInPlaceFile clean(row.old, -1, -1);
        ASSERT_TRUE(profile::changeInPlace(clean, row.old, data, row.edit).ok())
            << row.old.left(20).toStdString();
        EXPECT_TRUE(sections(clean.bytes) == after);
        for (int call = 0; call < clean.calls; ++call) {
            SCOPED_TRACE(testing::Message() << row.old.left(20).toStdString() << " call " << call);
            FakeInPlaceFile failing(row.old, call, -1);
            EXPECT_FALSE(profile::changeInPlace(failing, row.old, data, row.edit).ok());
            EXPECT_EQ(failing.bytes, row.old) << "not undone";
            EXPECT_FALSE(failing.unsynced()) << "the undo did not end with a sync";
            FakeInPlaceFile killed(row.old, -1, call);
            profile::changeInPlace(killed, row.old, data, row.edit);
            const auto left = sections(killed.bytes);
            EXPECT_TRUE(left == before || left == after) << killed.bytes.left(60).toStdString();
        }
    }
}

// A call that fails says why, before it locks or makes anything.
TEST_F(ProfileFileTest, AFailedCallSaysWhy) {
    writeFile(file(), "[Suffix]\r\na.com=\r\n");
    writeFile(file(QStringLiteral("plain")), "x");
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder.ini")));
    ASSERT_TRUE(testsupport::makeSpecialFile(file(QStringLiteral("special.ini"))));
    const QStringList before = QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden);
    const struct {
        QString path;
        FileFailure failure;
        int error;
    } rows[] = {
        {QString(), FileFailure::BadPath, ENOENT},
        {file(QStringLiteral("none/Korvani.ini")), FileFailure::BadPath, ENOENT},
        {file(QStringLiteral("plain/Korvani.ini")), FileFailure::BadPath, ENOTDIR},
        {file(QStringLiteral("special.ini")), FileFailure::NotAFile, EINVAL},
        {file(QStringLiteral("folder.ini")), FileFailure::NotAFile, EINVAL},
    };
    for (const auto& row : rows) {
        const platform::FileStatus set = ProfileFile::setKey(row.path, "Suffix", "b.com", "");
        const platform::FileStatus removed = ProfileFile::removeKey(row.path, "Suffix", "a.com");
        for (const auto& status : {set, removed}) {
            EXPECT_EQ(status.failure, row.failure) << row.path.toStdString();
            EXPECT_EQ(status.error, row.error) << row.path.toStdString();
        }
    }
    EXPECT_EQ(ProfileFile::removeKey(file(), "Suffix", "b.com").failure, FileFailure::NotFound);
    EXPECT_EQ(ProfileFile::setKey(file(), "Suffix", "a=b", "").failure, FileFailure::Refused);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
}

#ifndef _WIN32 // symbolic links, file times to the nanosecond
TEST_F(ProfileFileTest, ASettingsFileThatIsALinkStaysALink) {
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("shared.ini"));
    const QString second = elsewhere.filePath(QStringLiteral("second.ini"));
    ASSERT_EQ(::symlink("shared.ini", QFile::encodeName(second).constData()), 0);
    // An absolute link, one relative to the folder that holds it, a link to a link.
    for (const QString& link : {target, QDir(dir_.path()).relativeFilePath(target), second}) {
        writeFile(target, "[Suffix]\r\na.com=\r\n");
        QFile::remove(file());
        ASSERT_EQ(
            ::symlink(QFile::encodeName(link).constData(), QFile::encodeName(file()).constData()),
            0);
        EXPECT_EQ(ProfileFile::writeString(file(), "Suffix", "b.com", ""), 1) << link.toStdString();
        EXPECT_EQ(ProfileFile::deleteKey(file(), "Suffix", "a.com"), 1);
        EXPECT_TRUE(QFileInfo(file()).isSymLink());
        EXPECT_TRUE(QFileInfo(second).isSymLink());
        EXPECT_EQ(QFileInfo(file()).canonicalFilePath(), target);
        EXPECT_EQ(readFile(target), "[Suffix]\r\nb.com=\r\n");
        EXPECT_TRUE(strayFiles().isEmpty()) << strayFiles().join(u' ').toStdString();
        EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{QStringLiteral("second.ini"), QStringLiteral("shared.ini")}));
    }
}

// A write replaces only the file it read, as it read it: where another file or a link
// took its name meanwhile (a backup tool's mv), or another program wrote to it in place
// (an editor, a script's >>), that stays and the write fails; moved away and back, the
// file is written. Before the replace, also where the file system has no exchange of two
// names (EINVAL, ENOSYS: the check comes just before the rename); just before the
// exchange, caught in the file that came out, which goes back. Where it cannot go back,
// it stays beside the file and the next write does not take it for a leftover.
TEST_F(ProfileFileTest, AWriteReplacesOnlyTheFileItRead) {
    const QByteArray path = QFile::encodeName(file()), away = path + ".bak";
    const QByteArray content = "[Suffix]\r\na.com=\r\n", other = "[Suffix]\r\nx.com=\r\n";
    const auto moveAway = [&] { EXPECT_EQ(::rename(path.constData(), away.constData()), 0); };
    const auto inPlace = [&](int flags, QByteArrayView bytes) {
        const int fd = ::open(path.constData(), O_WRONLY | flags);
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), bytes.size());
        ::close(fd);
    };
    // Runs change, then puts the file's modification time back as it was.
    const auto putTimeBack = [&](const std::function<void()>& change) {
        struct stat st {};
        ASSERT_EQ(::stat(path.constData(), &st), 0);
        change();
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
    };
    const auto replaceWithOther = [&] {
        writeFile(file() + ".other", other);
        EXPECT_EQ(::rename(path + ".other", path.constData()), 0);
    };
    const struct {
        const char* what;
        std::function<void()> act;      // before the replace
        std::function<int(int)> rename; // before the nth rename (1: the first exchange)
        FileFailure failure;
        QByteArray after;
        QByteArray keptBeside = {}; // another's file that could not go back
        bool keptInPlace = false;   // in place the change stays and the write goes through
    } rows[] = {
        {"another file",
         [&] { moveAway(), writeFile(file(), other); },
         {},
         FileFailure::Changed,
         other},
        {"a link",
         [&] {
             moveAway();
             EXPECT_EQ(::symlink(away.constData(), path.constData()), 0);
         },
         {},
         FileFailure::Changed,
         content},
        {"moved back",
         [&] { moveAway(), ::rename(away.constData(), path.constData()); },
         {},
         FileFailure::None,
         content + "b.com=\r\n"},
        {"appended to (>>)",
         [&] { inPlace(O_APPEND, "x.com=\r\n"); },
         {},
         FileFailure::Changed,
         content + "x.com=\r\n"},
        {"rewritten in place, same size",
         [&] { inPlace(O_TRUNC, other); },
         {},
         FileFailure::Changed,
         other},
        {"rewritten in place, shorter",
         [&] { inPlace(O_TRUNC, "[Suffix]\r\n"); },
         {},
         FileFailure::Changed,
         "[Suffix]\r\n"},
        {"appended to just before the exchange",
         {},
         [&](int nth) { return nth == 1 ? (inPlace(O_APPEND, "x.com=\r\n"), 0) : 0; },
         FileFailure::Changed,
         content + "x.com=\r\n"},
        {"replaced just before the exchange, which cannot be undone",
         {},
         [&](int nth) { return nth == 1 ? (replaceWithOther(), 0) : EIO; },
         FileFailure::Changed,
         content + "b.com=\r\n",
         other},
        {"the exchange failing", {}, [&](int) { return EIO; }, FileFailure::WriteFailed, content},
        {"rewritten in place while the exchange is refused",
         {},
         [&](int nth) { return nth == 1 ? (inPlace(O_TRUNC, other), EINVAL) : 0; },
         FileFailure::Changed,
         other},
        {"rewritten in place, same size, its time put back",
         [&] { putTimeBack([&] { inPlace(O_TRUNC, other); }); },
         {},
         FileFailure::Changed,
         other},
        {"another file of the same bytes and time moved to the name",
         [&] {
             putTimeBack([&] { writeFile(file() + ".o", content), ::rename(path + ".o", path); });
         },
         {},
         FileFailure::Changed,
         content},
        {"its mode changed (chmod)",
         [&] { ::chmod(path.constData(), 0600); },
         {},
         FileFailure::Changed,
         content,
         {},
         true},
        {"an attribute set (setfattr)",
         [&] { ::setxattr(path.constData(), "user.k", "1", 1, 0); },
         {},
         FileFailure::Changed,
         content,
         {},
         true},
    };
    for (const auto& row : rows) {
        // 0: the exchange as the file system does it; EINVAL, ENOSYS: none there; -1: in
        // place, where another program's change of the metadata stays as it is.
        for (const int noExchange : {0, EINVAL, ENOSYS, -1}) {
            if (row.rename && noExchange != 0)
                continue;
            SCOPED_TRACE(testing::Message() << row.what << ", no exchange " << noExchange);
            const bool kept = noExchange == -1 && row.keptInPlace;
            ProfileFile::setInPlaceOnly(noExchange == -1);
            writeFile(file(), content);
            ProfileFile::setBeforeReplaceHook([&] { return row.act ? row.act() : void(), true; });
            int renames = 0;
            ProfileFile::setBeforeRenameHook([&](bool exchange) {
                return exchange && noExchange ? noExchange : row.rename ? row.rename(++renames) : 0;
            });
            EXPECT_EQ(ProfileFile::setKey(file(), "Suffix", "b.com", "").failure,
                      kept ? FileFailure::None : row.failure);
            ProfileFile::setBeforeReplaceHook({});
            ProfileFile::setBeforeRenameHook({});
            ProfileFile::setInPlaceOnly(false);
            EXPECT_EQ(readFile(file()), kept ? content + "b.com=\r\n" : row.after);
            ::unlink(away.constData());
            if (!row.keptBeside.isEmpty()) {
                ASSERT_EQ(strayFiles().size(), 1);
                EXPECT_EQ(ProfileFile::writeString(file(), "Suffix", "c.com", ""), 1);
                ASSERT_EQ(strayFiles().size(), 1) << "the next write took it for a leftover";
                EXPECT_EQ(readFile(file(strayFiles()[0])), row.keptBeside);
                QFile::remove(file(strayFiles()[0]));
            }
            ::unlink(path.constData());
            EXPECT_TRUE(strayFiles().isEmpty()) << strayFiles().join(u' ').toStdString();
        }
    }
}

// A write on what each file system offers, made to lack the rest through the writer's
// failing-call seam as that file system fails it, beside leftovers: a write takes the
// change (in place only where a new file could not take what the file has), keeps the
// file's mode, attribute and inode flag, removes what writers that died left under
// their "tmp" names and nothing else.
TEST_F(ProfileFileTest, EveryFileSystemTakesTheChange) {
    using Lacks = std::vector<std::pair<const char*, int>>;
    const Lacks noUnnamed = {{"O_TMPFILE", EOPNOTSUPP}};
    const struct {
        const char* what;
        Lacks lacks;   // call, errno
        int taken = 0; // the first names tried are taken (EEXIST)
        bool inPlace = false;
        bool flagged = true; // the file has the inode flag d
    } rows[] = {
        {"ext4, xfs, btrfs, tmpfs", {}},
        {"ext2: no exchange", {{"exchange", EINVAL}}},
        {"FAT, exFAT: no unnamed files, links, no-replace, exchange",
         {{"O_TMPFILE", EOPNOTSUPP}, {"link", EPERM}, {"noreplace", EINVAL}, {"exchange", EINVAL}}},
        {"sshfs, ntfs-3g: no unnamed files, no-replace, exchange",
         {{"O_TMPFILE", EOPNOTSUPP}, {"noreplace", EINVAL}, {"exchange", ENOSYS}}},
        {"no /proc", {{"/proc/self/fd", ENOENT}}},
        {"names taken", {}, 3},
        {"names taken, no unnamed files", noUnnamed, 3},
        {"no inode flags", {{"FS_IOC_GETFLAGS", ENOTTY}}, 0, false, false},
        {"attributes hidden, group bits set",
         {{"listxattr", ENOTSUP}, {"flistxattr", ENOTSUP}},
         0,
         true},
        {"only the new file's attributes refused", {{"flistxattr", ENOTSUP}}, 0, true},
        {"an inode flag dropped silently", {{"FS_IOC_SETFLAGS", EIO}}, 0, true},
    };
    const QByteArray path = QFile::encodeName(file());
    const QString leftover = ".Korvani.ini.tmp-" + QString(16, u'q');
    const QStringList others = {".Korvani.ini.kept-" + QString(16, u'q'), ".Korvani.ini.tmp-q"};
    for (const auto& row : rows) {
        for (const bool exists : {true, false}) {
            SCOPED_TRACE(testing::Message() << row.what << (exists ? "" : ", a new file"));
            const QStringList before = strayFiles() << "Korvani.ini",
                              left = others + QStringList{leftover};
            for (const QString& name : before)
                QFile::remove(file(name));
            for (const QString& name : left)
                writeFile(file(name), "[Suffix]\r\nleft.com=\r\n");
            ino_t inode = 0;
            if (exists) {
                writeFile(file(), "[Suffix]\r\na.com=\r\n");
                ASSERT_EQ(::chmod(path.constData(), 0640), 0);
                ::setxattr(path.constData(), "user.k", "1", 1, 0);
                setFlags(path, row.flagged ? FS_NODUMP_FL : 0);
                struct stat st {};
                ASSERT_EQ(::stat(path.constData(), &st), 0);
                inode = st.st_ino;
            }
            // Held open, the file keeps its inode number: none of a new file can take it.
            const int held = ::open(path.constData(), O_RDONLY);
            const testsupport::Undo undo([&] { ::close(held); });
            const QByteArray attribute = xattr(path), flagsBefore = flags(path);
            int taken = exists ? row.taken : 0;
            ProfileFile::setFailingCall([&](const char* call) {
                for (const auto& [name, error] : row.lacks) {
                    if (std::strcmp(name, call) == 0)
                        return error;
                }
                const bool naming = !std::strcmp(call, "open") || !std::strcmp(call, "linkat");
                return naming && taken > 0 ? (--taken, EEXIST) : 0;
            });
            EXPECT_TRUE(ProfileFile::setKey(file(), "Suffix", "b.com", "").ok());
            EXPECT_TRUE(
                ProfileFile::removeKey(file(), "Suffix", exists ? "a.com" : "x.com").failure ==
                (exists ? FileFailure::None : FileFailure::NotFound));
            ProfileFile::setFailingCall({});
            EXPECT_EQ(readSection(file(), "Suffix").entries, QList<QByteArray>{"b.com="});
            EXPECT_EQ(strayFiles(), others) << "the leftover stays, or another's file went";
            struct stat st {};
            ASSERT_EQ(::stat(path.constData(), &st), 0);
            if (exists) {
                EXPECT_EQ(st.st_ino == inode, row.inPlace);
                EXPECT_EQ(st.st_mode & 07777, 0640);
                EXPECT_EQ(xattr(path), attribute);
                EXPECT_EQ(flags(path), flagsBefore);
            }
        }
    }
}

// The read cache gives the file's new content whatever way it changed, also with the
// file's times put back.
TEST_F(ProfileFileTest, AChangedFileIsReadAgain) {
    const auto setOldTimes = [&](const QString& path) {
        const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
        // A file changed within the current tick of the file clock is not kept; let the
        // tick pass so that the reads below go through the cache.
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
        timespec now{};
        for (int i = 0; i < 1000; ++i) {
            ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
            if (now.tv_sec > st.st_ctim.tv_sec ||
                (now.tv_sec == st.st_ctim.tv_sec && now.tv_nsec > st.st_ctim.tv_nsec))
                break;
            ::usleep(1000);
        }
    };
    const struct {
        const char* how;
        std::function<void()> change;
        QByteArray expected;
    } rows[] = {
        {"longer", [&] { writeFile(file(), "[S]\r\nk=longer\r\n"); }, "longer"},
        {"same size, other time",
         [&] {
             writeFile(file(), "[S]\r\nk=two\r\n");
             const timespec times[2] = {{1000000001, 0}, {1000000001, 0}};
             ::utimensat(AT_FDCWD, QFile::encodeName(file()).constData(), times, 0);
         },
         "two"},
        {"renamed over, same size and time",
         [&] {
             writeFile(file("new.ini"), "[S]\r\nk=new\r\n");
             setOldTimes(file("new.ini"));
             ASSERT_TRUE(::rename(QFile::encodeName(file("new.ini")).constData(),
                                  QFile::encodeName(file()).constData()) == 0);
         },
         "new"},
        {"written by us", [&] { ProfileFile::writeString(file(), "S", "k", "ours"); }, "ours"},
        {"removed", [&] { QFile::remove(file()); }, "gone"},
    };
    for (const auto& row : rows) {
        writeFile(file(), "[S]\r\nk=one\r\n");
        setOldTimes(file());
        EXPECT_EQ(readString(file(), "S", "k", "gone").text, "one");
        EXPECT_EQ(readSection(file(), "S").entries, QList<QByteArray>{"k=one"});
        row.change();
        EXPECT_EQ(readString(file(), "S", "k", "gone").text, row.expected) << row.how;
    }
}

#endif

TEST_F(ProfileFileTest, AWriterThatDiesBeforeTheReplaceLeavesTheOldFile) {
    const QByteArray content = "[Suffix]\r\na.com=\r\n" + QByteArray(100000, ';') + "\r\n";
    writeFile(file(), content);
    QProcess writer;
    writer.start(Tool, {QStringLiteral("crash"), file(), QStringLiteral("Suffix"),
                        QStringLiteral("b.com"), QString()});
    ASSERT_TRUE(writer.waitForFinished(30000));
    EXPECT_EQ(writer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(writer.exitCode(), 42) << "the writer did not die where it should";
    EXPECT_EQ(readFile(file()), content);
    EXPECT_EQ(ProfileFile::writeString(file(), "Suffix", "b.com", ""), 1) << "lock left behind";
}

TEST_F(ProfileFileTest, AWriterKilledAtAnyMomentLeavesAWholeFile) {
    const int size = 2 * 1024 * 1024;
    const QByteArray head = "[Other]\r\nkeep=1\r\n[Suffix]\r\nbig=";
    const QByteArray withA = head + QByteArray(size, 'a') + "\r\n";
    const QByteArray withB = head + QByteArray(size, 'b') + "\r\n";
    writeFile(file(), withA);
    for (int round = 0; round < 3; ++round) {
        QProcess writer;
        writer.start(Tool, {QStringLiteral("churn"), file(), QStringLiteral("Suffix"),
                            QStringLiteral("big"), QString::number(size)});
        ASSERT_TRUE(writer.waitForStarted());
        // Let it replace the file a few times, then kill it wherever it is.
        int changes = 0;
        QByteArray last = readFile(file());
        ASSERT_TRUE(testsupport::waitUntil(
            [&] {
                const QByteArray now = readFile(file());
                if (now != last)
                    ++changes;
                last = now;
                return changes >= round + 2;
            },
            30000));
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished(10000));
        const QByteArray after = readFile(file());
        EXPECT_TRUE(after == withA || after == withB) << "size " << after.size();
    }
}

// ---------------------------------------------------------------------------
// Two writers at once

TEST_F(ProfileFileTest, AWriterWaitsForTheLockOnlyABoundedTime) {
    const QByteArray content = "[Suffix]\r\na.com=\r\n";
    writeFile(file(), content);
    // Writers lock the folder of the file.
    std::optional<testsupport::Undo> held(testsupport::holdWriterLock(file()));

    ProfileFile::setLockTimeout(300);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(ProfileFile::setKey(file(), "Suffix", "b.com", "").failure, FileFailure::Busy);
    EXPECT_EQ(ProfileFile::removeKey(file(), "Suffix", "a.com").failure, FileFailure::Busy);
    EXPECT_GE(timer.elapsed(), 2 * 290);
    ProfileFile::setLockTimeout(ProfileFile::DefaultLockTimeoutMs);
    EXPECT_EQ(readFile(file()), content);

    // A writer that has waited long gets in soon after the holder lets go: its pauses
    // between tries stay short. After 1.1 s, pauses that kept doubling would have it
    // try next at about 2 s.
    std::atomic<int> written{-1};
    std::thread writer([&] { written = ProfileFile::writeString(file(), "Suffix", "c.com", ""); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // the holder's turn
    EXPECT_EQ(written, -1) << "the writer did not wait for the lock";
    timer.restart();
    held.reset();
    writer.join();
    EXPECT_LT(timer.elapsed(), 25 * profile::WriterLock::MaxPause.count());
    EXPECT_EQ(written, 1);
    EXPECT_EQ(readFile(file()), content + "c.com=\r\n");
}

#ifdef _WIN32
// A program that has the file open without sharing its deletion (an editor, a virus
// scanner) holds a replace off: the writer tries again for a while, then fails with the
// file as it was; let go in time, the write goes through.
TEST_F(ProfileFileTest, AFileHeldOpenByAnotherProgramHoldsTheWriteOffAWhile) {
    const QByteArray content = "[Suffix]\r\na.com=\r\n";
    writeFile(file(), content);
    const std::wstring name = QDir::toNativeSeparators(file()).toStdWString();
    HANDLE held = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ProfileFile::setKey(file(), "Suffix", "b.com", "").failure, FileFailure::WriteFailed);
    EXPECT_EQ(readFile(file()), content);

    std::thread other([held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the other's turn
        ::CloseHandle(held);
    });
    EXPECT_TRUE(ProfileFile::setKey(file(), "Suffix", "b.com", "").ok());
    other.join();
    EXPECT_EQ(readFile(file()), content + "b.com=\r\n");
    EXPECT_TRUE(strayFiles().isEmpty()) << strayFiles().join(u' ').toStdString();
}
#endif

// ---------------------------------------------------------------------------
// Read-only file and folder, tried by an unprivileged user; on Windows, a file with the
// read-only attribute (a folder's permissions are Windows' access rights, which Wine
// does not enforce)

const QByteArray permissionContent = "[Suffix]\r\na.com=\r\nb.com=\r\n";

class ProfileFilePermissionTest : public ProfileFileTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(tools_.isValid());
        // The tool runs from a folder the unprivileged user may enter.
        tool_ = tools_.filePath(QStringLiteral("profile_write" KORVANI_EXE_SUFFIX));
        ASSERT_TRUE(QFile::copy(Tool, tool_));
        testsupport::setMode(tools_.path(), 0755);
        testsupport::setMode(tool_, 0755);
    }
    void TearDown() override { testsupport::setMode(dir_.path(), 0700); }

    // Runs the tool as the unprivileged user; returns the write's result.
    int runTool(const QStringList& arguments) {
        QProcess process;
        testsupport::limitChildFileSize(process, fileSizeLimit_, true); // as the program does
        testsupport::startAsUser(process, tool_, arguments);
        EXPECT_TRUE(process.waitForFinished(30000));
        const QByteArray out = process.readAllStandardOutput().trimmed();
        EXPECT_TRUE(out == "result=0" || out == "result=1")
            << out.toStdString() << process.readAllStandardError().toStdString();
        EXPECT_EQ(out, "result=" + QByteArray::number(process.exitCode()));
        return process.exitCode();
    }

    int write(const char* key) {
        return runTool({QStringLiteral("write"), file(), QStringLiteral("Suffix"),
                        QString::fromLatin1(key), QString()});
    }
    int remove(const char* key) {
        return runTool(
            {QStringLiteral("delete"), file(), QStringLiteral("Suffix"), QString::fromLatin1(key)});
    }
    // The settings file holding permissionContent, and the modes of it and its folder.
    void lay(mode_t fileMode, mode_t folderMode) {
        writeFile(file(), permissionContent);
        testsupport::setMode(file(), fileMode);
        testsupport::setMode(dir_.path(), folderMode);
    }

    QTemporaryDir tools_;
    QString tool_;
    std::int64_t fileSizeLimit_ = -1; // the tool's file-size limit, none when negative
};

TEST_F(ProfileFilePermissionTest, AWritableFileInAWritableFolderIsWritten) {
    lay(0666, 0777);
    testsupport::giveToUser(file()); // the writer's own file: a temporary file replaces it
    EXPECT_EQ(write("c.com"), 1);
    EXPECT_EQ(remove("a.com"), 1);
    EXPECT_EQ(readFile(file()), "[Suffix]\r\nb.com=\r\nc.com=\r\n");
}

TEST_F(ProfileFilePermissionTest, AReadOnlyFileIsNotWritten) {
    lay(0444, 0777); // the folder alone would allow replacing the file
    EXPECT_EQ(write("c.com"), 0);
    EXPECT_EQ(remove("a.com"), 0);
    // Without a write bit, read-only for root too.
    EXPECT_EQ(ProfileFile::setKey(file(), "Suffix", "c.com", "").failure, FileFailure::ReadOnly);
    EXPECT_EQ(ProfileFile::removeKey(file(), "Suffix", "a.com").failure, FileFailure::ReadOnly);
    EXPECT_EQ(readFile(file()), permissionContent);
    EXPECT_EQ(QFile::permissions(file()) & 0x7077,
              QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    EXPECT_TRUE(strayFiles().isEmpty()) << strayFiles().join(u' ').toStdString();
}

#ifndef _WIN32 // a folder the user may not write to
TEST_F(ProfileFilePermissionTest, AWritableFileInAReadOnlyFolderIsWrittenInPlace) {
    lay(0666, 0555); // no temporary file can go beside it
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(file()).constData(), &before), 0);
    // A write that the file-size limit would cut halfway leaves the old bytes.
    fileSizeLimit_ = permissionContent.size() + 3;
    EXPECT_EQ(write("c.com"), 0);
    EXPECT_EQ(readFile(file()), permissionContent);
    fileSizeLimit_ = -1;
    EXPECT_EQ(write("c.com"), 1);
    EXPECT_EQ(remove("a.com"), 1);
    EXPECT_EQ(write("b.com"), 1);
    EXPECT_EQ(readFile(file()), "[Suffix]\r\n      \r\nb.com=\r\nc.com=\r\n");
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(file()).constData(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_TRUE(strayFiles().isEmpty()) << strayFiles().join(u' ').toStdString();
}

// A write keeps the file's owner and group: root gives its new file to them, and a
// user who may not write in place rather than hand the file over; root's file of the
// group staff stays so.
TEST_F(ProfileFilePermissionTest, AWriteKeepsTheFilesOwner) {
    const passwd* user = ::geteuid() == 0 ? testsupport::unprivilegedUser() : nullptr;
    if (user == nullptr)
        GTEST_SKIP() << "only root can give a file to another user";
    const QByteArray path = QFile::encodeName(file());
    const struct {
        uid_t owner;
        gid_t group; // 50: staff
        mode_t mode;
        bool byRoot; // the write; the delete by the user where others may write the file
    } rows[] = {{user->pw_uid, user->pw_gid, 0666, true}, {0, 0, 0666, false}, {0, 50, 0664, true}};
    for (const auto& row : rows) {
        lay(row.mode, 0777); // a temporary file may go beside it
        ASSERT_EQ(::chown(path.constData(), row.owner, row.group), 0);
        EXPECT_EQ(row.byRoot ? ProfileFile::writeString(file(), "Suffix", "c.com", "")
                             : write("c.com"),
                  1);
        EXPECT_EQ(
            row.mode & 2 ? remove("a.com") : ProfileFile::deleteKey(file(), "Suffix", "a.com"), 1);
        struct stat st {};
        ASSERT_EQ(::stat(path.constData(), &st), 0);
        EXPECT_EQ(st.st_uid, row.owner) << "by root " << row.byRoot;
        EXPECT_EQ(st.st_gid, row.group);
        EXPECT_EQ(st.st_mode & 07777, row.mode);
        EXPECT_EQ(readSection(file(), "Suffix").entries, (QList<QByteArray>{"b.com=", "c.com="}));
    }
}

// An attribute the user may not give a new file (a capability root set, which only root
// may set) keeps the user's own file from being replaced: it is written in place.
TEST_F(ProfileFilePermissionTest, AnAttributeTheUserMayNotSetIsWrittenInPlace) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can set a capability";
    lay(0644, 0777);
    testsupport::giveToUser(file()); // no change of owner holds the write back
    const QByteArray path = QFile::encodeName(file());
    const quint32 capability[] = {0x02000000, 0x400, 0, 0, 0}; // cap_net_bind_service
    ASSERT_EQ(::setxattr(path.constData(), "security.capability", capability, sizeof capability, 0),
              0);
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(path.constData(), &before), 0);
    EXPECT_EQ(write("c.com"), 1);
    ASSERT_EQ(::stat(path.constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(readFile(file()), permissionContent + "c.com=\r\n");
    EXPECT_TRUE(strayFiles().isEmpty()) << strayFiles().join(u' ').toStdString();
}

#endif

// Two writers adding keys at once lose none: under the folder's lock; where the folder
// cannot be read, under the file's own (through temporary files that replace it where
// the folder may be written, in place where not); root, who reads the folder, and a user
// who may not; and when the file does not exist yet and starts as a copy of another, as
// the user's copy of an installed file does.
TEST_F(ProfileFilePermissionTest, TwoProcessesAddingAtOnceLoseNothing) {
    const QByteArray content = "[Suffix]\r\nexample.com=\r\n[Other]\r\nx=\r\n";
    const QString seed = tools_.filePath(QStringLiteral("installed.ini"));
    writeFile(seed, content);
    testsupport::setMode(seed, 0644);
    const struct {
        mode_t folder;
        bool seeded;
        bool firstByRoot = false;
    } rows[] = {{0777, false},
                {0777, true},
#ifndef _WIN32
                {0733, false},
                {0711, false},
                {0711, false, true}
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << std::oct << row.folder << " seeded " << row.seeded);
        testsupport::setMode(dir_.path(), 0700);
        QFile::remove(file());
        if (!row.seeded) {
            writeFile(file(), content);
            testsupport::setMode(file(), 0666);
        }
        testsupport::setMode(dir_.path(), row.folder);
        const QStringList options =
            row.seeded ? QStringList{QStringLiteral("--seed"), seed} : QStringList{};
        QProcess writers[2];
        for (int i = 0; i < 2; ++i)
            testsupport::startAsUser(
                writers[i], tool_,
                options + QStringList{QStringLiteral("add-many"), file(), QStringLiteral("Suffix"),
                                      QStringLiteral("w%1-").arg(i), QStringLiteral("100")},
                !(row.firstByRoot && i == 0));
        for (QProcess& writer : writers) {
            ASSERT_TRUE(writer.waitForFinished(120000));
            EXPECT_EQ(writer.exitCode(), 0) << writer.readAllStandardOutput().toStdString();
        }
        testsupport::setMode(dir_.path(), 0700);
        const QList<QByteArray> entries = readSection(file(), "Suffix").entries;
        EXPECT_EQ(entries.size(), 201);
        for (int i = 0; i < 100; ++i) {
            for (const char* prefix : {"w0-", "w1-"})
                EXPECT_EQ(entries.count(prefix + QByteArray::number(i) + "="), 1) << prefix << i;
        }
        EXPECT_EQ(readSection(file(), "Other").entries, QList<QByteArray>{"x="});
        EXPECT_TRUE(strayFiles().isEmpty()) << strayFiles().join(u' ').toStdString();
    }
    EXPECT_EQ(readFile(seed), content);
}

} // namespace
