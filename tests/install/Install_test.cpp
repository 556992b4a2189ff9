// The installed program: this build installed with `cmake --install` below a temporary
// DESTDIR (prefix /usr) must lay out the program folder, the default settings, the command
// link and the desktop files, and the program started through the link must find its installed
// language file.
#include "platform/Installation.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace {

using testsupport::readFile;

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dest_.isValid());
        QProcess cmake;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DESTDIR"), dest_.path());
        cmake.setProcessEnvironment(environment);
        cmake.setProcessChannelMode(QProcess::MergedChannels);
        cmake.start(QStringLiteral("cmake"),
                    {QStringLiteral("--install"), QStringLiteral(KORVANI_BINARY_DIR),
                     QStringLiteral("--prefix"), QStringLiteral("/usr")});
        ASSERT_TRUE(cmake.waitForFinished(120000)) << "cmake --install did not finish";
        ASSERT_EQ(cmake.exitCode(), 0) << cmake.readAll().toStdString();
    }

    // A path below DESTDIR/usr.
    QString usr(const QString& relative) const {
        return dest_.filePath(QStringLiteral("usr/") + relative);
    }
    QString program() const { return usr(QStringLiteral("lib/korvani/Korvani")); }

    QTemporaryDir dest_;
};

// The value of key in an installed desktop entry ("" when missing).
QString desktopValue(const QByteArray& entry, const char* key) {
    const QRegularExpression line(QStringLiteral("^%1=(.*)$").arg(QLatin1String(key)),
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(entry)).captured(1);
}

TEST_F(InstallTest, LaysOutTheProgramFolderTheCommandAndTheDesktopFiles) {
    const QFileInfo executable(program());
    EXPECT_TRUE(executable.isFile() && executable.isExecutable());

    // The shipped texts and the shipped default settings, not a build folder's edited copy.
    const QString resources = QStringLiteral(KORVANI_SOURCE_DIR "/resources/");
    // The default settings are a configuration file where the program reads them installed
    // (<sysconfdir>/korvani: /etc/korvani for the prefix /usr), not in the program folder.
    const QString settings = platform::Installation::installedSettingsFolder();
    ASSERT_TRUE(settings.endsWith(QStringLiteral("etc/korvani"))) << settings.toStdString();
    EXPECT_EQ(readFile(dest_.path() + settings + QStringLiteral("/Korvani.ini")),
              readFile(resources + QStringLiteral("Korvani.ini")));
    EXPECT_FALSE(QFileInfo::exists(usr(QStringLiteral("lib/korvani/Korvani.ini"))));
    for (const char* name : {"Korvani_EN.ini", "Korvani_SC.ini", "Korvani_TC.ini"}) {
        const QString relative = QStringLiteral("language/") + QLatin1String(name);
        EXPECT_EQ(readFile(usr(QStringLiteral("lib/korvani/") + relative)),
                  readFile(resources + relative))
            << name;
    }

    // The desktop entry starts the command and names icons that are installed.
    const QString appId = QStringLiteral("com.example.Korvani");
    const QByteArray entry =
        readFile(usr(QStringLiteral("share/applications/%1.desktop").arg(appId)));
    const QString command = desktopValue(entry, "Exec");
    ASSERT_FALSE(command.isEmpty());
    const QFileInfo link(usr(QStringLiteral("bin/") + command));
    EXPECT_TRUE(link.isSymLink());
    EXPECT_EQ(link.canonicalFilePath(), executable.canonicalFilePath()) << "the command link";
    const QString icon = desktopValue(entry, "Icon");
    EXPECT_EQ(icon, appId);
    for (const char* size : {"48x48", "64x64", "128x128", "256x256"})
        EXPECT_TRUE(QFileInfo::exists(usr(
            QStringLiteral("share/icons/hicolor/%1/apps/%2.png").arg(QLatin1String(size), icon))))
            << size;
    EXPECT_TRUE(QFileInfo::exists(
        usr(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(icon))));

    const QByteArray metainfo =
        readFile(usr(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(appId)));
    EXPECT_TRUE(metainfo.contains(QStringLiteral("<id>%1</id>").arg(appId).toUtf8()));
    EXPECT_TRUE(
        metainfo.contains(QStringLiteral("<launchable type=\"desktop-id\">%1.desktop</launchable>")
                              .arg(appId)
                              .toUtf8()));

    for (const char* doc : {"share/man/man1/korvani.1.gz", "share/doc/korvani/copyright",
                            "share/doc/korvani/changelog.gz"})
        EXPECT_TRUE(QFileInfo(usr(QLatin1String(doc))).isFile()) << doc;
}

