#include "platform/ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {
namespace {

std::atomic<int> lockTimeoutMs{ProfileFile::DefaultLockTimeoutMs};

std::function<bool()>& beforeReplaceHook() {
    static std::function<bool()> hook;
    return hook;
}

// ---------------------------------------------------------------------------
// Text helpers on raw bytes

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

QByteArrayView trimmed(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

bool isAscii(QByteArrayView text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Section and key names match without regard to letter case (Unicode case folding
// for names outside ASCII).
bool namesEqual(QByteArrayView a, QByteArrayView b) {
    if (isAscii(a) && isAscii(b)) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(),
                          [](char x, char y) { return asciiLower(x) == asciiLower(y); });
    }
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

bool hasLineBreakOrNul(QByteArrayView text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

// ---------------------------------------------------------------------------
// Line scanning

enum class LineKind { Blank, Comment, Section, Entry };

struct Line {
    qsizetype start = 0;      // first byte of the line
    qsizetype contentEnd = 0; // end of the line's text, before CR LF or LF
    qsizetype end = 0;        // first byte of the next line
    bool terminated = false;  // ended by LF (not by the end of the file)
    LineKind kind = LineKind::Blank;
    QByteArrayView name;     // section name or key, trimmed
    QByteArrayView value;    // value of an entry, trimmed (empty without '=')
    qsizetype equalsAt = -1; // offset of the first '=' of an entry, -1 when none
};

class LineReader {
public:
    explicit LineReader(QByteArrayView data) : data_(data) {
        if (data_.startsWith("\xEF\xBB\xBF"))
            pos_ = 3;
    }

    bool next(Line& line) {
        if (pos_ >= data_.size())
            return false;
        line = Line{};
        line.start = pos_;
        const qsizetype lf = data_.indexOf('\n', pos_);
        if (lf < 0) {
            line.contentEnd = data_.size();
            line.end = data_.size();
        } else {
            line.contentEnd = (lf > pos_ && data_[lf - 1] == '\r') ? lf - 1 : lf;
            line.end = lf + 1;
            line.terminated = true;
        }
        // A NUL byte (a damaged file) ends the line's text: names, values and section
        // entries never hold one, so a NUL-separated entry list stays whole.
        if (const qsizetype nul =
                data_.sliced(line.start, line.contentEnd - line.start).indexOf('\0');
            nul >= 0)
            line.contentEnd = line.start + nul;
        pos_ = line.end;
        classify(line);
        return true;
    }

private:
    void classify(Line& line) const {
        const QByteArrayView raw = data_.sliced(line.start, line.contentEnd - line.start);
        const QByteArrayView text = trimmed(raw);
        if (text.isEmpty()) {
            line.kind = LineKind::Blank;
        } else if (text.front() == ';') {
            line.kind = LineKind::Comment;
        } else if (text.front() == '[') {
            line.kind = LineKind::Section;
            QByteArrayView name = text.sliced(1);
            const qsizetype close = name.indexOf(']');
            if (close >= 0)
                name = name.first(close);
            line.name = trimmed(name);
        } else {
            line.kind = LineKind::Entry;
            const qsizetype eq = raw.indexOf('=');
            if (eq < 0) {
                line.name = text;
            } else {
                line.equalsAt = line.start + eq;
                line.name = trimmed(raw.first(eq));
                line.value = trimmed(raw.sliced(eq + 1));
            }
        }
    }

    QByteArrayView data_;
    qsizetype pos_ = 0;
};

// Where the first section of a name lies in a file, and the first key of a name in it.
struct SectionScan {
    bool sectionFound = false;
    Line lastNonBlank; // the section's last non-blank line (its header when it has none)
    bool keyFound = false;
    Line key;
};

// Walks the lines of the first section called `section`; calls onEntry for each of
// its entries until onEntry returns false.
template <typename OnEntry>
SectionScan scanSection(QByteArrayView data, QByteArrayView section, OnEntry onEntry) {
    SectionScan scan;
    LineReader reader(data);
    Line line;
    bool inside = false;
    while (reader.next(line)) {
        if (line.kind == LineKind::Section) {
            if (inside)
                break; // the first matching section wins
            if (namesEqual(line.name, section)) {
                inside = true;
                scan.sectionFound = true;
                scan.lastNonBlank = line;
            }
            continue;
        }
        if (!inside || line.kind == LineKind::Blank)
            continue;
        scan.lastNonBlank = line;
        if (line.kind == LineKind::Entry && !onEntry(line))
            break;
    }
    return scan;
}

SectionScan findKey(QByteArrayView data, QByteArrayView section, QByteArrayView key) {
    Line found;
    bool keyFound = false;
    SectionScan scan = scanSection(data, section, [&](const Line& line) {
        if (!keyFound && namesEqual(line.name, key)) {
            found = line;
            keyFound = true;
        }
        return true; // keep going: the section's last line is wanted too
    });
    scan.keyFound = keyFound;
    scan.key = found;
    return scan;
}

// Reads the whole file once. A missing file gives empty data and exists = false.
bool readWhole(const QString& path, QByteArray& data, bool& exists) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        exists = file.exists();
        data.clear();
        return !exists; // a file that exists but cannot be read is a failure
    }
    exists = true;
    data = file.readAll();
    return file.error() == QFileDevice::NoError;
}

QByteArrayView lineEnding(QByteArrayView data) {
    const qsizetype lf = data.indexOf('\n');
    if (lf > 0 && data[lf - 1] == '\r')
        return "\r\n";
    if (lf >= 0)
        return "\n";
    return "\r\n"; // a new or single-line file takes the platform's convention
}

qsizetype copyCapped(QByteArrayView text, char* buffer, int bufferSize) {
    const qsizetype n = std::min<qsizetype>(text.size(), bufferSize - 1);
    if (n > 0)
        std::memcpy(buffer, text.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

// ---------------------------------------------------------------------------
// Writers' lock: flock() on path + ".lock". The lock file stays in place; removing it
// would let a writer lock a file that is no longer the lock. A blocking flock lets a
// waiting writer in as soon as the holder lets go; it runs on a helper thread so that
// the wait can end after the timeout.

class WriterLock {
public:
    WriterLock(const QString& path, int timeoutMs) {
        const QByteArray lockPath = QFile::encodeName(path + QStringLiteral(".lock"));
        int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
            fd = ::open(lockPath.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            fd_ = fd;
            return;
        }
        if (errno != EWOULDBLOCK) {
            ::close(fd);
            return;
        }
        fd_ = waitFor(fd, timeoutMs);
    }
    ~WriterLock() {
        if (fd_ >= 0)
            ::close(fd_); // closing the only descriptor releases the lock
    }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    bool held() const { return fd_ >= 0; }

private:
    struct Wait {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool locked = false;
        bool abandoned = false;
    };

    static int waitFor(int fd, int timeoutMs) {
        auto wait = std::make_shared<Wait>();
        std::thread([wait, fd] {
            int result;
            do {
                result = ::flock(fd, LOCK_EX);
            } while (result != 0 && errno == EINTR);
            std::lock_guard guard(wait->mutex);
            if (wait->abandoned) {
                ::close(fd); // the writer gave up; let the lock go at once
                return;
            }
            wait->finished = true;
            wait->locked = result == 0;
            wait->done.notify_one();
        }).detach();

        std::unique_lock guard(wait->mutex);
        wait->done.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                            [&] { return wait->finished; });
        if (wait->finished && wait->locked)
            return fd;
        if (wait->finished)
            ::close(fd);
        else
            wait->abandoned = true; // the helper closes the descriptor when it returns
        return -1;
    }

    int fd_ = -1;
};

// Replaces the file with data through a temporary file in the same folder and a
// rename, so that the file is either the old one or the new one, never a mix.
bool replaceFile(const QString& path, QByteArrayView data, bool existed) {
    if (existed && !QFileInfo(path).isWritable())
        return false; // a read-only settings file stays as it is
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data.data(), data.size()) != data.size()) {
        file.cancelWriting();
        return false;
    }
    if (const auto& hook = beforeReplaceHook(); hook && !hook()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// A key this file format can hold: not empty, no '=', no line break, not read back
// as a comment or a section.
bool isStorableKey(QByteArrayView key) {
    return !key.isEmpty() && key.indexOf('=') < 0 && key.front() != ';' && key.front() != '[' &&
           !hasLineBreakOrNul(key);
}

bool isStorableSection(QByteArrayView section) {
    return !section.isEmpty() && section.indexOf(']') < 0 && !hasLineBreakOrNul(section);
}

} // namespace

void ProfileFile::setLockTimeout(int milliseconds) {
    lockTimeoutMs = std::max(0, milliseconds);
}

void ProfileFile::setBeforeReplaceHook(std::function<bool()> hook) {
    beforeReplaceHook() = std::move(hook);
}

int ProfileFile::readString(const QString& path, QByteArrayView section, QByteArrayView key,
                            QByteArrayView defaultValue, char* buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0)
        return 0;
    QByteArray data;
    bool exists = false;
    if (!readWhole(path, data, exists) || !exists)
        return static_cast<int>(copyCapped(defaultValue, buffer, bufferSize));

    const SectionScan scan = findKey(data, trimmed(section), trimmed(key));
    if (!scan.keyFound)
        return static_cast<int>(copyCapped(defaultValue, buffer, bufferSize));

    QByteArrayView value = scan.key.value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    return static_cast<int>(copyCapped(value, buffer, bufferSize));
}

int ProfileFile::readSection(const QString& path, QByteArrayView section, char* buffer,
                             int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0)
        return 0;
    buffer[0] = '\0';
    if (bufferSize > 1)
        buffer[1] = '\0';
    QByteArray data;
    bool exists = false;
    if (!readWhole(path, data, exists) || !exists)
        return 0;

