#include "app/SuffixFile.h"

#include "platform/Application.h"
#include "platform/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
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

namespace {
QString programSettingsFile() {
    return platform::Application::programFolder() + QStringLiteral("/Korvani.ini");
}
} // namespace

QString SettingsFilePath() {
    if (platform::Application::runsInstalled()) {
        const QString own = platform::Application::userSettingsFile();
        if (QFileInfo::exists(own))
            return own;
    }
    return programSettingsFile();
}

QString SettingsFileToWrite() {
    if (!platform::Application::runsInstalled())
        return programSettingsFile();
    const QString own = platform::Application::userSettingsFile();
    if (QFileInfo::exists(own))
        return own;
    // The first change: the user's copy starts as the installed file, whole or not at all.
    if (!QDir().mkpath(QFileInfo(own).absolutePath()))
        return {};
    QFile installed(programSettingsFile());
    if (installed.open(QIODevice::ReadOnly)) {
        const QByteArray content = installed.readAll();
        QSaveFile copy(own);
        if (!copy.open(QIODevice::WriteOnly) || copy.write(content) != content.size() ||
            !copy.commit())
            return {};
    }
    return own;
}

KeyList ReadSectionKeys(const QString& path, const QString& section) {
    std::vector<char> buffer(platform::ProfileFile::SectionBufferSize, '\0');
    platform::ProfileFile::readSection(path, section.toUtf8(), buffer.data(),
                                       static_cast<int>(buffer.size()));

    KeyList list;
    const char* entry = buffer.data();
    const char* const end = buffer.data() + buffer.size();
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

int DeleteProfileKey(const QString& path, const QString& section, const QString& key) {
    return platform::ProfileFile::deleteKey(path, section.toUtf8(), key.toUtf8());
}

int WriteProfileKey(const QString& path, const QString& section, const QString& key) {
    return platform::ProfileFile::writeString(path, section.toUtf8(), key.toUtf8(),
                                              QByteArrayView());
}

} // namespace SuffixList
