#include "platform/Installation.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace platform {
namespace {
QString& programFolderOverride() {
    static QString folder;
    return folder;
}
QString& installedFolderOverride() {
    static QString folder;
    return folder;
}
QString& settingsFolderOverride() {
    static QString folder;
    return folder;
}
} // namespace

QString Installation::programFolder() {
    if (!programFolderOverride().isEmpty())
        return programFolderOverride();
    return QCoreApplication::applicationDirPath();
}

void Installation::setProgramFolder(const QString& folder) {
    programFolderOverride() = folder;
}

QString Installation::installedProgramFolder() {
    if (!installedFolderOverride().isEmpty())
        return installedFolderOverride();
    return systemInstalledProgramFolder();
}

QString Installation::installedSettingsFolder() {
    if (!settingsFolderOverride().isEmpty())
        return settingsFolderOverride();
    if (!installedFolderOverride().isEmpty())
        return installedFolderOverride();
    return systemInstalledSettingsFolder();
}

void Installation::setInstalledProgramFolder(const QString& folder, const QString& settingsFolder) {
    installedFolderOverride() = folder;
    settingsFolderOverride() = folder.isEmpty() ? QString() : settingsFolder;
}

bool Installation::runsInstalled() {
    const QString installed = installedProgramFolder();
    if (installed.isEmpty())
        return false;
    // Links and "..": the same folder by any name.
    const QString here = QFileInfo(programFolder()).canonicalFilePath();
    return !here.isEmpty() && here == QFileInfo(installed).canonicalFilePath();
}

QString Installation::settingsFileName() {
    return QStringLiteral("Korvani.ini");
}

QString Installation::settingsFile() {
    const QString installed = runsInstalled() ? installedSettingsFolder() : QString();
    return (installed.isEmpty() ? programFolder() : installed) + u'/' + settingsFileName();
}

QString Installation::userSettingsFile() {
    return systemUserSettingsFile();
}

} // namespace platform
