#include "platform/ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::atomic<int> lockTimeoutMs{ProfileFile::DefaultLockTimeoutMs};
std::atomic<bool> inPlaceOnly{false};

std::function<bool()>& beforeReplaceHook() {
    static std::function<bool()> hook;
    return hook;
}

// ---------------------------------------------------------------------------
// Text helpers on raw bytes

// The blanks the profile rules trim: tab, LF, VT, FF, CR, space and Ctrl-Z.
bool isBlank(char c) {
    return (c >= '\t' && c <= '\r') || c == ' ' || c == '\x1a';
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

// A name or value as the Windows functions see it: a C string, ended by a NUL.
QByteArrayView upToNul(QByteArrayView text) {
    const qsizetype nul = text.indexOf('\0');
    return nul < 0 ? text : text.first(nul);
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
// The file as sections of entries

struct Entry {
    qsizetype start = 0;      // first byte of the line
    qsizetype contentEnd = 0; // end of the line's text, before its line break
    qsizetype end = 0;        // first byte of the next line
    qsizetype keyEnd = 0;     // where a new value replaces the old: the '=' or the key's end
    QByteArrayView name;      // the key, trimmed, up to a NUL
    QByteArrayView value;     // the value, trimmed, up to a NUL
    bool hasValue = false;    // the line has a '='
    bool hidden = false;      // an empty key right after another: not an entry
    bool terminated() const { return end > contentEnd; }
};

struct Section {
    QByteArrayView name;   // trimmed, up to a NUL; empty for the lines before the first header
    qsizetype lastEnd = 0; // end of the section's last non-blank line (with its line break)
    bool lastTerminated = true;
    size_t firstEntry = 0;
    size_t entryCount = 0;
};

class ProfileText {
public:
    explicit ProfileText(QByteArray data) : data_(std::move(data)) { parse(); }

    const QByteArray& data() const { return data_; }
    const std::vector<Section>& sections() const { return sections_; }
    const Entry* entries(const Section& section) const {
        return entries_.data() + section.firstEntry;
    }

    const Section* findSection(QByteArrayView name, const Section* after = nullptr) const {
        auto it = after ? sections_.begin() + (after - sections_.data()) + 1 : sections_.begin();
        for (; it != sections_.end(); ++it) {
            if (namesEqual(it->name, name))
                return &*it;
        }
        return nullptr;
    }

    const Entry* findKey(const Section& section, QByteArrayView key) const {
        const Entry* entry = entries(section);
        for (size_t i = 0; i < section.entryCount; ++i, ++entry) {
            if (!entry->hidden && namesEqual(entry->name, key))
                return entry;
        }
        return nullptr;
    }

private:
    void parse() {
        const QByteArrayView data(data_);
        qsizetype pos = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        sections_.push_back(Section{{}, pos, true, 0, 0});
        bool previousKeyEmpty = false; // the section's last entry that counts has an empty key
        bool hasPrevious = false;
        while (pos < data.size()) {
            qsizetype contentEnd = pos;
            while (contentEnd < data.size() && data[contentEnd] != '\n' && data[contentEnd] != '\r')
                ++contentEnd;
            qsizetype end = contentEnd;
            if (end < data.size())
                end +=
                    (data[end] == '\r' && end + 1 < data.size() && data[end + 1] == '\n') ? 2 : 1;
            const qsizetype start = pos;
            pos = end;

            const QByteArrayView text = trimmed(data.sliced(start, contentEnd - start));
            if (text.isEmpty())
                continue;
            if (text.front() == '[') {
                if (const qsizetype close = text.lastIndexOf(']'); close > 0) {
                    Section section;
                    section.name = upToNul(trimmed(text.sliced(1, close - 1)));
                    section.lastEnd = end;
                    section.lastTerminated = end > contentEnd;
                    section.firstEntry = entries_.size();
                    sections_.push_back(section);
                    hasPrevious = false;
                    continue;
                }
            }
            Entry entry;
            entry.start = start;
            entry.contentEnd = contentEnd;
            entry.end = end;
            const qsizetype textStart = text.data() - data.data();
            qsizetype rawKeySize = text.size();
            if (const qsizetype eq = text.indexOf('='); eq >= 0) {
                const QByteArrayView key = trimmed(text.first(eq));
                rawKeySize = key.size();
                entry.name = upToNul(key);
                entry.value = upToNul(trimmed(text.sliced(eq + 1)));
                entry.hasValue = true;
                entry.keyEnd = textStart + eq;
            } else {
                entry.name = upToNul(text);
                entry.keyEnd = textStart + text.size();
            }
            entry.hidden = rawKeySize == 0 && hasPrevious && previousKeyEmpty;
            if (!entry.hidden) {
                hasPrevious = true;
                previousKeyEmpty = entry.name.isEmpty();
            }
            entries_.push_back(entry);
            Section& section = sections_.back();
            ++section.entryCount;
            section.lastEnd = end;
            section.lastTerminated = entry.terminated();
        }
    }

    QByteArray data_;
    std::vector<Section> sections_;
    std::vector<Entry> entries_;
};

// ---------------------------------------------------------------------------
// Reading a file, and the read cache

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const FileIdentity& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

FileIdentity identityOf(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

bool before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

enum class ReadStatus { Ok, Missing, Failed };

// Reads the whole file. `settled` tells whether its times are older than the moment
// the read began: only then does any later change show in its times (file times come
// from the same coarse clock, so a change within that clock tick would not).
ReadStatus readWhole(const QByteArray& nativePath, QByteArray& data, FileIdentity* identity,
                     bool* settled) {
    timespec began{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &began);
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return ReadStatus::Failed;
    }
    data.clear();
    data.reserve(static_cast<qsizetype>(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return ReadStatus::Failed;
        }
        if (n == 0)
            break;
        data.append(chunk, n);
    }
    ::close(fd);
    if (identity)
        *identity = identityOf(st);
    if (settled)
        *settled = before(st.st_mtim, began) && before(st.st_ctim, began);
    return ReadStatus::Ok;
}

// The last file read, parsed, while its path names the same unchanged file. Writes
// through ProfileFile drop it.
class ReadCache {
public:
    // The parsed file, or null when it is missing or cannot be read.
    std::shared_ptr<const ProfileText> get(const QString& path) {
        const QByteArray nativePath = QFile::encodeName(path);
        struct stat st {};
        const bool exists = ::stat(nativePath.constData(), &st) == 0;
        {
            std::lock_guard guard(mutex_);
            if (exists && text_ && nativePath == path_ && identityOf(st) == identity_)
                return text_;
        }
        QByteArray data;
        FileIdentity identity;
        bool settled = false;
        if (readWhole(nativePath, data, &identity, &settled) != ReadStatus::Ok)
            return nullptr;
        auto text = std::make_shared<const ProfileText>(std::move(data));
        std::lock_guard guard(mutex_);
        if (settled) {
            path_ = nativePath;
            identity_ = identity;
            text_ = text;
        } else {
            text_.reset();
        }
        return text;
    }

    void clear() {
        std::lock_guard guard(mutex_);
        text_.reset();
        path_.clear();
    }

    static ReadCache& instance() {
        static ReadCache cache;
        return cache;
    }

private:
    std::mutex mutex_;
    QByteArray path_;
    FileIdentity identity_;
    std::shared_ptr<const ProfileText> text_;
};

qsizetype copyCapped(QByteArrayView text, char* buffer, int bufferSize) {
    const qsizetype n = std::min<qsizetype>(text.size(), bufferSize - 1);
    if (n > 0)
        std::memcpy(buffer, text.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

QByteArrayView withoutQuotes(QByteArrayView value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

// The default as the Windows functions use it: trailing spaces go (all but a first
// character), then one pair of enclosing quotes.
QByteArrayView defaultText(QByteArrayView value) {
    value = upToNul(value);
    while (value.size() > 1 && value.back() == ' ')
        value.chop(1);
    return withoutQuotes(value);
}

// ---------------------------------------------------------------------------
// Writers' lock: flock() on the folder that holds the file. Nothing is created, so
// nothing is left behind, and a folder the user may not write to can still be locked.
// A writer that finds the lock taken tries again after short sleeps until the time-out.

class WriterLock {
public:
    WriterLock(const QByteArray& folder, int timeoutMs) {
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        auto pause = std::chrono::milliseconds(1);
        for (;;) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                fd_ = fd;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR)
                break;
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                break;
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
            pause = std::min(pause * 2, std::chrono::milliseconds(16));
        }
        ::close(fd);
    }
    ~WriterLock() {
        if (fd_ >= 0)
            ::close(fd_); // closing the only descriptor releases the lock
    }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// ---------------------------------------------------------------------------
// Replacing the file

// The file a path names once symbolic links are followed (it need not exist): a
// settings file that is a link stays one, and its target gets the change.
QByteArray resolveLinks(const QByteArray& path) {
    QByteArray current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t n = ::readlink(current.constData(), target.data(), PATH_MAX);
        if (n <= 0)
            return current;
        const QByteArray link(target.data(), n);
        if (link.startsWith('/')) {
            current = link;
        } else {
            const qsizetype slash = current.lastIndexOf('/');
            current = (slash < 0 ? QByteArray() : current.first(slash + 1)) + link;
        }
    }
    return current;
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.first(slash);
}

bool runHook() {
    const auto& hook = beforeReplaceHook();
    return !hook || hook();
}

bool writeAllAt(int fd, QByteArrayView data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::pwrite(fd, data.data() + done, static_cast<size_t>(data.size() - done),
                                   static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Rewrites the file in place, for a folder that takes no temporary file. The space for
// the longer content is reserved first: when the disk is full or the file would pass
// its size limit that fails and the old content is untouched.
bool rewriteInPlace(const QByteArray& target, QByteArrayView old, QByteArrayView data) {
    const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = true;
    if (data.size() > old.size()) {
        const int error = ::posix_fallocate(fd, static_cast<off_t>(old.size()),
                                            static_cast<off_t>(data.size() - old.size()));
        ok = error == 0;
    }
    ok = ok && runHook();
    if (ok && !writeAllAt(fd, data)) {
        // Not expected once the space is there; put the old content back.
        writeAllAt(fd, old);
        ok = false;
    }
    const qsizetype finalSize = ok ? data.size() : old.size();
    if (::ftruncate(fd, static_cast<off_t>(finalSize)) != 0)
        ok = false;
    if (ok && ::fdatasync(fd) != 0)
        ok = false;
    return ::close(fd) == 0 && ok;
}

// Replaces the file with data. Where the folder takes a temporary file, through it
// and a rename, so that the file is either the old one or the new one, never a mix;
// otherwise in place.
bool replaceFile(const QByteArray& target, QByteArrayView old, QByteArrayView data, bool existed) {
    const QString name = QFile::decodeName(target);
    if (existed && ::access(target.constData(), W_OK) != 0)
        return false; // a read-only settings file stays as it is
    if (!inPlaceOnly) {
        QSaveFile file(name);
        file.setDirectWriteFallback(false);
        if (file.open(QIODevice::WriteOnly)) {
            if (file.write(data.data(), data.size()) != data.size() || !runHook()) {
                file.cancelWriting();
                return false;
            }
            return file.commit();
        }
    }
    return existed && rewriteInPlace(target, old, data);
}

// What the file format can give back as written.
bool isStorable(QByteArrayView section, QByteArrayView key, QByteArrayView value) {
    if (hasLineBreakOrNul(section) || hasLineBreakOrNul(key) || hasLineBreakOrNul(value))
        return false;
    if (key.indexOf('=') >= 0)
        return false; // the key would end at it
    // A key line starting with '[' and holding a ']' would open a section.
    return !key.startsWith('[') || (key.indexOf(']') < 0 && value.indexOf(']') < 0);
}

QByteArrayView lineEnding(QByteArrayView data) {
    const qsizetype lf = data.indexOf('\n');
    if (lf > 0 && data[lf - 1] == '\r')
        return "\r\n";
    if (lf >= 0)
        return "\n";
    return "\r\n"; // a new or single-line file takes the platform's convention
}

// Runs change(file, out) on the file's current content under the writers' lock and
// replaces the file with out when change returns 1 and out differs.
template <typename Change> int changeFile(const QString& path, bool createMissing, Change change) {
    const QByteArray target = resolveLinks(QFile::encodeName(path));
    WriterLock lock(folderOf(target), lockTimeoutMs);
    ReadCache::instance().clear();
    if (!lock.held())
        return 0;
    QByteArray data;
    const ReadStatus status = readWhole(target, data, nullptr, nullptr);
    if (status == ReadStatus::Failed || (status == ReadStatus::Missing && !createMissing))
        return 0;
    const ProfileText text(data);
    QByteArray out;
    if (change(text, out) != 1)
        return 0;
    if (status == ReadStatus::Ok && out == data)
        return 1; // the file already holds this
    const int result = replaceFile(target, data, out, status == ReadStatus::Ok) ? 1 : 0;
    ReadCache::instance().clear();
    return result;
}

} // namespace

void ProfileFile::setLockTimeout(int milliseconds) {
    lockTimeoutMs = std::max(0, milliseconds);
}

void ProfileFile::setBeforeReplaceHook(std::function<bool()> hook) {
    beforeReplaceHook() = std::move(hook);
}

void ProfileFile::setInPlaceOnly(bool only) {
    inPlaceOnly = only;
}

int ProfileFile::readString(const QString& path, QByteArrayView section, QByteArrayView key,
                            QByteArrayView defaultValue, char* buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0)
        return 0;
    const auto text = ReadCache::instance().get(path);
    const Section* found = text ? text->findSection(trimmed(upToNul(section))) : nullptr;
    const Entry* entry = found ? text->findKey(*found, trimmed(upToNul(key))) : nullptr;
    if (entry == nullptr || !entry->hasValue)
        return static_cast<int>(copyCapped(defaultText(defaultValue), buffer, bufferSize));
    return static_cast<int>(copyCapped(withoutQuotes(entry->value), buffer, bufferSize));
}

int ProfileFile::readSection(const QString& path, QByteArrayView section, char* buffer,
                             int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0)
        return 0;
    buffer[0] = '\0';
    if (bufferSize == 1)
        return 0;
    buffer[1] = '\0';
    const auto text = ReadCache::instance().get(path);
    const Section* found = text ? text->findSection(upToNul(section)) : nullptr;
    if (found == nullptr)
        return 0;

    // Whole entries only: an entry goes in when it, its NUL and the list's final NUL fit.
    qsizetype used = 0;
    const Entry* entry = text->entries(*found);
    for (size_t i = 0; i < found->entryCount; ++i, ++entry) {
        if (entry->hidden || entry->name.startsWith(';') ||
            (entry->name.isEmpty() && !entry->hasValue))
            continue;
        const qsizetype valueSize = entry->hasValue ? 1 + entry->value.size() : 0;
        const qsizetype entrySize = entry->name.size() + valueSize;
        if (used + entrySize + 2 > bufferSize)
            break;
        char* out = buffer + used;
        std::memcpy(out, entry->name.data(), static_cast<size_t>(entry->name.size()));
        out += entry->name.size();
        if (entry->hasValue) {
            *out++ = '=';
            std::memcpy(out, entry->value.data(), static_cast<size_t>(entry->value.size()));
            out += entry->value.size();
        }
        *out = '\0';
        used += entrySize + 1;
    }
    buffer[used] = '\0';
    return static_cast<int>(used);
}

int ProfileFile::writeString(const QString& path, QByteArrayView section, QByteArrayView key,
                             QByteArrayView value) {
    section = trimmed(section);
    key = trimmed(key);
    if (!isStorable(section, key, value))
        return 0;
    return changeFile(path, true, [&](const ProfileText& text, QByteArray& out) {
        const QByteArrayView data(text.data());
        const QByteArrayView eol = lineEnding(data);
        const QByteArray line = key.toByteArray() + '=' + value.toByteArray() + eol.toByteArray();
        out.reserve(data.size() + line.size() + section.size() + 4);
        const Section* found = text.findSection(section);
        if (found == nullptr) {
            out.append(data);
            if (!out.isEmpty() && !out.endsWith('\n') && !out.endsWith('\r'))
                out.append(eol);
            out.append('[').append(section).append(']').append(eol).append(line);
        } else if (const Entry* entry = text.findKey(*found, key)) {
            // The key keeps its spelling and the bytes before its '='; only the value changes.
            out.append(data.first(entry->keyEnd)).append('=').append(value);
            out.append(data.sliced(entry->contentEnd));
        } else {
            out.append(data.first(found->lastEnd));
            if (!found->lastTerminated)
                out.append(eol);
            out.append(line).append(data.sliced(found->lastEnd));
        }
        return 1;
    });
}

int ProfileFile::deleteKey(const QString& path, QByteArrayView section, QByteArrayView key) {
    section = upToNul(section);
    key = upToNul(key);
    return changeFile(path, false, [&](const ProfileText& text, QByteArray& out) {
        for (const Section* found = text.findSection(section); found != nullptr;
             found = text.findSection(section, found)) {
            const Entry* entry = text.findKey(*found, key);
            if (entry == nullptr)
                continue;
            // Lines with an empty key that only counted as this one go with it.
            const Entry* last = entry;
            const Entry* const end = text.entries(*found) + found->entryCount;
            while (last + 1 < end && last[1].hidden)
                ++last;
            const QByteArrayView data(text.data());
            out.append(data.first(entry->start)).append(data.sliced(last->end));
            return 1;
        }
        return 0;
    });
}

} // namespace platform
