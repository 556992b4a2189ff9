#include "common/ModCommonUi.h"
#include "platform/Desktop.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(AskSaveFile, AsksForATextFileWithoutOverwritePrompt) {
    testsupport::ProgramFolder folder;
    platform::FileDialog::setNextFileName(QStringLiteral("/tmp/chosen.txt"));
    EXPECT_EQ(ModCommon::AskSaveFile(), QStringLiteral("/tmp/chosen.txt"));
    EXPECT_EQ(ModCommon::AskSaveFile(), QString()); // nothing primed: cancelled
    ASSERT_EQ(platform::FileDialog::requests().size(), 2);
    const platform::SaveDialogRequest& request = platform::FileDialog::requests().first();
    EXPECT_EQ(request.title, QStringLiteral("保存到"));
    EXPECT_EQ(request.filterDescription, QStringLiteral("Text files(*.txt)"));
    EXPECT_EQ(request.filterPattern, QStringLiteral("*.txt"));
    EXPECT_EQ(request.defaultSuffix, QStringLiteral("txt"));
    EXPECT_TRUE(request.initialName.isEmpty());
    EXPECT_FALSE(request.overwritePrompt);

    // The real dialog shows the file type as given, once.
    platform::FileDialog::setRecording(false);
    QStringList filters;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            filters = dialog->nameFilters();
            dialog->reject();
        }
    });
    poll.start(20);
    EXPECT_EQ(ModCommon::AskSaveFile(), QString());
    platform::FileDialog::setRecording(true);
    EXPECT_EQ(filters, QStringList{QStringLiteral("Text files(*.txt)")});
}

} // namespace
