#include "support/SeamGuard.h"

#include <gtest/gtest.h>

#ifdef KORVANI_TEST_GUI
#include "ui/RecordViewAccessible.h"

#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication app(argc, argv);
#ifdef KORVANI_TEST_GUI
    installRecordViewAccessibility(); // as start-up does
#endif
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new testsupport::SeamGuardListener);
    return RUN_ALL_TESTS();
}
