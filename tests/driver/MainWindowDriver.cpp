#include "driver/MainWindowDriver.h"

#include "app/Startup.h"
#include "app/frmMain.h"
#include "platform/Desktop.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

std::unique_ptr<frmMain> MainWindowDriver::startProgram() {
    platform::MessageBox::setRecording(true);
    platform::FileDialog::setRecording(true);
    platform::Shell::setRecording(true);
    return std::unique_ptr<frmMain>(Startup::Main());
}

void MainWindowDriver::enter(const QString& from, const QString& to, const QString& suffix) {
    control<QLineEdit>("tbFromNo")->setText(from);
    control<QLineEdit>("tbToNo")->setText(to);
    control<QComboBox>("cbSuffix")->setEditText(suffix);
}

void MainWindowDriver::start(const QString& path) {
    platform::FileDialog::setNextFileName(path);
    click("btnBuild");
}

void MainWindowDriver::click(const char* button) {
    // A mouse click, as the user's: the button takes the focus, then fires.
    QTest::mouseClick(control<QAbstractButton>(button), Qt::LeftButton);
}