// Whether the program runs installed: its folder and the installed one are compared as
// folders, whatever links lead to either.
TEST(RunsInstalled, TheInstalledFolderByAnyNameIsTheSameFolder) {
    QTemporaryDir top;
    const QString real = top.filePath(QStringLiteral("lib/korvani"));
    const QString other = top.filePath(QStringLiteral("opt/korvani"));
    ASSERT_TRUE(QDir().mkpath(real) && QDir().mkpath(other));
    // /lib, a link to /usr/lib on a merged system; and a link to the program folder itself.
    ASSERT_TRUE(
        QFile::link(top.filePath(QStringLiteral("lib")), top.filePath(QStringLiteral("usrlib"))));
    ASSERT_TRUE(QFile::link(real, top.filePath(QStringLiteral("current"))));
    const QString throughParent = top.filePath(QStringLiteral("usrlib/korvani"));
    const QString throughLink = top.filePath(QStringLiteral("current"));
    const struct Row {
        const char* what;
        QString program, installed;
        bool installedHere;
    } rows[] = {
        {"the same name", real, real, true},
        {"the program folder below a link", throughParent, real, true},
        {"the program folder a link itself", throughLink, real, true},
        {"the installed folder below a link", real, throughParent, true},
        {"the installed folder a link itself", real, throughLink, true},
        {"both through links", throughLink, throughParent, true},
        {"another folder of the same name", other, real, false},
        {"the parent of a link to the program folder", throughLink + QStringLiteral("/.."),
         top.filePath(QStringLiteral("lib")), true},
        {"the link's own parent", top.path(), top.filePath(QStringLiteral("lib")), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        platform::Installation::setProgramFolder(row.program);
        platform::Installation::setInstalledProgramFolder(row.installed);
        EXPECT_EQ(platform::Installation::runsInstalled(), row.installedHere);
    }
}

// The program has no command line and shows a window: strace shows from outside which
// files it opens. Started through usr/bin/korvani, it must open the language file of the
// installed program folder (the real executable's folder, not the link's).
TEST_F(InstallTest, ProgramStartedThroughTheCommandLinkOpensItsInstalledLanguageFile) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString log = home.filePath(QStringLiteral("strace.log"));
    const QByteArray opened =
        QStringLiteral("openat(AT_FDCWD, \"%1\"")
            .arg(QDir::cleanPath(usr(QStringLiteral("lib/korvani/language/Korvani_EN.ini"))))
            .toUtf8();

    QProcess strace;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    strace.setProcessEnvironment(environment);
    strace.setWorkingDirectory(home.path());
    // strace and the program form a process group of their own, ended together.
    strace.setChildProcessModifier([] { ::setpgid(0, 0); });
    strace.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    strace.start(QStringLiteral("strace"),
                 {QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-e"),
                  QStringLiteral("trace=openat"), QStringLiteral("-e"),
                  QStringLiteral("status=successful"), QStringLiteral("-o"), log,
                  usr(QStringLiteral("bin/korvani"))});
    ASSERT_TRUE(strace.waitForStarted()) << "strace: " << strace.errorString().toStdString();
    const auto group = static_cast<pid_t>(strace.processId());
    ASSERT_GT(group, 0);

    bool found = false;
    testsupport::waitUntil(
        [&] {
            found = readFile(log).contains(opened);
            return found || strace.state() == QProcess::NotRunning;
        },
        60000);
    ::kill(-group, SIGKILL);
    strace.waitForFinished();

    EXPECT_TRUE(found) << "never opened " << opened.toStdString() << "\n"
                       << readFile(log).right(4000).toStdString();
}

} // namespace
