#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// Where the program runs from and where its settings are: the folder of the executable,
// the folder the package or the installer put it in, and the default settings file and
// the user's own copy of it.
class Installation {
public:
    // The folder that holds the program's executable (not the working folder).
    static QString programFolder();
    // Tests lay out a program folder of their own; an empty text restores the real one.
    static void setProgramFolder(const QString& folder);

    // The folder the package installs the program into, fixed when the program is
    // built (empty in a build that is not installed anywhere), and whether the program
    // runs from there. Installed, its own files are read-only: each user keeps the
    // settings file in a copy of their own. On Windows the installed folder is the
    // program folder when it holds the installer's mark (installedMark), else none.
    static QString installedProgramFolder();
    static bool runsInstalled();
    // The name of the file the Windows installer leaves in the program folder (empty
    // on other systems).
    static QString installedMark();
    // The files the installer adds to the program folder beside the program's own: its
    // mark and the uninstaller on Windows, none elsewhere.
    static QStringList installerFiles();
    // The folder of the installed default settings file, fixed when the program is built
    // like the installed program folder: the package's configuration folder (/etc/korvani),
    // where an administrator's edit outlives an upgrade; on Windows the installed folder.
    static QString installedSettingsFolder();
    // Tests lay out an installed folder of their own, and the folder of its default
    // settings (by default the same folder); an empty text restores the real ones.
    static void setInstalledProgramFolder(const QString& folder,
                                          const QString& settingsFolder = QString());

    // The settings file's name in every folder that holds one: Korvani.ini.
    static QString settingsFileName();
    // The default settings file: installed, the one in the installed settings folder; run
    // from any other folder, the one beside the executable.
    static QString settingsFile();
    // The user's own copy of the settings file: in the folder "korvani" of the user's
    // configuration folder ($XDG_CONFIG_HOME, by default ~/.config), on Windows in the
    // folder "Korvani" of the user's application data (%APPDATA%); empty when there is none.
    static QString userSettingsFile();

private:
    // The system's parts (Installation_posix.cpp, Installation_win.cpp): the built-in
    // installed folders and the user's configuration folder with the copy's place in it.
    static QString systemInstalledProgramFolder();
    static QString systemInstalledSettingsFolder();
    static QString systemUserSettingsFile();
};

} // namespace platform
