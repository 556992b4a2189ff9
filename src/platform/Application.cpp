#include "platform/Application.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef KORVANI_INSTALLED_PROGRAM_DIR
#define KORVANI_INSTALLED_PROGRAM_DIR ""
#endif
#ifndef KORVANI_INSTALLED_MARK
#define KORVANI_INSTALLED_MARK ""
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
#ifdef _WIN32
    // Installed is where the installer put the program, wherever the user chose: the
    // folder holds the installer's mark (an unpacked zip has none). Access rights say
    // nothing here: Wine does not enforce them, and an administrator may write anywhere.
    const QString folder = programFolder();
    return QFileInfo(folder + u'/' + installedMark()).isFile() ? folder : QString();
#else
    return QStringLiteral(KORVANI_INSTALLED_PROGRAM_DIR);
#endif
}

QString Application::installedMark() {
    return QStringLiteral(KORVANI_INSTALLED_MARK);
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
#ifdef _WIN32
    // The user's roaming application-data folder, as the session names it.
    const QString config = QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"));
    const QString own = QStringLiteral("/Korvani/Korvani.ini");
#else
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString own = QStringLiteral("/korvani/Korvani.ini");
#endif
    if (config.isEmpty())
        return {}; // no configuration folder: not at the root
    return config + own;
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
