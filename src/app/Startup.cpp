#include "app/Startup.h"

#include "app/frmMain.h"
#include "i18n/WindowCaptions.h"

#include <csignal>

namespace Startup {

frmMain* Main() {
    // A write past the file-size limit (ulimit -f) must fail like a full disk, so that
    // the run takes back its slice and ends, instead of the signal ending the program
    // in the middle of a line.
    std::signal(SIGXFSZ, SIG_IGN);
    ModTransLate::LoadLanguage();
    auto* window = new frmMain;
    window->show();
    return window;
}

} // namespace Startup
