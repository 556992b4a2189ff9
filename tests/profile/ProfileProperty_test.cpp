// Property checks of the profile writers on many generated settings files: whatever
// the file holds (sections, keys, comments, blank lines, CR LF or LF, odd spacing),
// a value written is read back under its key in any letter case, a key deleted is
// gone, and every other line of the file stays as it was, byte for byte.

#include "profile/ProfileFile.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

using profile::ProfileFile;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

constexpr int Cases = 2500;
const QByteArray Absent = "\x01"
                          "absent"; // never generated: marks a missing key

// One line of a file: its text and what ended it ("", "\n" or "\r\n").
struct FileLine {
    QByteArray text;
    QByteArray ending;
    bool operator==(const FileLine&) const = default;
};

std::vector<FileLine> splitLines(const QByteArray& data) {
    std::vector<FileLine> lines;
    qsizetype pos = 0;
    while (pos < data.size()) {
        const qsizetype lf = data.indexOf('\n', pos);
        if (lf < 0) {
            lines.push_back({data.sliced(pos), {}});
            break;
        }
        const bool crlf = lf > pos && data[lf - 1] == '\r';
        lines.push_back({data.sliced(pos, lf - pos - (crlf ? 1 : 0)), crlf ? "\r\n" : "\n"});
        pos = lf + 1;
    }
    return lines;
}

bool namesEqual(const QByteArray& a, const QByteArray& b) {
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

// The key of an entry line: the trimmed text before its first '=' (or all of it).
QByteArray keyOf(const QByteArray& line) {
    const qsizetype eq = line.indexOf('=');
    return (eq < 0 ? line : line.first(eq)).trimmed();
}

// What a read gives for a written value: trimmed, one pair of matching quotes removed.
QByteArray readBack(const QByteArray& value) {
    QByteArray v = value.trimmed();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.sliced(1, v.size() - 2);
    return v;
}

bool hasLineBreakOrNul(const QByteArray& text) {
    return text.contains('\r') || text.contains('\n') || text.contains('\0');
}

// What the writer accepts (what the file gives back as written); anything else must
// leave the file untouched.
bool storable(const QByteArray& section, const QByteArray& key, const QByteArray& value) {
    const QByteArray k = key.trimmed();
    return !hasLineBreakOrNul(section) && !k.contains('=') && !hasLineBreakOrNul(k) &&
           !hasLineBreakOrNul(value) &&
           (!k.startsWith('[') || (!k.contains(']') && !value.contains(']')));
}

class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int percent) { return below(100) < percent; }

    template <typename T> const T& oneOf(const std::vector<T>& items) {
        return items[static_cast<size_t>(below(static_cast<int>(items.size())))];
    }

    // Names mostly from a small set, so that files and writes meet; the rest random.
    QByteArray sectionName() {
        static const std::vector<QByteArray> names = {"Suffixes", "frmMain", "Options",
                                                      "\xC3\x84pfel", "a b"};
        return chance(80) ? oneOf(names) : text(1 + below(8), false);
    }
    QByteArray keyName() {
        static const std::vector<QByteArray> names = {"gmail", "@yahoo.com",       "Key",
                                                      "k",     "schl\xC3\xBCssel", "x y"};
        return chance(75) ? oneOf(names) : text(1 + below(10), false);
    }
    QByteArray value() { return chance(10) ? QByteArray() : text(below(20), true); }

    // Letters in both cases (also outside ASCII), digits, blanks and the characters
    // that mean something in the file; values may also hold '=', ';', '[' and quotes.
    QByteArray text(int length, bool asValue) {
        static const std::vector<QByteArray> nameChars = {
            "a", "B", "c", "D", "x",        "Y",        "0",        "7",       " ",
            "@", ".", "-", "_", "\xC3\xA4", "\xC3\x84", "\xC3\xA9", "\xC3\x89"};
        static const std::vector<QByteArray> valueChars = {"=", ";", "[", "]", "\"", "'", "\t"};
        QByteArray out;
        for (int i = 0; i < length; ++i)
            out += asValue && chance(20) ? oneOf(valueChars) : oneOf(nameChars);
        return out;
    }

    // The same name with the case of its letters changed at random.
    QByteArray recase(const QByteArray& name) {
        QString s = QString::fromUtf8(name);
        for (QChar& c : s) {
            if (chance(50))
                c = c.isUpper() ? c.toLower() : c.toUpper();
        }
        return s.toUtf8();
    }

    QByteArray blanks() { return QByteArray(below(3), chance(70) ? ' ' : '\t'); }

    QByteArray file() {
        const QByteArray eol = chance(50) ? "\r\n" : "\n";
        QByteArray out = chance(10) ? "\xEF\xBB\xBF" : "";
        const int lines = below(14);
        for (int i = 0; i < lines; ++i) {
            switch (below(10)) {
            case 0:
                out += blanks(); // blank
                break;
            case 1:
                out += blanks() + ";" + text(below(12), true); // comment
                break;
            case 2:
            case 3:
                out += blanks() + "[" + blanks() + sectionName() + blanks() + "]" +
                       (chance(10) ? " trailing" : "");
                break;
            case 4:
                out += blanks() + keyName() + blanks(); // a line without '='
                break;
            default:
                out += blanks() + keyName() + blanks() + "=" + blanks() + value() + blanks();
                break;
            }
            // Mostly the file's own line end, sometimes the other one or none at the end.
            if (i + 1 < lines || chance(70))
                out += chance(10) ? QByteArray(eol == "\n" ? "\r\n" : "\n") : eol;
        }
        return out;
    }

