#include "Version.h"
#include "i18n/ModTransLate.h"
#include "i18n/WindowCaptions.h"
#include "info/frmAbout.h"
#include "info/frmHelp.h"
#include "platform/Desktop.h"
#include "support/TestSupport.h"
#include "ui/AccessibilityChecks.h"
#include "ui/Skin.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QByteArray HomePage = QByteArrayLiteral("https://www.example.com/korvani/");
const QByteArray HelpText = QByteArrayLiteral("Type two numbers.");

// A language file of the test's own, with texts that differ from every default.
QByteArray languageText(const QByteArray& homePage, const QByteArray& helpText) {
    return QByteArrayLiteral("[SysGlobal]\r\nProductName=Korvani Prüfung\r\n"
                             "[frmMain]\r\nExit=Leave\r\nHomePageLink=") +
           homePage +
           QByteArrayLiteral("\r\n[frmAbout]\r\nAbout=About this program\r\nHomePage=Web:\r\n"
                             "Email=Mail:\r\nContact=Write to us\r\nOk=Fine\r\n"
                             "[frmHelp]\r\nHelp=How to\r\nHelpDesc=") +
           helpText + QByteArrayLiteral("\r\n");
}

class InfoWindowTest : public ::testing::Test {
protected:
    void load(const QByteArray& homePage = HomePage, const QByteArray& helpText = HelpText) {
        ModTransLate::ResetForTesting();
        QDir(folder.path()).mkpath(QStringLiteral("language"));
        testsupport::writeFile(folder.languageFile(), languageText(homePage, helpText));
        ModTransLate::LoadLanguage();
        ASSERT_TRUE(platform::MessageBox::shown().isEmpty());
    }
    void SetUp() override { load(); }

