#include "platform/Application.h"

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
QString& currentTitle() {
    static QString title = Application::builtInTitle();
    return title;
}
} // namespace

QString Application::programFolder() {
    if (!programFolderOverride().isEmpty())
        return programFolderOverride();
    return QCoreApplication::applicationDirPath();
}

void Application::setProgramFolder(const QString& folder) {
    programFolderOverride() = folder;
}

QString Application::installedProgramFolder() {
    if (!installedFolderOverride().isEmpty())
        return installedFolderOverride();
    return systemInstalledProgramFolder();
}

QString Application::installedSettingsFolder() {
    if (!settingsFolderOverride().isEmpty())
        return settingsFolderOverride();
    if (!installedFolderOverride().isEmpty())
        return installedFolderOverride();
    return systemInstalledSettingsFolder();
}

void Application::setInstalledProgramFolder(const QString& folder, const QString& settingsFolder) {
    installedFolderOverride() = folder;
    settingsFolderOverride() = folder.isEmpty() ? QString() : settingsFolder;
}

bool Application::runsInstalled() {
    const QString installed = installedProgramFolder();
    if (installed.isEmpty())
        return false;
    // Links and "..": the same folder by any name.
    const QString here = QFileInfo(programFolder()).canonicalFilePath();
    return !here.isEmpty() && here == QFileInfo(installed).canonicalFilePath();
}

QString Application::settingsFile() {
    const QString name = QStringLiteral("/Korvani.ini");
    if (runsInstalled()) {
        const QString folder = installedSettingsFolder();
        if (!folder.isEmpty())
            return folder + name;
    }
    return programFolder() + name;
}

QString Application::userSettingsFile() {
    return systemUserSettingsFile();
}

QString Application::title() {
    return currentTitle();
}

void Application::setTitle(const QString& title) {
    currentTitle() = title;
}

QString Application::builtInTitle() {
    return QStringLiteral("Korvani");
}

} // namespace platform
