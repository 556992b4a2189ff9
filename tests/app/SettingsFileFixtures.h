#pragma once

// What each system needs to run as a user whom file permissions bind and to install the
// program, so that the tests' bodies are the same on both. The guard of each test puts the
// program folders and the configuration folder's variable back.

#include "platform/Installation.h"
#include "support/SeamGuard.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

const QByteArray ThreeSuffixes = "[Suffix]\r\nb.com=\r\na.com=\r\nc.com=\r\n";

// While it lives, the process runs as the unprivileged user "korvanitest" (made by ctest
// before the tests), so that file permissions apply; without root, or on Windows (whose
// read-only attribute binds every user), as itself.
class AsUnprivilegedUser {
public:
#ifndef _WIN32
    AsUnprivilegedUser() {
        const passwd* user = ::geteuid() == 0 ? testsupport::unprivilegedUser() : nullptr;
        // The saved user id stays root, so the destructor can switch back.
        switched_ = user != nullptr && ::setresgid(user->pw_gid, user->pw_gid, 0) == 0 &&
                    ::setresuid(user->pw_uid, user->pw_uid, 0) == 0;
        active_ = switched_ || ::geteuid() != 0;
    }
    ~AsUnprivilegedUser() {
        if (switched_) {
            [[maybe_unused]] const int u = ::setresuid(0, 0, 0);
            [[maybe_unused]] const int g = ::setresgid(0, 0, 0);
        }
    }
#endif
    bool active() const {
        return active_;
    }

private:
    bool switched_ = false;
    bool active_ = true;
};

#ifndef _WIN32
// Installed as the package installs it, for all users: the program in root's folder, its
// default settings in etc/korvani (folders 0755, files 0644), each user's copy under
// XDG_CONFIG_HOME, in a home folder that the unprivileged user owns.
class InstalledProgram {
public:
    InstalledProgram() {
        for (const QString& path : {top_.path(), folder})
            ::chmod(QFile::encodeName(path).constData(), 0755);
        EXPECT_TRUE(QDir().mkpath(etc_));
        testsupport::writeFile(shipped, ThreeSuffixes);
        for (const QString& path : {shipped, program_.languageFile()})
            ::chmod(QFile::encodeName(path).constData(), 0644);
        const QByteArray home = QFile::encodeName(top_.filePath(QStringLiteral("home")));
        EXPECT_TRUE(QDir().mkpath(QFile::decodeName(home)));
        if (const passwd* user = ::geteuid() == 0 ? testsupport::unprivilegedUser() : nullptr) {
            EXPECT_EQ(::chown(home.constData(), user->pw_uid, user->pw_gid), 0);
        }
        qputenv(testsupport::ConfigFolderVariable, home + "/.config");
        platform::Installation::setInstalledProgramFolder(folder, etc_);
    }
    // Run from another folder: the settings file beside the program is the one.
    void runElsewhere() {
        platform::Installation::setInstalledProgramFolder(top_.filePath("else"));
    }
    // No configuration folder: a file in its place.
    void loseConfigFolder() {
        testsupport::writeFile(top_.filePath(QStringLiteral("config")), "x");
        qputenv(testsupport::ConfigFolderVariable, QFile::encodeName(top_.filePath("config")));
    }
    // The installed folder by another name, through a link and "..", is the same folder.
    void nameThroughALink() {
        EXPECT_TRUE(QFile::link(folder, top_.filePath(QStringLiteral("link"))));
        platform::Installation::setInstalledProgramFolder(
            top_.filePath(QStringLiteral("link/../") + QFileInfo(folder).fileName()), etc_);
    }

private:
    testsupport::ProgramFolder program_{true, false}; // the English texts, no settings
    QTemporaryDir top_;
    QString etc_ = top_.filePath(QStringLiteral("etc/korvani"));

public:
    const QString folder = program_.path();
    const QString besideProgram = folder + QStringLiteral("/Korvani.ini");
    const QString shipped = etc_ + QStringLiteral("/Korvani.ini");
    const QString own = top_.filePath(QStringLiteral("home/.config/korvani/Korvani.ini"));
};

#else
// Installed by the installer, which leaves its mark in the program folder; each user's
// copy goes into their application data (APPDATA).
class InstalledProgram {
public:
    InstalledProgram() {
        testsupport::writeFile(shipped, ThreeSuffixes);
        testsupport::writeFile(mark_, "Korvani, installed for AllUsers\r\n");
        qputenv("APPDATA", QDir::toNativeSeparators(top_.filePath("AppData/Roaming")).toUtf8());
    }
    // An unpacked zip: a folder of the mark's name is no mark.
    void runElsewhere() { EXPECT_TRUE(QFile::remove(mark_) && QDir().mkpath(mark_)); }
    void loseConfigFolder() { qputenv("APPDATA", ""); } // no %APPDATA%

private:
    testsupport::ProgramFolder program_{true, false}; // the English texts, no settings
    QTemporaryDir top_;

public:
    const QString folder = program_.path();
    const QString besideProgram = folder + QStringLiteral("/Korvani.ini");
    const QString shipped = besideProgram;
    const QString own = top_.filePath(QStringLiteral("AppData/Roaming/Korvani/Korvani.ini"));

private:
    const QString mark_ = folder + u'/' + platform::Installation::installedMark();
};
#endif
