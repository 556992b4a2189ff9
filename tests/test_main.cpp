#include "support/SeamGuard.h"

#include <gtest/gtest.h>

#ifdef KORVANI_TEST_GUI
#include "ui/ProgressBar.h"
#include "ui/RecordViewAccessible.h"
#include "ui/WindowAccessible.h"

#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef _WIN32
    // The offscreen platform draws with the fonts of one folder. Wine hands no QT_
    // variable on to its programs, so the folder comes as KORVANI_TEST_FONT_DIR (set by
    // CTest); without it, the system's fonts.
    const QByteArray fonts = qgetenv("KORVANI_TEST_FONT_DIR");
    qputenv("QT_QPA_FONTDIR", fonts.isEmpty() ? qgetenv("WINDIR") + "\\Fonts" : fonts);
#endif
    TestApplication app(argc, argv);
#ifdef KORVANI_TEST_GUI
    installRecordViewAccessibility(); // as start-up does
    installProgressBarAccessibility();
    installWindowAccessibility();
#endif
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new testsupport::SeamGuardListener);
    return RUN_ALL_TESTS();
}
