#include "platform/Installation.h"

#include <QStandardPaths>

#ifndef KORVANI_INSTALLED_PROGRAM_DIR
#define KORVANI_INSTALLED_PROGRAM_DIR ""
#endif
#ifndef KORVANI_INSTALLED_SETTINGS_DIR
#define KORVANI_INSTALLED_SETTINGS_DIR ""
#endif

namespace platform {

QString Installation::systemInstalledProgramFolder() {
    return QStringLiteral(KORVANI_INSTALLED_PROGRAM_DIR);
}

QString Installation::systemInstalledSettingsFolder() {
    return QStringLiteral(KORVANI_INSTALLED_SETTINGS_DIR);
}

QString Installation::installedMark() {
    return {};
}

QStringList Installation::installerFiles() {
    return {};
}

QString Installation::systemUserSettingsFile() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        return {}; // no configuration folder: not at the root
    return config + QStringLiteral("/korvani/") + settingsFileName();
}

} // namespace platform