private:
    std::mt19937 rng_;
};

// The section and key of every entry line in a file, in file order.
std::vector<std::pair<QByteArray, QByteArray>> entriesOf(const QByteArray& data) {
    std::vector<std::pair<QByteArray, QByteArray>> entries;
    QByteArray section;
    for (const FileLine& line :
         splitLines(data.startsWith("\xEF\xBB\xBF") ? data.sliced(3) : data)) {
        const QByteArray text = line.text.trimmed();
        if (text.startsWith('[')) {
            const QByteArray name = text.sliced(1);
            section = (name.contains(']') ? name.first(name.indexOf(']')) : name).trimmed();
        } else if (!text.isEmpty() && !text.startsWith(';') && !section.isEmpty() &&
                   !keyOf(text).isEmpty()) {
            entries.emplace_back(section, keyOf(text));
        }
    }
    return entries;
}

QByteArray readString(const QString& path, const QByteArray& section, const QByteArray& key) {
    char buffer[ProfileFile::StringBufferSize];
    const int n =
        ProfileFile::readString(path, section, key, Absent, buffer, ProfileFile::StringBufferSize);
    return QByteArray(buffer, n);
}

// The value of the first entry of the key in the section's list, or Absent.
QByteArray sectionValue(const QString& path, const QByteArray& section, const QByteArray& key) {
    std::vector<char> buffer(ProfileFile::SectionBufferSize);
    ProfileFile::readSection(path, section, buffer.data(), ProfileFile::SectionBufferSize);
    for (const char* p = buffer.data(); *p != '\0'; p += std::strlen(p) + 1) {
        const QByteArray entry(p);
        if (namesEqual(keyOf(entry), key))
            return entry.contains('=') ? entry.sliced(entry.indexOf('=') + 1) : QByteArray();
    }
    return Absent;
}

// The lines of a file as readers take them: trimmed, blank ones left out.
QList<QByteArray> readLines(QByteArray data) {
    QList<QByteArray> lines;
    for (const QByteArray& line : data.replace('\r', '\n').split('\n')) {
        if (!line.trimmed().isEmpty())
            lines.append(line.trimmed());
    }
    return lines;
}

class ProfilePropertyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("Korvani.ini"));
    }

    // The same change made in place (as in a folder that takes no temporary file)
    // reads as the one made through a temporary file, or fails and changes nothing.
    void expectTheSameInPlace(const QByteArray& original, const QByteArray& after,
                              const std::function<int(const QString&)>& change, int& done) {
        const QString copy = dir_.filePath(QStringLiteral("in-place.ini"));
        writeFile(copy, original);
        ProfileFile::setInPlaceOnly(true);
        const int result = change(copy);
        ProfileFile::setInPlaceOnly(false);
        done += result;
        EXPECT_EQ(readLines(readFile(copy)), readLines(result == 1 ? after : original));
    }
    // Thousands of replaced files: on tmpfs when there is one, where a sync costs nothing.
    static QString scratchFolder() {
        const QString shm = QStringLiteral("/dev/shm");
        return (QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm : QDir::tempPath()) +
               QStringLiteral("/korvani-property-XXXXXX");
    }
    QTemporaryDir dir_{scratchFolder()};
    QString path_;
};

// The old and new lines differ only by the line of the key: changed in place,
// inserted, or appended after a new section header at the end of the file.
void expectOnlyTheKeyLineChanged(const std::vector<FileLine>& before,
                                 const std::vector<FileLine>& after, const QByteArray& section,
                                 const QByteArray& key, const QByteArray& value) {
    ASSERT_GE(after.size(), before.size());
    ASSERT_LE(after.size(), before.size() + 2);
    size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const size_t changedBefore = before.size() - prefix - suffix;
    const size_t changedAfter = after.size() - prefix - suffix;

    const QByteArray written = key.trimmed() + "=" + value;
    if (after.size() == before.size()) {
        if (changedBefore == 0)
            return; // the file held this value already
        // The key's own line: its spelling, the bytes before '=' and its end stay.
        ASSERT_EQ(changedBefore, 1u);
        ASSERT_EQ(changedAfter, 1u);
        const QByteArray& old = before[prefix].text;
        const qsizetype eq = old.indexOf('=');
        const QByteArray head =
            eq < 0 ? old.first(old.indexOf(keyOf(old)) + keyOf(old).size()) : old.first(eq);
        EXPECT_TRUE(namesEqual(keyOf(old), key.trimmed()));
        EXPECT_EQ(after[prefix].text, head + "=" + value);
        EXPECT_EQ(after[prefix].ending, before[prefix].ending);
        return;
    }
    // A line without an end at the end of the file gets one before anything follows.
    size_t from = prefix;
    if (changedBefore == 1) {
        ASSERT_EQ(prefix + 1, before.size()) << "only the last line may change its end";
        ASSERT_TRUE(before[prefix].ending.isEmpty());
        EXPECT_EQ(after[prefix].text, before[prefix].text);
        EXPECT_FALSE(after[prefix].ending.isEmpty());
        ++from;
    } else {
        ASSERT_EQ(changedBefore, 0u);
    }
    const size_t added = after.size() - before.size();
    ASSERT_GE(added, 1u);
    if (added == 2) {
        ASSERT_EQ(from + 2, after.size()) << "a new section goes at the end of the file";
        EXPECT_EQ(after[from].text, "[" + section.trimmed() + "]");
        ++from;
    }
    EXPECT_EQ(after[from].text, written);
    EXPECT_FALSE(after[from].ending.isEmpty());
}

