#pragma once

#include <QString>

namespace platform {

// The process-wide facts a Windows program gets from its application object:
// the folder of the executable and the title that every message box shows.
class Application {
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
    // Tests lay out an installed folder of their own; an empty text restores the real one.
    static void setInstalledProgramFolder(const QString& folder);

    // The user's own copy of the settings file: Korvani.ini in the folder "korvani" of
    // the user's configuration folder ($XDG_CONFIG_HOME, by default ~/.config), on
    // Windows in the folder "Korvani" of the user's application data (%APPDATA%); empty
    // when there is none.
    static QString userSettingsFile();

    // The application title; built in as the product name until the catalogue replaces it.
    static QString title();
    static void setTitle(const QString& title);
    static QString builtInTitle();
};

} // namespace platform
