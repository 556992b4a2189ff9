#include "app/Startup.h"

#include "app/frmMain.h"
#include "i18n/WindowCaptions.h"
#include "ui/ProgressBar.h"
#include "ui/RecordViewAccessible.h"
#include "ui/WindowAccessible.h"

#include <csignal>

namespace Startup {

frmMain* Main() {
    // A write past the file-size limit (ulimit -f) must fail like a full disk, so that
    // the run keeps its whole lines and ends, instead of the signal ending the program
    // in the middle of a line.
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // Assistive tools read the address list as a table, hear the progress of a run a few
    // times a second, read the windows as windows and the suffix box by its label.
    installRecordViewAccessibility();
    installProgressBarAccessibility();
    installWindowAccessibility();
    ModTransLate::LoadLanguage();
    auto* window = new frmMain;
    window->show();
    return window;
}

} // namespace Startup
