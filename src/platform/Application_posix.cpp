#include "platform/Application.h"

#include <QStandardPaths>

#ifndef KORVANI_INSTALLED_PROGRAM_DIR
#define KORVANI_INSTALLED_PROGRAM_DIR ""
#endif
#ifndef KORVANI_INSTALLED_SETTINGS_DIR
#define KORVANI_INSTALLED_SETTINGS_DIR ""
#endif

namespace platform {

QString Application::systemInstalledProgramFolder() {
    return QStringLiteral(KORVANI_INSTALLED_PROGRAM_DIR);
}

QString Application::systemInstalledSettingsFolder() {
    return QStringLiteral(KORVANI_INSTALLED_SETTINGS_DIR);
}

QString Application::installedMark() {
    return {};
}

QStringList Application::installerFiles() {
    return {};
}

QString Application::systemUserSettingsFile() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        return {}; // no configuration folder: not at the root
    return config + QStringLiteral("/korvani/Korvani.ini");
}

QString Application::comparableFileName(const QString& name) {
    return name;
}

} // namespace platform
