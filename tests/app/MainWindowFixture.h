#pragma once

#include "app/frmMain.h"
#include "driver/MainWindowDriver.h"
#include "i18n/ModTransLate.h"
#include "i18n/WindowCaptions.h"
#include "platform/Desktop.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// A program folder with the shipped files and the real main window, started as the
// program starts and shown offscreen.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::make_unique<testsupport::ProgramFolder>();
        window = MainWindowDriver::startProgram();
        driver = std::make_unique<MainWindowDriver>(*window);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override {
        driver.reset();
        window.reset();
        folder.reset();
    }

    template <typename T = QWidget> T* control(const char* name) const {
        T* found = driver->control<T>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QStringList messages() const {
        QStringList texts;
        for (const platform::ShownMessage& m : platform::MessageBox::shown())
            texts << m.text;
        return texts;
    }

    std::unique_ptr<testsupport::ProgramFolder> folder;
    std::unique_ptr<frmMain> window;
    std::unique_ptr<MainWindowDriver> driver;
};