TEST_F(ProfilePropertyTest, AWrittenValueReadsBackAndNoOtherLineChanges) {
    Generator gen(20240611);
    int written = 0, refused = 0, inPlace = 0, writtenInPlace = 0;
    for (int i = 0; i < Cases; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        const QByteArray original = gen.file();
        writeFile(path_, original);
        QByteArray section = gen.sectionName();
        QByteArray key = gen.keyName();
        QByteArray value = gen.value();
        // Often a key the file holds already, in other letter case.
        if (const auto entries = entriesOf(original); !entries.empty() && gen.chance(50)) {
            const auto& [s, k] = gen.oneOf(entries);
            section = gen.recase(s);
            key = gen.recase(k);
        }
        // Now and then something the file format cannot hold.
        switch (gen.below(12)) {
        case 0:
            key = "a=b";
            break;
        case 1:
            key = ";" + key;
            break;
        case 2:
            value += "\r\nk=v";
            break;
        case 3:
            section += "]";
            break;
        case 4:
            key = gen.blanks();
            break;
        default:
            break;
        }
        if (gen.chance(20))
            key = " " + key + "\t"; // blanks around a name do not count

        const int result = ProfileFile::writeString(path_, section, key, value);
        const QByteArray after = readFile(path_);
        if (!storable(section, key, value)) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(after, original) << "a refused write leaves the file untouched";
            ++refused;
            continue;
        }
        ASSERT_EQ(result, 1);
        ++written;
        expectTheSameInPlace(
            original, after,
            [&](const QString& copy) {
                return ProfileFile::writeString(copy, section, key, value);
            },
            writtenInPlace);
        const auto beforeLines = splitLines(original), afterLines = splitLines(after);
        inPlace += beforeLines.size() == afterLines.size() ? 1 : 0;
        expectOnlyTheKeyLineChanged(beforeLines, afterLines, section, key, value);

        const QByteArray otherSection = gen.recase(section.trimmed());
        const QByteArray otherKey = gen.recase(key.trimmed());
        EXPECT_EQ(readString(path_, otherSection, otherKey), readBack(value));
        // A section read leaves comments out.
        EXPECT_EQ(sectionValue(path_, otherSection, otherKey),
                  otherKey.startsWith(';') ? Absent : value.trimmed());
        if (HasFailure())
            return; // one generated file that shows the fault is enough
    }
    // The generator reaches every branch of the writer.
    EXPECT_GT(written, Cases / 2);
    EXPECT_GT(refused, Cases / 20);
    EXPECT_GT(inPlace, Cases / 10);
    EXPECT_GT(writtenInPlace, written * 9 / 10);
}

TEST_F(ProfilePropertyTest, ADeletedKeyIsGoneAndNoOtherLineChanges) {
    Generator gen(77031);
    int deleted = 0, missing = 0, deletedInPlace = 0;
    for (int i = 0; i < Cases; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        const QByteArray original = gen.file();
        writeFile(path_, original);
        QByteArray section = gen.recase(gen.sectionName());
        QByteArray key = gen.recase(gen.keyName());
        if (const auto entries = entriesOf(original); !entries.empty() && gen.chance(60)) {
            const auto& [s, k] = gen.oneOf(entries);
            section = gen.recase(s);
            key = gen.recase(k);
        }
        // The key is in a section of that name (not only the first one).
        const auto entries = entriesOf(original);
        const bool held = std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
            return namesEqual(entry.first, section) && namesEqual(entry.second, key);
        });
        const QByteArray present = readString(path_, section, key);

        const int result = ProfileFile::deleteKey(path_, section, key);
        const QByteArray after = readFile(path_);
        if (!held) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(after, original) << "nothing to delete leaves the file untouched";
            ++missing;
            continue;
        }
        ASSERT_EQ(result, 1);
        ++deleted;
        expectTheSameInPlace(
            original, after,
            [&](const QString& copy) { return ProfileFile::deleteKey(copy, section, key); },
            deletedInPlace);
        // Exactly one line is gone, and it was a line of that key.
        const auto before = splitLines(original), now = splitLines(after);
        ASSERT_EQ(now.size() + 1, before.size());
        size_t gone = 0;
        while (gone < now.size() && before[gone] == now[gone])
            ++gone;
        // It was the first line of the key in the section: the one a read found.
        const QByteArray& line = before[gone].text;
        EXPECT_TRUE(namesEqual(keyOf(line), key.trimmed()));
        if (present != Absent && line.contains('=')) { // a read found it: the same line
            EXPECT_EQ(readBack(line.sliced(line.indexOf('=') + 1)), present);
        }
        EXPECT_TRUE(std::equal(now.begin() + static_cast<qsizetype>(gone), now.end(),
                               before.begin() + static_cast<qsizetype>(gone) + 1));
        if (HasFailure())
            return;
    }
    EXPECT_GT(deleted, Cases / 5);
    EXPECT_GT(missing, Cases / 5);
    EXPECT_EQ(deletedInPlace, deleted);
}

} // namespace
