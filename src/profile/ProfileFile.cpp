#include "profile/ProfileFile.h"

#include "profile/ProfileCache.h"
#include "profile/ProfileLock.h"
#include "profile/ProfilePath.h"
#include "profile/ProfileRead.h"
#include "profile/ProfileText.h"
#include "profile/ProfileWriter.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include <sys/stat.h>

namespace profile {

using platform::FileFailure;
using platform::FileResult;
using platform::FileStatus;

namespace {

std::atomic<int> lockTimeoutMs{ProfileFile::DefaultLockTimeoutMs};

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

// What the file format can give back as written.
bool isStorable(QByteArrayView section, QByteArrayView key, QByteArrayView value) {
    if (hasLineBreakOrNul(section) || hasLineBreakOrNul(key) || hasLineBreakOrNul(value))
        return false;
    if (key.indexOf('=') >= 0)
        return false; // the key would end at it
    // A key line starting with '[' and holding a ']' would open a section.
    return !key.startsWith('[') || (key.indexOf(']') < 0 && value.indexOf(']') < 0);
}

// A character of the Unicode category Cc: C0 controls, DEL and C1 controls.
bool hasControlCharacter(QByteArrayView utf8) {
    const QString text = QString::fromUtf8(utf8);
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

// A file keeps its own line ends: those of its first line break (CR LF, LF or a lone
// CR); a new or single-line file takes the platform's convention.
QByteArrayView lineEnding(QByteArrayView data) {
    const auto end =
        std::find_if(data.begin(), data.end(), [](char c) { return c == '\r' || c == '\n'; });
    if (end == data.end())
        return "\r\n";
    if (*end == '\n')
        return "\n";
    return end + 1 != data.end() && end[1] == '\n' ? "\r\n" : "\r";
}

bool endsWithLineEnd(QByteArrayView data) {
    return data.endsWith('\n') || data.endsWith('\r');
}

// The entries of section in buffer as readSection gives them (buffer holds at least two
// bytes, both NUL).
int sectionEntries(const ProfileText& text, QByteArrayView section, char* buffer, int bufferSize) {
    const std::optional<Section> found = text.findSection(upToNul(section));
    if (!found)
        return 0;

    // Whole entries only: an entry goes in when it, its NUL and the list's final NUL fit.
    qsizetype used = 0;
    text.forEachEntry(*found, [&](const Entry& entry) {
        if (entry.hidden || entry.name.startsWith(';') || (entry.name.isEmpty() && !entry.hasValue))
            return true;
        const qsizetype valueSize = entry.hasValue ? 1 + entry.value.size() : 0;
        const qsizetype entrySize = entry.name.size() + valueSize;
        if (used + entrySize + 2 > bufferSize)
            return false;
        char* out = buffer + used;
        std::memcpy(out, entry.name.data(), static_cast<size_t>(entry.name.size()));
        out += entry.name.size();
        if (entry.hasValue) {
            *out++ = '=';
            std::memcpy(out, entry.value.data(), static_cast<size_t>(entry.value.size()));
            out += entry.value.size();
        }
        *out = '\0';
        used += entrySize + 1;
        return true;
    });
    buffer[used] = '\0';
    return static_cast<int>(used);
}

// Runs change(text, edit) on the file's current content under the writers' lock and
// writes the edited file. A missing file starts as a copy of seedFrom when given, or
// empty when createMissing. The path is checked before anything is locked or made.
template <typename Change>
FileStatus changeFile(const QString& path, const QString& seedFrom, bool createMissing,
                      Change change) {
    const QByteArray named = QFile::encodeName(path);
    if (named.isEmpty())
        return {FileFailure::BadPath, ENOENT};
    const QByteArray target = resolveLinks(named);
    struct stat folder {};
    if (::stat(folderOf(target).constData(), &folder) != 0)
        return {FileFailure::BadPath, errno};
    if (!S_ISDIR(folder.st_mode))
        return {FileFailure::BadPath, ENOTDIR};

    WriterLock lock(target, lockTimeoutMs);
    ReadCache::instance().clear();
    if (!lock.status())
        return lock.status();
    QByteArray data;
    FileState identity;
    FileStatus status = readWhole(target, data, &identity, nullptr);
    const bool exists = status.ok();
    if (status.failure == FileFailure::NotFound && !seedFrom.isEmpty()) {
        status = readWhole(QFile::encodeName(seedFrom), data, nullptr, nullptr);
        createMissing = true;
    }
    // A file that cannot be read is not taken for an empty one.
    if (!status && (status.failure != FileFailure::NotFound || !createMissing))
        return status;

    const ProfileText text(std::move(data));
    Edit edit;
    if (const FileStatus changed = change(text, edit); !changed)
        return changed;
    if (exists && text.data().sliced(edit.at, edit.removed) == edit.inserted)
        return {}; // the file already holds this
    const FileStatus result = replaceFile(target, {text.data(), exists, identity}, edit);
    ReadCache::instance().clear();
    return result;
}

} // namespace

void ProfileFile::setLockTimeout(int milliseconds) {
    lockTimeoutMs = std::max(0, milliseconds);
}

void ProfileFile::setBeforeReplaceHook(std::function<bool()> hook) {
    seams().beforeReplace = std::move(hook);
}

void ProfileFile::setBeforeRenameHook(std::function<int(bool exchange)> hook) {
    seams().beforeRename = std::move(hook);
}

void ProfileFile::setInPlaceOnly(bool only) {
    seams().inPlaceOnly = only;
}

void ProfileFile::setFailingCall(std::function<int(const char* call)> hook) {
    seams().failingCall = std::move(hook);
}

int ProfileFile::readString(const QString& path, QByteArrayView section, QByteArrayView key,
                            QByteArrayView defaultValue, char* buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0)
        return 0;
    const auto text = ReadCache::instance().get(path);
    const std::optional<Section> found =
        text ? text->findSection(trimmed(upToNul(section))) : std::nullopt;
    const std::optional<Entry> entry =
        found ? text->findKey(*found, trimmed(upToNul(key))) : std::nullopt;
    if (!entry || !entry->hasValue)
        return static_cast<int>(copyCapped(defaultText(defaultValue), buffer, bufferSize));
    return static_cast<int>(copyCapped(withoutQuotes(entry->value), buffer, bufferSize));
}

bool ProfileFile::isStorableKey(QByteArrayView key) {
    return isStorable({}, key, "]") && !key.startsWith(';') && trimmed(key) == key &&
           !hasControlCharacter(key);
}

int ProfileFile::readSection(const QString& path, QByteArrayView section, char* buffer,
                             int bufferSize) {
    return readSectionChecked(path, section, buffer, bufferSize).value();
}

FileResult<int> ProfileFile::readSectionChecked(const QString& path, QByteArrayView section,
                                                char* buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0)
        return 0;
    buffer[0] = '\0';
    if (bufferSize == 1)
        return 0;
    buffer[1] = '\0';
    FileStatus status;
    const auto text = ReadCache::instance().get(path, &status);
    if (!status && status.failure != FileFailure::NotFound)
        return status;
    return text ? sectionEntries(*text, section, buffer, bufferSize) : 0;
}

