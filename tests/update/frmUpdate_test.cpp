#include "update/frmUpdate.h"

#include "Version.h"
#include "i18n/ModTransLate.h"
#include "i18n/WindowCaptions.h"
#include "platform/Desktop.h"
#include "platform/HttpGet.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"
#include "ui/AccessibilityChecks.h"
#include "ui/Skin.h"
#include "ui/SkinLabel.h"
#include "update/UpdateConfig.h"
#include "update/VersionNumber.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

using testsupport::LocalHttpServer;

// Texts of our own, so that every part of a message can be told apart.
const QByteArray Language = "[SysGlobal]\r\n"
                            "ProductName=Korvani Test\r\n"
                            "[frmMain]\r\n"
                            "Exit=Leave\r\n"
                            "HomePageLink=http://www.example.com/korvani\r\n"
                            "[frmUpdate]\r\n"
                            "FindTheLastestVer=A newer version exists\r\n"
                            "NoFindTheLastestVer=You have the newest version\r\n"
                            "CheckUpdate=Check for updates\r\n"
                            "DownNewVersion=Download it\r\n"
                            "TheLastestVer=Latest version\r\n"
                            "CheckingLastestVer=Checking...\r\n"
                            "CheckFailed=The check failed\r\n";

const ModTransLate::Catalogue& text() {
    return ModTransLate::Text();
}

class UpdateWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::writeFile(folder.languageFile(), Language);
        ModTransLate::LoadLanguage();
        ASSERT_FALSE(text().frmUpdate.CheckFailed.isEmpty());
        UpdateConfig::setBaseAddressForTesting(server.baseAddress());
        platform::HttpGet::setTimeoutForTesting(5000);
    }

    std::unique_ptr<frmUpdate> open() {
        auto window = std::make_unique<frmUpdate>();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        progress.clear();
        QObject::connect(bar(*window), &QProgressBar::valueChanged,
                         [this](int value) { progress.append(value); });
        return window;
    }
    static QString message(const frmUpdate& w) { return w.findChild<QLabel*>("lbMsg")->text(); }
    static QProgressBar* bar(const frmUpdate& w) { return w.findChild<QProgressBar*>("pbUpdate"); }
    static void click(frmUpdate& w, int index) {
        QTest::mouseClick(w.Command(index), Qt::LeftButton);
    }
    static QString result(const QString& first, const QString& version) {
        return first + "," + text().frmUpdate.TheLastestVer + ":" + version;
    }

    testsupport::ProgramFolder folder;
    LocalHttpServer server;
    QList<int> progress;
};

TEST_F(UpdateWindowTest, LoadsWithItsLayoutCaptionsAndState) {
    QWidget owner;
    owner.setGeometry(200, 150, 800, 600);
    frmUpdate w(&owner);

    EXPECT_EQ(w.objectName(), QStringLiteral("frmUpdate"));
    EXPECT_EQ(w.parentWidget(), nullptr); // a window of its own, with a taskbar button
    EXPECT_EQ(w.windowType(), Qt::Window);
    const Qt::WindowFlags flags = w.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(w.minimumSize(), QSize(444, 125)); // 6660 x 1875 twips
    EXPECT_EQ(w.maximumSize(), QSize(444, 125));
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(w.geometry().center(), owner.frameGeometry().center());

    for (int i : {0, 1}) {
        QPushButton* button = w.findChild<QPushButton*>(QStringLiteral("Command(%1)").arg(i));
        ASSERT_EQ(button, w.Command(i));
        EXPECT_EQ(button->property("Index").toInt(), i);
        EXPECT_FALSE(button->autoDefault());
        EXPECT_FALSE(button->isDefault());
    }
    EXPECT_EQ(w.Command(0)->geometry(), QRect(256, 80, 89, 25));
    EXPECT_EQ(w.Command(1)->geometry(), QRect(352, 80, 65, 25));
    EXPECT_EQ(bar(w)->geometry(), QRect(24, 40, 393, 25));
    auto* label = w.findChild<SkinLabel*>("lbMsg");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->geometry(), QRect(24, 8, 385, 25));
    EXPECT_EQ(label->font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_DOUBLE_EQ(label->font().pointSizeF(), 8.25);
    EXPECT_TRUE(label->alignment().testFlag(Qt::AlignLeft));

    EXPECT_EQ(w.windowTitle(), text().frmUpdate.CheckUpdate);
    EXPECT_EQ(w.Command(0)->text(), text().frmUpdate.CheckUpdate);
    EXPECT_EQ(w.Command(1)->text(), text().frmMain.Exit);
    EXPECT_EQ(w.tag(), QStringLiteral("CHECK"));
    EXPECT_TRUE(label->text().isEmpty());
    EXPECT_EQ(bar(w)->minimum(), 0);
    EXPECT_EQ(bar(w)->maximum(), 100);
    EXPECT_EQ(bar(w)->value(), 0);
    EXPECT_EQ(w.LocalVersion(),
              VersionNumber::FromParts(Version::Major, Version::Minor, Version::Revision));
    EXPECT_EQ(w.LocalVersion(), 1.4f); // version 1.4.0
    ASSERT_FALSE(w.windowIcon().isNull());
    EXPECT_EQ(w.windowIcon().pixmap(32).toImage(), Skin::programIcon().pixmap(32).toImage());
}

