#include "platform/Installation.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace platform {
namespace {
// The folders a test lays out in place of the real ones (empty: the real one).
struct Folders {
    QString program, installed, settings;
};
Folders& laidOut() {
    static Folders folders;
    return folders;
}
} // namespace

QString Installation::programFolder() {
    if (!laidOut().program.isEmpty())
        return laidOut().program;
    return QCoreApplication::applicationDirPath();
}

void Installation::setProgramFolder(const QString& folder) {
    laidOut().program = folder;
}

QString Installation::installedProgramFolder() {
    if (!laidOut().installed.isEmpty())
        return laidOut().installed;
    return systemInstalledProgramFolder();
}

QString Installation::installedSettingsFolder() {
    if (!laidOut().settings.isEmpty())
        return laidOut().settings;
    if (!laidOut().installed.isEmpty())
        return laidOut().installed;
    return systemInstalledSettingsFolder();
}

void Installation::setInstalledProgramFolder(const QString& folder, const QString& settingsFolder) {
    laidOut().installed = folder;
    laidOut().settings = folder.isEmpty() ? QString() : settingsFolder;
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
