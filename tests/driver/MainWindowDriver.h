#pragma once

#include "app/frmMain.h"

#include <QString>

#include <memory>

// The real main window, driven as its user drives it: it types into the fields and
// presses the buttons, and the Save dialog is answered through the desktop's recording
// seam. Shared by the window tests, the test tools and the benchmark.
class MainWindowDriver {
public:
    // Starts the window as the program does (the catalogue from the program folder,
    // the process set-up) and shows it. Message boxes and the Save dialog record.
    static std::unique_ptr<frmMain> startProgram();

    explicit MainWindowDriver(frmMain& window) : window_(window) {}

    template <typename T = QWidget> T* control(const char* name) const {
        return window_.findChild<T*>(QString::fromLatin1(name));
    }

    // Types the range and the suffix as the user would leave them before Start.
    void enter(const QString& from, const QString& to, const QString& suffix);
    // Answers the Save dialog with path and presses Start; returns when the run is over.
    void start(const QString& path);
    // Presses a button by its name.
    void click(const char* button);

private:
    frmMain& window_;
};
