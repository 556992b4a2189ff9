#include "i18n/WindowCaptions.h"

#include "app/frmMain.h"
#include "i18n/ModTransLate.h"
#include "info/frmAbout.h"
#include "info/frmHelp.h"
#include "platform/AppTitle.h"
#include "platform/Desktop.h"
#include "support/TestSupport.h"
#include "update/frmUpdate.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <iterator>

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
    EXPECT_EQ(platform::AppTitle::title(), QStringLiteral("Korvani"));
}

TEST(Captions, AreAssignedByObjectNameAndEmptyEntriesBlankTheTargets) {
    ProgramFolder folder;
    frmMain window;
    auto* button = window.findChild<QPushButton*>(QStringLiteral("btnHelp"));
    auto* label = window.findChild<QLabel*>(QStringLiteral("slTo"));
    ASSERT_NE(button, nullptr);
    ASSERT_NE(label, nullptr);
    button->setText(QStringLiteral("design"));
    label->setText(QStringLiteral("design"));
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

TEST(Captions, EveryTargetIsAButtonOrLabelOfTheRealWindow) {
    ProgramFolder folder;
    frmMain main;
    frmAbout about;
    frmHelp help;
    frmUpdate update;
    // In the order of the tables: the routines' own lists of what they set.
    const QWidget* windows[] = {&main, &about, &help, &update};
    const auto tables = ModTransLate::CaptionTables();
    ASSERT_EQ(tables.size(), std::size(windows));
    for (std::size_t i = 0; i < tables.size(); ++i) {
        EXPECT_EQ(windows[i]->objectName(), QString::fromLatin1(tables[i].window));
        for (const ModTransLate::Caption& caption : tables[i].captions) {
            const QObject* target =
                windows[i]->findChild<QObject*>(QString::fromLatin1(caption.control));
            EXPECT_TRUE(qobject_cast<const QAbstractButton*>(target) ||
                        qobject_cast<const QLabel*>(target))
                << tables[i].window << ": " << caption.control;
        }
        // The names are for controls that show no caption: a tool reads them instead.
        for (const ModTransLate::Caption& name : tables[i].names) {
            const auto* target =
                windows[i]->findChild<const QWidget*>(QString::fromLatin1(name.control));
            EXPECT_TRUE(target && !qobject_cast<const QAbstractButton*>(target) &&
                        !qobject_cast<const QLabel*>(target))
                << tables[i].window << ": " << name.control;
        }
    }
}

} // namespace
