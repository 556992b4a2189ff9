#include "app/Startup.h"
#include "app/frmMain.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::unique_ptr<frmMain> window(Startup::Main());
    return QApplication::exec();
}
