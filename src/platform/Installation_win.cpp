#include "platform/Installation.h"

#include <QDir>
#include <QFileInfo>

#ifndef KORVANI_INSTALLED_MARK
#define KORVANI_INSTALLED_MARK ""
#endif

namespace platform {

QString Installation::systemInstalledProgramFolder() {
    // Installed is where the installer put the program, wherever the user chose: the
    // folder holds the installer's mark (an unpacked zip has none). Access rights say
    // nothing here: Wine does not enforce them, and an administrator may write anywhere.
    const QString folder = programFolder();
    return QFileInfo(folder + u'/' + installedMark()).isFile() ? folder : QString();
}

QString Installation::systemInstalledSettingsFolder() {
    // The default settings stay where the installer put the program.
    return installedProgramFolder();
}

QString Installation::installedMark() {
    return QStringLiteral(KORVANI_INSTALLED_MARK);
}

QStringList Installation::installerFiles() {
    // The uninstaller's name is the one the installer script writes it under.
    return {installedMark(), QStringLiteral("Uninstall.exe")};
}

QString Installation::systemUserSettingsFile() {
    // The user's roaming application-data folder, as the session names it.
    const QString config = QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"));
    if (config.isEmpty())
        return {}; // no configuration folder: not at the root
    return config + QStringLiteral("/Korvani/") + settingsFileName();
}

} // namespace platform
