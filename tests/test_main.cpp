#include <QApplication>
#include <gtest/gtest.h>

#include "support/TestEnvironment.h"
#include "ui/RecordViewAccessible.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installRecordViewAccessibility(); // as start-up does
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new TestEnvironment);
    return RUN_ALL_TESTS();
}
