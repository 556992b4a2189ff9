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

    // The application title; built in as the product name until the catalogue replaces it.
    static QString title();
    static void setTitle(const QString& title);
    static QString builtInTitle();
};

} // namespace platform
