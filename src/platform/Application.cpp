#include "platform/Application.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef KORVANI_INSTALLED_PROGRAM_DIR
#define KORVANI_INSTALLED_PROGRAM_DIR ""
#endif

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
    return QStringLiteral(KORVANI_INSTALLED_PROGRAM_DIR);
}

void Application::setInstalledProgramFolder(const QString& folder) {
    installedFolderOverride() = folder;
}

bool Application::runsInstalled() {
    const QString installed = installedProgramFolder();
    if (installed.isEmpty())
        return false;
    // Links and "..": the same folder by any name.
    const QString here = QFileInfo(programFolder()).canonicalFilePath();
    return !here.isEmpty() && here == QFileInfo(installed).canonicalFilePath();
}

QString Application::userSettingsFile() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        return {}; // no configuration folder: not "/korvani" at the root
    return config + QStringLiteral("/korvani/Korvani.ini");
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
