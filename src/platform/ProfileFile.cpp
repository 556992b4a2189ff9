#include "platform/ProfileFile.h"

#include "platform/ProfileCache.h"
#include "platform/ProfileLines.h"
#include "platform/ProfileLock.h"
#include "platform/ProfileWriter.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace platform {
namespace {

using namespace profile;

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
    profile::beforeReplaceHook() = std::move(hook);
}

void ProfileFile::setInPlaceOnly(bool only) {
    profile::inPlaceOnly() = only;
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

int ProfileFile::readSection(const QString& path, QByteArrayView section, char* buffer,
                             int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0)
        return 0;
    buffer[0] = '\0';
    if (bufferSize == 1)
        return 0;
    buffer[1] = '\0';
    const auto text = ReadCache::instance().get(path);
    const std::optional<Section> found = text ? text->findSection(upToNul(section)) : std::nullopt;
    if (!found)
        return 0;

    // Whole entries only: an entry goes in when it, its NUL and the list's final NUL fit.
    qsizetype used = 0;
    text->forEachEntry(*found, [&](const Entry& entry) {
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
        const std::optional<Section> found = text.findSection(section);
        if (!found) {
            out.append(data);
            if (!out.isEmpty() && !out.endsWith('\n') && !out.endsWith('\r'))
                out.append(eol);
            out.append('[').append(section).append(']').append(eol).append(line);
        } else if (const std::optional<Entry> entry = text.findKey(*found, key)) {
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
            const QByteArrayView data(text.data());
            out.append(data.first(entry->start)).append(data.sliced(end));
            return 1;
        }
        return 0;
    });
}

} // namespace platform
