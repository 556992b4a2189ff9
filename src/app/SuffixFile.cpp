#include "app/SuffixFile.h"

#include "platform/Installation.h"
#include "profile/ProfileFile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <vector>

namespace SuffixFile {

QString SuffixSection() {
    return QStringLiteral("Suffix");
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

// The key names of a section's entries as readSection gives them; an entry without '='
// fails the whole read.
platform::FileResult<QStringList> keysOf(const char* buffer, std::size_t size) {
    QStringList keys;
    for (const char* entry = buffer; entry < buffer + size && *entry != '\0';) {
        const auto* nul = static_cast<const char*>(std::memchr(entry, '\0', buffer + size - entry));
        const QByteArrayView text(entry, (nul ? nul : buffer + size) - entry);
        const qsizetype eq = text.indexOf('=');
        if (eq < 0)
            return platform::FileStatus{platform::FileFailure::Unreadable, EINVAL};
        keys.append(QString::fromUtf8(text.first(eq)));
        entry += text.size() + 1;
    }
    return keys;
}

} // namespace

platform::FileResult<QStringList> ReadSectionKeys(const QString& path, const QString& section) {
    std::vector<char> buffer(profile::ProfileFile::SectionBufferSize, '\0');
    const auto read = profile::ProfileFile::readSectionChecked(
        path, section.toUtf8(), buffer.data(), static_cast<int>(buffer.size()));
    if (!read)
        return read.status();
    return keysOf(buffer.data(), buffer.size());
}

platform::FileStatus AddKey(const SettingsTarget& file, const QString& section,
                            const QString& key) {
    return profile::ProfileFile::setKey(
        file.path, section.toUtf8(), key.toUtf8(), QByteArrayView(), file.seedFrom,
        [&](const char* entries) {
            // A section that does not read as keys holds none of them.
            const auto keys = keysOf(entries, profile::ProfileFile::SectionBufferSize);
            if (!keys || !keys->contains(key))
                return platform::FileStatus{};
            return platform::FileStatus{platform::FileFailure::Exists, EEXIST};
        });
}

platform::FileStatus DeleteProfileKey(const SettingsTarget& file, const QString& section,
                                      const QString& key) {
    return profile::ProfileFile::removeKey(file.path, section.toUtf8(), key.toUtf8(),
                                           file.seedFrom);
}

} // namespace SuffixFile
