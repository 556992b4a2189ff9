#include "app/Startup.h"

#include "app/frmMain.h"
#include "i18n/ModTransLate.h"

namespace Startup {

frmMain* Main() {
    ModTransLate::LoadLanguage();
    auto* window = new frmMain;
    window->show();
    return window;
}

} // namespace Startup
