#include "common/ModCommon.h"
#include "common/ModCommonUi.h"
#include "platform/Desktop.h"
#include "support/TestSupport.h"
#include "ui/ProgressBar.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(FilterNumberKey, KeepsDigitsAndBackspaceOnly) {
    for (char16_t c = u'0'; c <= u'9'; ++c)
        EXPECT_EQ(ModCommon::FilterNumberKey(c), c);
    EXPECT_EQ(ModCommon::FilterNumberKey(8), 8);
    for (char16_t c : {u'a', u'Z', u'-', u'+', u'.', u',', u' ', u'\r', u'\t', char16_t(22),
                       char16_t(0x0661), char16_t(0xFF11), char16_t(47), char16_t(58)})
        EXPECT_EQ(ModCommon::FilterNumberKey(c), 0) << int(c);
}

TEST(CutAtNul, CutsAtTheFirstNul) {
    EXPECT_EQ(ModCommon::CutAtNul(QStringLiteral("abc")), QStringLiteral("abc"));
    EXPECT_EQ(ModCommon::CutAtNul(QString::fromUtf16(u"ab\0cd\0", 6)), QStringLiteral("ab"));
    EXPECT_EQ(ModCommon::CutAtNul(QString::fromUtf16(u"\0x", 2)), QString());
    EXPECT_EQ(ModCommon::CutAtNul(QString()), QString());
}

TEST(CheckFileExists, TrueOnlyForFilesAndLinksToFiles) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    EXPECT_FALSE(ModCommon::CheckFileExists(QString()));
    EXPECT_FALSE(ModCommon::CheckFileExists(file));
    testsupport::writeFile(file, "x");
    EXPECT_TRUE(ModCommon::CheckFileExists(file));
    EXPECT_FALSE(ModCommon::CheckFileExists(dir.path()));
    const QString link = dir.filePath(QStringLiteral("l.txt"));
    ASSERT_TRUE(QFile::link(file, link));
    EXPECT_TRUE(ModCommon::CheckFileExists(link));
}

TEST(AppendLine, AppendsLinesEndedByCrLfInUtf8WithoutBom) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    EXPECT_TRUE(ModCommon::AppendLine(QStringLiteral("1@例子.com"), path));
    EXPECT_TRUE(ModCommon::AppendLine(QStringLiteral("2@x"), path));
    EXPECT_EQ(testsupport::readFile(path), QByteArray("1@\xe4\xbe\x8b\xe5\xad\x90.com\r\n2@x\r\n"));
    EXPECT_FALSE(ModCommon::AppendLine(QStringLiteral("x"), dir.path()));
}

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

TEST(ProgressBar, CountsInSixtyFourBitsAndShowsTheScaledValue) {
    ProgressBar bar;
    const qint64 full = qint64{1} << 32;
    bar.setMaximum64(full);
    bar.setPosition64(full / 2);
    EXPECT_EQ(bar.position64(), full / 2);
    EXPECT_EQ(bar.maximum(), std::numeric_limits<int>::max());
    EXPECT_NEAR(bar.value(), std::numeric_limits<int>::max() / 2, 1);
    bar.setPosition64(full);
    EXPECT_EQ(bar.value(), bar.maximum());
    EXPECT_EQ(bar.position64(), bar.maximum64());

    bar.setMaximum64(3);
    EXPECT_EQ(bar.position64(), 3); // clamped to the new maximum
    bar.setPosition64(2);
    EXPECT_EQ(bar.maximum(), 3);
    EXPECT_EQ(bar.value(), 2);
}

} // namespace
