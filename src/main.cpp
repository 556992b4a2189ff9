#include "app/Startup.h"
#include "app/frmMain.h"
#include "platform/RunningMark.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv) {
    // First and to the end: while it lives, the Windows installer and uninstaller wait.
    const platform::RunningMark running;
    QApplication app(argc, argv);
    std::unique_ptr<frmMain> window(Startup::Main());
    return QApplication::exec();
}