    template <typename T> static T* child(QWidget& window, const char* name) {
        T* found = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static QString text(QWidget& window, const char* name) {
        QObject* target = window.findChild<QObject*>(QString::fromLatin1(name));
        if (auto* button = qobject_cast<QAbstractButton*>(target))
            return button->text();
        if (auto* label = qobject_cast<QLabel*>(target))
            return label->text();
        ADD_FAILURE() << "no caption target " << name;
        return {};
    }
    static void showAndWait(QWidget& window) {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    testsupport::ProgramFolder folder;
    std::unique_ptr<Skin> skin = std::make_unique<Skin>(nullptr);
};

TEST_F(InfoWindowTest, AboutShowsCatalogueTextsAddressesAndVersion) {
    frmAbout about;
    EXPECT_EQ(about.objectName(), QStringLiteral("frmAbout"));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About this program"));
    EXPECT_EQ(text(about, "slAbout"), QStringLiteral("Korvani Prüfung"));
    EXPECT_EQ(text(about, "slHomePage"), QStringLiteral("Web:"));
    EXPECT_EQ(text(about, "slEmail"), QStringLiteral("Mail:"));
    EXPECT_EQ(text(about, "slContact"), QStringLiteral("Write to us"));
    EXPECT_EQ(text(about, "CommandOk"), QStringLiteral("Fine"));
    EXPECT_EQ(text(about, "LabelHomepage"), QString::fromUtf8(HomePage));
    EXPECT_EQ(text(about, "lbEmail"), frmAbout::ContactAddress1());
    EXPECT_EQ(text(about, "lbEmail2"), frmAbout::ContactAddress2());
    EXPECT_EQ(text(about, "slVer"), QStringLiteral("Version1.4")); // the program is 1.4.0
}

TEST_F(InfoWindowTest, ContactAddressesAreTwoMailAddressesUnderTheExampleDomain) {
    const QString first = frmAbout::ContactAddress1(), second = frmAbout::ContactAddress2();
    EXPECT_NE(first, second);
    for (const QString& address : {first, second}) {
        EXPECT_TRUE(address.endsWith(QStringLiteral("@example.com"))) << address.toStdString();
        EXPECT_EQ(address.count(u'@'), 1);
    }
}

TEST_F(InfoWindowTest, VersionTextShowsMajorAndMinorOnly) {
    EXPECT_EQ(frmAbout::VersionText(1, 4), QStringLiteral("Version1.4"));
    EXPECT_EQ(frmAbout::VersionText(2, 10), QStringLiteral("Version2.10"));
    EXPECT_EQ(frmAbout::VersionText(0, 0), QStringLiteral("Version0.0"));
    EXPECT_EQ(frmAbout::VersionText(10, 1), QStringLiteral("Version10.1"));
    EXPECT_EQ(frmAbout::VersionText(Version::Major, Version::Minor),
              QStringLiteral("Version%1.%2").arg(Version::Major).arg(Version::Minor));
}

TEST_F(InfoWindowTest, HelpShowsCatalogueTexts) {
    frmHelp help;
    EXPECT_EQ(help.objectName(), QStringLiteral("frmHelp"));
    EXPECT_EQ(help.windowTitle(), QStringLiteral("How to")); // frmHelp/Help
    EXPECT_EQ(text(help, "lbHelp"), QStringLiteral("Type two numbers."));
    EXPECT_EQ(text(help, "btnOk"), QStringLiteral("Fine")); // frmAbout/Ok
}

TEST_F(InfoWindowTest, MissingLanguageFileBlanksEveryCaption) {
    ModTransLate::ResetForTesting();
    QFile::remove(folder.languageFile());
    ModTransLate::LoadLanguage();
    ASSERT_EQ(platform::MessageBox::shown().size(), 1); // the load reports the missing file

    frmAbout about;
    EXPECT_TRUE(about.windowTitle().isEmpty());
    for (const char* name :
         {"slAbout", "slHomePage", "slEmail", "slContact", "CommandOk", "LabelHomepage"})
        EXPECT_TRUE(text(about, name).isEmpty()) << name;
    EXPECT_EQ(text(about, "slVer"), QStringLiteral("Version1.4")); // not a catalogue text

    frmHelp help;
    EXPECT_TRUE(help.windowTitle().isEmpty());
    EXPECT_TRUE(text(help, "lbHelp").isEmpty());
    EXPECT_TRUE(text(help, "btnOk").isEmpty());
}

TEST_F(InfoWindowTest, EveryOpeningLoadsAndSkinsAnewAndLeavesTheMainWindowAlone) {
    QWidget main;
    main.setStyleSheet(QStringLiteral("QWidget { color: rgb(1, 2, 3); }"));
    for (int opening = 1; opening <= 2; ++opening) {
        // Each opening shows the catalogue as it is then: its load runs anew.
        const QByteArray number = QByteArray::number(opening);
        load(HomePage + number, HelpText + number);
        frmAbout about(&main);
        EXPECT_EQ(text(about, "LabelHomepage"), QString::fromUtf8(HomePage + number));
        EXPECT_EQ(about.styleSheet(), Skin::styleSheet());
        EXPECT_TRUE(about.property("skinned").toBool());
        showAndWait(about);
        QTest::mouseClick(child<QPushButton>(about, "CommandOk"), Qt::LeftButton);
        EXPECT_FALSE(about.isVisible());

        frmHelp help;
        EXPECT_EQ(text(help, "lbHelp"), QString::fromUtf8(HelpText + number));
        EXPECT_EQ(help.styleSheet(), Skin::styleSheet());
        showAndWait(help);
        QTest::mouseClick(child<QPushButton>(help, "btnOk"), Qt::LeftButton);
        EXPECT_FALSE(help.isVisible());
    }
    EXPECT_EQ(main.styleSheet(), QStringLiteral("QWidget { color: rgb(1, 2, 3); }"));
    EXPECT_FALSE(main.property("skinned").isValid());
    EXPECT_TRUE(platform::Shell::opened().isEmpty()); // OK opens nothing
}

TEST_F(InfoWindowTest, WithoutASkinTheWindowsOpenUnskinned) {
    skin.reset();
    ASSERT_EQ(Skin::instance(), nullptr);
    frmAbout about;
    frmHelp help;
    EXPECT_TRUE(about.styleSheet().isEmpty());
    EXPECT_TRUE(help.styleSheet().isEmpty());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About this program")); // loaded all the same
    EXPECT_EQ(help.windowTitle(), QStringLiteral("How to"));
    EXPECT_EQ(text(about, "slVer"), QStringLiteral("Version1.4"));
}

TEST_F(InfoWindowTest, LinksHandTheirAddressesToTheDesktop) {
    frmAbout about;
    showAndWait(about);
    QTest::mouseClick(child<QPushButton>(about, "lbEmail"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(about, "lbEmail2"), Qt::LeftButton);
    // The home page is read from the catalogue at the click, not from the caption.
    child<QPushButton>(about, "LabelHomepage")->setText(QStringLiteral("https://wrong.example/"));
    QTest::mouseClick(child<QPushButton>(about, "LabelHomepage"), Qt::LeftButton);
    const QStringList expected = {QStringLiteral("mailto:") + frmAbout::ContactAddress1(),
                                  QStringLiteral("mailto:") + frmAbout::ContactAddress2(),
                                  QString::fromUtf8(HomePage)};
    EXPECT_EQ(platform::Shell::opened(), expected);
    EXPECT_TRUE(about.isVisible()); // a link leaves the window open
}

TEST_F(InfoWindowTest, HomePageThatIsNoWebAddressIsNotOpened) {
    for (const QByteArray& target :
         {QByteArrayLiteral("file:///etc/passwd"), QByteArrayLiteral("/usr/bin/xterm"),
          QByteArrayLiteral("xterm"), QByteArrayLiteral("javascript:alert(1)")}) {
        load(target);
        frmAbout about;
        EXPECT_EQ(text(about, "LabelHomepage"), QString::fromUtf8(target));
        showAndWait(about);
        QTest::mouseClick(child<QPushButton>(about, "LabelHomepage"), Qt::LeftButton);
        EXPECT_TRUE(platform::Shell::opened().isEmpty()) << target.constData();
        EXPECT_TRUE(about.isVisible());
    }
}

TEST_F(InfoWindowTest, EscapePressesNothingAndEnterOnlyTheFocusedButton) {
    frmAbout about;
    showAndWait(about);
    about.activateWindow();
    auto* ok = child<QPushButton>(about, "CommandOk");
    auto* mail = child<QPushButton>(about, "lbEmail");
    for (QPushButton* button : about.findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    }
    ok->setFocus();
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_TRUE(about.isVisible());
    QTest::keyClick(ok, Qt::Key_Escape);
    EXPECT_TRUE(about.isVisible());

    mail->setFocus();
    QTest::keyClick(mail, Qt::Key_Return);
    EXPECT_EQ(platform::Shell::opened(),
              QStringList{QStringLiteral("mailto:") + frmAbout::ContactAddress1()});
    EXPECT_TRUE(about.isVisible());
    ok->setFocus();
    QTest::keyClick(ok, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(about.isVisible());

    frmHelp help;
    showAndWait(help);
    auto* helpOk = child<QPushButton>(help, "btnOk");
    EXPECT_FALSE(helpOk->isDefault());
    EXPECT_FALSE(helpOk->autoDefault());
    helpOk->setFocus();
    QTest::keyClick(helpOk, Qt::Key_Escape);
    QTest::keyClick(&help, Qt::Key_Escape);
    EXPECT_TRUE(help.isVisible());
    QTest::keyClick(helpOk, Qt::Key_Return);
    EXPECT_FALSE(help.isVisible());
}

// By Tab alone, in the windows' order: each control has a name and shows the focus.
TEST_F(InfoWindowTest, TabReachesEveryControlNamedAndShowingTheFocus) {
    frmAbout about;
    frmHelp help;
    const auto& t = ModTransLate::Text();
    const struct {
        QWidget* window;
        QStringList order; // from the first control, Tab after Tab, back to the first
        QStringList names;
    } rows[] = {
        {&about,
         {"CommandOk", "LabelHomepage", "lbEmail2", "lbEmail", "CommandOk"},
         {t.frmAbout.Ok, QString::fromUtf8(HomePage), frmAbout::ContactAddress2(),
          frmAbout::ContactAddress1(), t.frmAbout.Ok}},
        {&help, {"btnOk", "btnOk"}, {t.frmAbout.Ok, t.frmAbout.Ok}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.window->objectName().toStdString());
        showAndWait(*row.window);
        row.window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(row.window));
        EXPECT_EQ(a11y::unnamedControls(*row.window), QStringList());
        // The window reads as a window, by its title.
        EXPECT_EQ(a11y::of(row.window)->role(), QAccessible::Window);
        EXPECT_EQ(a11y::name(row.window), row.window->windowTitle());
        ASSERT_TRUE(testsupport::waitUntil([&] { return QApplication::focusWidget(); }));
        QStringList order, names;
        for (int i = 0; i < row.order.size(); ++i) {
            QWidget* focused = QApplication::focusWidget();
            order << focused->objectName();
            names << a11y::name(focused);
            EXPECT_TRUE(a11y::focusShows(focused)) << focused->objectName().toStdString();
            if (i + 1 < row.order.size())
                QTest::keyClick(focused, Qt::Key_Tab);
        }
        EXPECT_EQ(order, row.order);
        EXPECT_EQ(names, row.names);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // the first: OK
        EXPECT_FALSE(row.window->isVisible());
    }
}

TEST_F(InfoWindowTest, AboutLayoutInPixels) {
    frmAbout about;
    EXPECT_EQ(about.size(), QSize(381, 123)); // 5715 x 1845 twips
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    const std::pair<const char*, QRect> controls[] = {
        {"CommandOk", QRect(320, 88, 53, 25)}, {"LabelHomepage", QRect(144, 64, 185, 17)},
        {"lbEmail2", QRect(144, 96, 161, 17)}, {"lbEmail", QRect(144, 80, 161, 17)},
        {"slAbout", QRect(96, 8, 153, 33)},    {"slVer", QRect(256, 16, 105, 17)},
        {"slContact", QRect(96, 40, 265, 17)}, {"slHomePage", QRect(88, 64, 57, 17)},
        {"slEmail", QRect(88, 80, 57, 17)},    {"Picture1", QRect(8, 8, 81, 65)},
    };
    for (const auto& [name, rect] : controls)
        EXPECT_EQ(child<QWidget>(about, name)->geometry(), rect) << name;

    // Tab order: OK, home page, second address, first address, and round again.
    QWidget* expected[] = {child<QWidget>(about, "CommandOk"),
                           child<QWidget>(about, "LabelHomepage"),
                           child<QWidget>(about, "lbEmail2"), child<QWidget>(about, "lbEmail")};
    auto nextTabStop = [](QWidget* widget) {
        do
            widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus));
        return widget;
    };
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(nextTabStop(expected[i]), expected[(i + 1) % 4]) << i;
    for (QLabel* label : about.findChildren<QLabel*>())
        EXPECT_EQ(label->focusPolicy(), Qt::NoFocus) << label->objectName().toStdString();
    for (QPushButton* link :
         {child<QPushButton>(about, "LabelHomepage"), child<QPushButton>(about, "lbEmail"),
          child<QPushButton>(about, "lbEmail2")})
        EXPECT_TRUE(link->isFlat());
}

TEST_F(InfoWindowTest, HelpLayoutInPixels) {
    frmHelp help;
    EXPECT_EQ(help.size(), QSize(402, 89)); // 6030 x 1335 twips
    EXPECT_EQ(help.minimumSize(), help.maximumSize());
    EXPECT_EQ(child<QWidget>(help, "btnOk")->geometry(), QRect(304, 56, 81, 25));
    EXPECT_EQ(child<QWidget>(help, "lbHelp")->geometry(), QRect(24, 8, 361, 41));
    EXPECT_TRUE(child<QLabel>(help, "lbHelp")->wordWrap());
}

TEST_F(InfoWindowTest, TitleBarsTaskbarAndIcons) {
    QWidget main;
    frmAbout about(&main);
    EXPECT_EQ(about.parentWidget(), nullptr); // a top-level window of its own
    EXPECT_EQ(about.windowType(), Qt::Dialog);
    const Qt::WindowFlags aboutFlags = about.windowFlags();
    EXPECT_TRUE(aboutFlags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(aboutFlags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(aboutFlags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(aboutFlags & Qt::WindowContextHelpButtonHint);

    frmHelp help;
    EXPECT_EQ(help.windowType(), Qt::Tool); // no taskbar button
    const Qt::WindowFlags helpFlags = help.windowFlags();
    EXPECT_TRUE(helpFlags & Qt::WindowCloseButtonHint); // Qt adds the system menu hint to it
    EXPECT_FALSE(helpFlags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                              Qt::WindowContextHelpButtonHint));

    const QSize iconSize(80, 62);
    for (QWidget* window : {static_cast<QWidget*>(&about), static_cast<QWidget*>(&help)}) {
        ASSERT_FALSE(window->windowIcon().isNull());
        EXPECT_EQ(window->windowIcon().pixmap(iconSize).toImage(),
                  Skin::programPicture().toImage());
    }
    const QPixmap picture = child<QLabel>(about, "Picture1")->pixmap();
    EXPECT_EQ(picture.size(), iconSize);
    EXPECT_EQ(picture.toImage(), Skin::programPicture().toImage());
    EXPECT_EQ(child<QLabel>(about, "Picture1")->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Base));
}

TEST_F(InfoWindowTest, FirstPositions) {
    QWidget main;
    main.setGeometry(40, 60, 541, 247);
    showAndWait(main);
    frmAbout about(&main);
    showAndWait(about);
    const QPoint offset = about.frameGeometry().center() - main.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 1) << offset.x() << "," << offset.y();

    frmHelp help;
    showAndWait(help);
    const QRect screen = help.screen()->availableGeometry();
    const QPoint fromScreen = help.frameGeometry().center() - screen.center();
    EXPECT_LE(fromScreen.manhattanLength(), 1) << fromScreen.x() << "," << fromScreen.y();
}

TEST_F(InfoWindowTest, LinksShowTheHandAndEverythingElseTheArrow) {
    frmAbout about;
    showAndWait(about);
    for (const char* name : {"LabelHomepage", "lbEmail", "lbEmail2"}) {
        const QCursor cursor = child<QWidget>(about, name)->cursor();
        EXPECT_EQ(cursor.shape(), Qt::BitmapCursor) << name;
        EXPECT_EQ(cursor.hotSpot(), QPoint(6, 0)) << name;
        EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32)) << name;
    }
    for (const char* name :
         {"CommandOk", "slAbout", "slVer", "slContact", "slHomePage", "slEmail", "Picture1"})
        EXPECT_EQ(child<QWidget>(about, name)->cursor().shape(), Qt::ArrowCursor) << name;
    EXPECT_EQ(about.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(InfoWindowTest, LabelFontsAndAlignmentSurviveTheSkin) {
    frmAbout about;
    frmHelp help;
    showAndWait(about);
    showAndWait(help);
    const QFont name = child<QLabel>(about, "slAbout")->font();
    EXPECT_EQ(name.family(), QStringLiteral("MS Sans Serif"));
    EXPECT_DOUBLE_EQ(name.pointSizeF(), 13.5);
    EXPECT_EQ(name.weight(), QFont::Normal);
    const std::pair<QLabel*, Qt::Alignment> labels[] = {
        {child<QLabel>(about, "slVer"), Qt::AlignLeft},
        {child<QLabel>(about, "slContact"), Qt::AlignLeft},
        {child<QLabel>(about, "slHomePage"), Qt::AlignRight},
        {child<QLabel>(about, "slEmail"), Qt::AlignRight},
        {child<QLabel>(help, "lbHelp"), Qt::AlignLeft},
    };
    for (const auto& [label, horizontal] : labels) {
        const std::string id = label->objectName().toStdString();
        EXPECT_EQ(label->font().family(), QStringLiteral("MS Sans Serif")) << id;
        EXPECT_DOUBLE_EQ(label->font().pointSizeF(), 8.25) << id;
        EXPECT_EQ(label->font().weight(), QFont::Normal) << id;
        EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, horizontal) << id;
    }
    EXPECT_EQ(child<QLabel>(about, "slAbout")->alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignLeft);
}

} // namespace