FileStatus ProfileFile::setKey(const QString& path, QByteArrayView section, QByteArrayView key,
                               QByteArrayView value, const QString& seedFrom,
                               const SectionCheck& check) {
    section = trimmed(section);
    key = trimmed(key);
    if (!isStorable(section, key, value))
        return {FileFailure::Refused, EINVAL};
    return changeFile(path, seedFrom, true, [&](const ProfileText& text, Edit& edit) {
        if (check) {
            std::vector<char> entries(SectionBufferSize, '\0');
            sectionEntries(text, section, entries.data(), SectionBufferSize);
            if (const FileStatus checked = check(entries.data()); !checked)
                return checked;
        }
        const QByteArrayView data(text.data());
        const QByteArray eol = lineEnding(data).toByteArray();
        const QByteArray line = key.toByteArray() + '=' + value.toByteArray() + eol;
        const std::optional<Section> found = text.findSection(section);
        if (!found) {
            edit.at = data.size();
            if (!data.isEmpty() && !endsWithLineEnd(data))
                edit.inserted = eol;
            edit.inserted += '[' + section.toByteArray() + ']' + eol + line;
        } else if (const std::optional<Entry> entry = text.findKey(*found, key)) {
            // The key keeps its spelling and the bytes before its '='; only the value changes.
            edit.at = entry->keyEnd;
            edit.removed = entry->contentEnd - entry->keyEnd;
            edit.inserted = '=' + value.toByteArray();
        } else {
            edit.at = found->lastEnd;
            edit.inserted = (found->lastTerminated ? QByteArray() : eol) + line;
        }
        return FileStatus{};
    });
}

FileStatus ProfileFile::removeKey(const QString& path, QByteArrayView section, QByteArrayView key,
                                  const QString& seedFrom) {
    section = upToNul(section);
    key = upToNul(key);
    return changeFile(path, seedFrom, false, [&](const ProfileText& text, Edit& edit) {
        for (std::optional<Section> found = text.findSection(section); found;
             found = text.findSection(section, &*found)) {
            const std::optional<Entry> entry = text.findKey(*found, key);
            if (!entry)
                continue;
            // Lines with an empty key that only counted as this one go with it.
            qsizetype end = entry->end;
            text.forEachEntry(
                *found,
                [&](const Entry& next) {
                    if (next.hidden)
                        end = next.end;
                    return next.hidden;
                },
                &*entry);
            edit.at = entry->start;
            edit.removed = end - entry->start;
            return FileStatus{};
        }
        return FileStatus{FileFailure::NotFound, ENOENT};
    });
}

int ProfileFile::writeString(const QString& path, QByteArrayView section, QByteArrayView key,
                             QByteArrayView value) {
    return setKey(path, section, key, value) ? 1 : 0;
}

int ProfileFile::deleteKey(const QString& path, QByteArrayView section, QByteArrayView key) {
    return removeKey(path, section, key) ? 1 : 0;
}

} // namespace profile