    qsizetype used = 0;
    scanSection(data, trimmed(section), [&](const Line& line) {
        const qsizetype valueSize = line.equalsAt >= 0 ? 1 + line.value.size() : 0;
        const qsizetype entrySize = line.name.size() + valueSize;
        // The entry, its NUL and the list's final NUL must fit; a cut entry is dropped.
        if (used + entrySize + 2 > bufferSize)
            return false;
        char* out = buffer + used;
        std::memcpy(out, line.name.data(), static_cast<size_t>(line.name.size()));
        out += line.name.size();
        if (line.equalsAt >= 0) {
            *out++ = '=';
            std::memcpy(out, line.value.data(), static_cast<size_t>(line.value.size()));
            out += line.value.size();
        }
        *out = '\0';
        used += entrySize + 1;
        return true;
    });
    buffer[used] = '\0';
    return static_cast<int>(used);
}

int ProfileFile::writeString(const QString& path, QByteArrayView section, QByteArrayView key,
                             QByteArrayView value) {
    section = trimmed(section);
    key = trimmed(key);
    if (!isStorableSection(section) || !isStorableKey(key) || hasLineBreakOrNul(value))
        return 0;

    WriterLock lock(path, lockTimeoutMs);
    if (!lock.held())
        return 0;
    QByteArray data;
    bool exists = false;
    if (!readWhole(path, data, exists))
        return 0;

    const QByteArrayView eol = lineEnding(data);
    const SectionScan scan = findKey(data, section, key);
    QByteArray out;
    out.reserve(data.size() + section.size() + key.size() + value.size() + 8);
    if (!scan.sectionFound) {
        out.append(data);
        if (!out.isEmpty() && !out.endsWith('\n'))
            out.append(eol);
        out.append('[').append(section).append(']').append(eol);
        out.append(key).append('=').append(value).append(eol);
    } else if (scan.keyFound) {
        // The key keeps its spelling and the bytes before its '='; only the value changes.
        const Line& line = scan.key;
        const qsizetype keyEnd = line.equalsAt >= 0
                                     ? line.equalsAt
                                     : (line.name.data() - data.constData()) + line.name.size();
        out.append(QByteArrayView(data).first(keyEnd));
        out.append('=').append(value);
        out.append(QByteArrayView(data).sliced(line.contentEnd));
        if (out == data)
            return 1; // the file already holds this value
    } else {
        const Line& last = scan.lastNonBlank;
        if (last.terminated) {
            out.append(QByteArrayView(data).first(last.end));
            out.append(key).append('=').append(value).append(eol);
            out.append(QByteArrayView(data).sliced(last.end));
        } else {
            out.append(data).append(eol);
            out.append(key).append('=').append(value).append(eol);
        }
    }
    return replaceFile(path, out, exists) ? 1 : 0;
}

int ProfileFile::deleteKey(const QString& path, QByteArrayView section, QByteArrayView key) {
    section = trimmed(section);
    key = trimmed(key);
    if (section.isEmpty() || key.isEmpty())
        return 0;

    WriterLock lock(path, lockTimeoutMs);
    if (!lock.held())
        return 0;
    QByteArray data;
    bool exists = false;
    if (!readWhole(path, data, exists) || !exists)
        return 0;

    const SectionScan scan = findKey(data, section, key);
    if (!scan.keyFound)
        return 0;
    QByteArray out;
    out.reserve(data.size());
    out.append(QByteArrayView(data).first(scan.key.start));
    out.append(QByteArrayView(data).sliced(scan.key.end));
    return replaceFile(path, out, true) ? 1 : 0;
}

} // namespace platform
