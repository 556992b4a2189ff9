#include "i18n/WindowCaptions.h"

#include "i18n/ModTransLate.h"
#include "platform/Application.h"
#include "platform/Desktop.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

using platform::MessageBox;
using testsupport::ProgramFolder;

TEST(LoadLanguage, AMissingEnglishFileIsReportedOnceAndEveryEntryStaysEmpty) {
    ProgramFolder folder;
    ASSERT_TRUE(QFile::remove(folder.languageFile()));
    ModTransLate::LoadLanguage();
    ASSERT_EQ(MessageBox::shown().size(), 1);
    const platform::ShownMessage& shown = MessageBox::shown().first();
    EXPECT_EQ(shown.text, QStringLiteral("Can't find the language file") + folder.path() +
                              QStringLiteral("/language/Korvani_EN.ini"));
    EXPECT_EQ(shown.title, QStringLiteral("Korvani"));
    EXPECT_EQ(shown.icon, platform::MessageIcon::Warning);
    EXPECT_TRUE(ModTransLate::Text().SysGlobal.ProductName.isEmpty());
    EXPECT_TRUE(ModTransLate::Text().frmMain.Start.isEmpty());
    EXPECT_TRUE(ModTransLate::Text().frmUpdate.CheckingLastestVer.isEmpty());
    EXPECT_EQ(platform::Application::title(), QStringLiteral("Korvani"));
}

TEST(Captions, AreAssignedByObjectNameAndEmptyEntriesBlankTheTargets) {
    ProgramFolder folder;
    QWidget window;
    auto* button = new QPushButton(QStringLiteral("design"), &window);
    button->setObjectName(QStringLiteral("btnHelp"));
    auto* label = new QLabel(QStringLiteral("design"), &window);
    label->setObjectName(QStringLiteral("slTo"));
    window.setWindowTitle(QStringLiteral("  Korvani"));

    ModTransLate::ApplyMainCaptions(&window); // nothing loaded yet: every entry empty
    EXPECT_EQ(window.windowTitle(), QString());
    EXPECT_EQ(button->text(), QString());
    EXPECT_EQ(label->text(), QString());

    ModTransLate::LoadLanguage();
    ModTransLate::ApplyMainCaptions(&window);
    EXPECT_EQ(window.windowTitle(), ModTransLate::Text().SysGlobal.ProductName);
    EXPECT_EQ(button->text(), ModTransLate::Text().frmHelp.Help);
    EXPECT_EQ(label->text(), ModTransLate::Text().frmMain.To);
}

} // namespace