TEST_F(UpdateWindowTest, TheSameVersionIsNotNewer) {
    server.setBody("1.4");
    auto w = open();
    click(*w, 0);
    EXPECT_EQ(message(*w), result(text().frmUpdate.NoFindTheLastestVer, "1.4"));
    EXPECT_EQ(w->tag(), QStringLiteral("CHECK"));
    EXPECT_EQ(w->Command(0)->text(), text().frmUpdate.CheckUpdate);
    EXPECT_EQ(w->RemoteVersion(), 1.4f);
    EXPECT_EQ(progress, (QList<int>{10, 20, 90, 100}));

    // Another check may follow; it starts the bar again from 0.
    progress.clear();
    click(*w, 0);
    EXPECT_EQ(progress, (QList<int>{0, 10, 20, 90, 100}));
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(UpdateWindowTest, ANewerVersionTurnsTheButtonIntoALink) {
    server.setBody("1.5");
    auto w = open();
    click(*w, 0);
    EXPECT_EQ(message(*w), result(text().frmUpdate.FindTheLastestVer, "1.5"));
    EXPECT_EQ(w->tag(), QStringLiteral("DOWN"));
    EXPECT_EQ(w->Command(0)->text(), text().frmUpdate.DownNewVersion);
    EXPECT_TRUE(platform::Shell::opened().isEmpty());

    click(*w, 0);
    click(*w, 0);
    const QString link = text().frmMain.HomePageLink;
    EXPECT_EQ(platform::Shell::opened(), (QStringList{link, link}));
    EXPECT_EQ(w->tag(), QStringLiteral("DOWN"));
    EXPECT_EQ(server.requests().size(), 1); // no further check
}

// The manifest's number as it stands decides; an answer without one is a failed check.
TEST_F(UpdateWindowTest, ReadsTheManifestNumberAsItStandsAndNoNumberFails) {
    enum Outcome { Newer, NotNewer, Failed };
    const struct {
        int status;
        QByteArray body;
        Outcome outcome;
        const char* shown;
    } cases[] = {{200, "1.05", NotNewer, "1.05"},
                 {200, " 1.5 \r\n", Newer, "1.5"},
                 {200, "2", Newer, "2"},
                 {200, "1.40\n", NotNewer, "1.4"},
                 {200, "1.412", Newer, "1.412"},
                 {404, "<html><body>Not Found</body></html>", Failed, nullptr},
                 {200, "", Failed, nullptr},
                 {200, "version=1.5", Failed, nullptr},
                 {500, "1.5 soon", Failed, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.status << " " << c.body.constData());
        server.setStatus(c.status);
        server.setBody(c.body);
        auto w = open();
        platform::Announcement::clearTold();
        click(*w, 0);
        const auto& texts = text().frmUpdate;
        // The result is told to assistive tools once, as the label shows and names it.
        EXPECT_EQ(platform::Announcement::told(), QStringList{message(*w)});
        EXPECT_EQ(a11y::name(w->findChild<QLabel*>("lbMsg")), message(*w));
        EXPECT_EQ(message(*w), c.outcome == Failed
                                   ? texts.CheckFailed
                                   : result(c.outcome == Newer ? texts.FindTheLastestVer
                                                               : texts.NoFindTheLastestVer,
                                            QString::fromLatin1(c.shown)));
        EXPECT_EQ(w->tag(), c.outcome == Newer ? QStringLiteral("DOWN") : QStringLiteral("CHECK"));
        EXPECT_EQ(w->Command(0)->text(),
                  c.outcome == Newer ? texts.DownNewVersion : texts.CheckUpdate);
        EXPECT_EQ(bar(*w)->value(), 100);
        EXPECT_TRUE(w->isVisible());
    }
}

TEST_F(UpdateWindowTest, AHostThatCannotBeReachedFailsAndStaysUsable) {
    UpdateConfig::setBaseAddressForTesting(
        QStringLiteral("http://127.0.0.1:%1").arg(testsupport::closedPort()));
    auto w = open();
    bar(*w)->setValue(50);
    progress.clear();
    click(*w, 0);
    EXPECT_EQ(progress, (QList<int>{0, 10, 100}));
    EXPECT_EQ(message(*w), text().frmUpdate.CheckFailed);
    EXPECT_EQ(w->tag(), QStringLiteral("CHECK"));
    EXPECT_TRUE(w->isVisible());

    // Once the host answers, the same window checks again.
    UpdateConfig::setBaseAddressForTesting(server.baseAddress());
    server.setBody("1.5");
    click(*w, 0);
    EXPECT_EQ(w->tag(), QStringLiteral("DOWN"));
}

TEST_F(UpdateWindowTest, TheTimeOutEndsTheWaitForASilentHost) {
    platform::HttpGet::setTimeoutForTesting(300);
    server.setMode(LocalHttpServer::Mode::NeverAnswer);
    auto w = open();
    QElapsedTimer clock;
    clock.start();
    click(*w, 0);
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_EQ(message(*w), text().frmUpdate.CheckFailed);
    EXPECT_EQ(bar(*w)->value(), 100);
}

TEST_F(UpdateWindowTest, AHugeManifestIsCutAndFails) {
    server.setGeneratedBody(10 * 1024 * 1024);
    auto w = open();
    click(*w, 0);
    EXPECT_EQ(message(*w), text().frmUpdate.CheckFailed);
    EXPECT_TRUE(testsupport::waitUntil([&] { return server.clientLeftEarly(); }));
}

TEST_F(UpdateWindowTest, ReopeningAfterANewerVersionStartsAfresh) {
    server.setBody("1.5");
    {
        auto w = open();
        click(*w, 0);
        ASSERT_EQ(w->tag(), QStringLiteral("DOWN"));
        click(*w, 1);
        EXPECT_FALSE(w->isVisible());
    }
    auto w = open();
    EXPECT_EQ(w->tag(), QStringLiteral("CHECK"));
    EXPECT_EQ(w->Command(0)->text(), text().frmUpdate.CheckUpdate);
    EXPECT_TRUE(message(*w).isEmpty());
    EXPECT_EQ(bar(*w)->value(), 0);
}

TEST_F(UpdateWindowTest, EscapePressesNothingAndEnterOnlyTheFocusedButton) {
    server.setBody("1.5");
    auto w = open();
    w->Command(0)->setFocus();
    QTest::keyClick(w->Command(0), Qt::Key_Escape);
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(server.connectionCount(), 0);
    EXPECT_EQ(w->tag(), QStringLiteral("CHECK"));

    w->Command(1)->setFocus();
    QTest::keyClick(w->Command(1), Qt::Key_Return);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(server.connectionCount(), 0);
}

// By keys alone: the check, then Tab to the close button; every control has a name (the
// progress bar the built-in one, which this language file lacks) and shows the focus.
TEST_F(UpdateWindowTest, KeysAloneCheckAndCloseAndEveryControlIsNamed) {
    server.setBody("1.5");
    auto w = open();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    EXPECT_EQ(a11y::unnamedControls(*w, {"pbUpdate"}), QStringList());
    EXPECT_EQ(a11y::of(w.get())->role(), QAccessible::Window);
    EXPECT_EQ(a11y::name(w.get()), text().frmUpdate.CheckUpdate);
    EXPECT_EQ(a11y::name(bar(*w)), QStringLiteral("Progress"));
    EXPECT_EQ(a11y::name(w->Command(0)), text().frmUpdate.CheckUpdate);
    EXPECT_TRUE(a11y::focusShows(w->Command(1), w->Command(0)));
    EXPECT_TRUE(a11y::focusShows(w->Command(0), w->Command(1)));
    ASSERT_EQ(QApplication::focusWidget(), w->Command(0));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(server.connectionCount(), 1);
    EXPECT_EQ(message(*w), result(text().frmUpdate.FindTheLastestVer, "1.5"));
    EXPECT_EQ(a11y::of(bar(*w))->text(QAccessible::Value), QStringLiteral("100%"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), w->Command(1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(UpdateWindowTest, TakesNoClickWhileItWaits) {
    server.setBody("1.5");
    auto w = open();
    QString shownWhileWaiting;
    bool checkingWhileWaiting = false;
    server.setOnRequest([&] {
        if (server.requests().size() > 1)
            return; // a second check got through: counted below
        shownWhileWaiting = message(*w);
        checkingWhileWaiting = w->isChecking();
        click(*w, 0); // would start a second check
        click(*w, 1); // would close the window
        w->close();   // the close box
    });
    click(*w, 0);

    EXPECT_EQ(shownWhileWaiting, text().frmUpdate.CheckingLastestVer);
    EXPECT_TRUE(checkingWhileWaiting);
    EXPECT_FALSE(w->isChecking());
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(message(*w), result(text().frmUpdate.FindTheLastestVer, "1.5"));
    EXPECT_TRUE(platform::Shell::opened().isEmpty());

    // The window answers again once the check is over.
    click(*w, 1);
    EXPECT_FALSE(w->isVisible());
}

} // namespace
