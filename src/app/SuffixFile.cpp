#include "app/SuffixFile.h"

#include "platform/Installation.h"
#include "profile/ProfileFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace SuffixList {

QString SuffixSection() {
    return QStringLiteral("Suffix");
}

bool IsStorableSuffix(const QString& suffix) {
    if (suffix.contains(QLatin1Char('=')) || suffix.startsWith(QLatin1Char(';')) ||
        suffix.startsWith(QLatin1Char('[')))
        return false;
    return std::none_of(suffix.begin(), suffix.end(),
                        [](QChar c) { return c.category() == QChar::Other_Control; });
}

QString SettingsFilePath() {
    if (platform::Installation::runsInstalled()) {
        const QString own = platform::Installation::userSettingsFile();
        if (QFileInfo::exists(own))
            return own;
    }
    return platform::Installation::settingsFile();
}

platform::FileResult<SettingsTarget> SettingsFileToWrite() {
    if (!platform::Installation::runsInstalled())
        return SettingsTarget{platform::Installation::settingsFile(), {}};
    const QString own = platform::Installation::userSettingsFile();
    if (own.isEmpty())
        return platform::FileStatus{platform::FileFailure::BadPath, ENOENT};
    errno = 0;
    if (!QDir().mkpath(QFileInfo(own).absolutePath()))
        return platform::FileStatus{platform::FileFailure::BadPath, errno ? errno : ENOTDIR};
    return SettingsTarget{own, platform::Installation::settingsFile()};
}

namespace {

// The key names of a section's entries as readSection gives them.
KeyList keysOf(const char* buffer, std::size_t size) {
    KeyList list;
    const char* entry = buffer;
    const char* const end = buffer + size;
    do {
        const char* nul = static_cast<const char*>(std::memchr(entry, '\0', end - entry));
        if (nul == nullptr)
            nul = end;
        const QByteArrayView text(entry, nul - entry);
        const qsizetype eq = text.indexOf('=');
        if (eq < 0) {
            // An entry without '=' (an empty section has one) fails the whole read.
            return KeyList{QStringList{QString()}, 0};
        }
        list.keys.append(QString::fromUtf8(text.first(eq)));
        entry = nul + 1;
    } while (entry < end && *entry != '\0');
    list.lastIndex = static_cast<int>(list.keys.size()) - 1;
    return list;
}

} // namespace

platform::FileResult<KeyList> ReadKeys(const QString& path, const QString& section) {
    std::vector<char> buffer(profile::ProfileFile::SectionBufferSize, '\0');
    const auto read = profile::ProfileFile::readSectionChecked(
        path, section.toUtf8(), buffer.data(), static_cast<int>(buffer.size()));
    if (!read)
        return read.status();
    return keysOf(buffer.data(), buffer.size());
}

bool HasKey(const KeyList& list, const QString& key) {
    return list.keys.mid(0, list.lastIndex + 1).contains(key);
}

KeyList ReadSectionKeys(const QString& path, const QString& section) {
    const auto read = ReadKeys(path, section);
    return read ? *read : KeyList{QStringList{QString()}, 0};
}

platform::FileStatus WriteKey(const SettingsTarget& file, const QString& section,
                              const QString& key) {
    return profile::ProfileFile::setKey(file.path, section.toUtf8(), key.toUtf8(), QByteArrayView(),
                                        file.seedFrom);
}

platform::FileStatus AddKey(const SettingsTarget& file, const QString& section,
                            const QString& key) {
    return profile::ProfileFile::setKey(
        file.path, section.toUtf8(), key.toUtf8(), QByteArrayView(), file.seedFrom,
        [&](const char* entries) {
            if (!HasKey(keysOf(entries, profile::ProfileFile::SectionBufferSize), key))
                return platform::FileStatus{};
            return platform::FileStatus{platform::FileFailure::Exists, EEXIST};
        });
}

platform::FileStatus DeleteKey(const SettingsTarget& file, const QString& section,
                               const QString& key) {
    return profile::ProfileFile::removeKey(file.path, section.toUtf8(), key.toUtf8(),
                                           file.seedFrom);
}

int DeleteProfileKey(const QString& path, const QString& section, const QString& key) {
    return DeleteKey({path, {}}, section, key) ? 1 : 0;
}

int WriteProfileKey(const QString& path, const QString& section, const QString& key) {
    return WriteKey({path, {}}, section, key) ? 1 : 0;
}

} // namespace SuffixList
