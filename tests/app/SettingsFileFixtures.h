#pragma once

// Each system's way to make the settings file read-only and to install the program in a
// folder of its own, so that the tests' bodies are the same on both. The guard of each
// test puts the program folders and the configuration folder's variable back.

#include "platform/Application.h"
#include "support/SeamGuard.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

const QByteArray ThreeSuffixes = "[Suffix]\r\nb.com=\r\na.com=\r\nc.com=\r\n";

// The program folder as an install lays it out, made the program folder: the English
// texts and the shipped settings file, which holds ThreeSuffixes.
inline void layOutProgramFolder(const QString& folder) {
    EXPECT_TRUE(QDir().mkpath(folder + QStringLiteral("/language")));
    EXPECT_TRUE(QFile::copy(QStringLiteral(KORVANI_SOURCE_DIR "/resources/language/Korvani_EN.ini"),
                            folder + QStringLiteral("/language/Korvani_EN.ini")));
    testsupport::writeFile(folder + QStringLiteral("/Korvani.ini"), ThreeSuffixes);
    platform::Application::setProgramFolder(folder);
}

#ifndef _WIN32
// While it lives, the process runs as the unprivileged user "korvanitest" (made by ctest
// before the tests), so that file permissions apply; without root, as itself.
class AsUnprivilegedUser {
public:
    AsUnprivilegedUser() {
        const passwd* user = ::geteuid() == 0 ? testsupport::unprivilegedUser() : nullptr;
        // The saved user id stays root, so the destructor can switch back.
        switched_ = user != nullptr && ::setresgid(user->pw_gid, user->pw_gid, 0) == 0 &&
                    ::setresuid(user->pw_uid, user->pw_uid, 0) == 0;
    }
    ~AsUnprivilegedUser() {
        if (switched_) {
            [[maybe_unused]] const int u = ::setresuid(0, 0, 0);
            [[maybe_unused]] const int g = ::setresgid(0, 0, 0);
        }
    }
    AsUnprivilegedUser(const AsUnprivilegedUser&) = delete;
    bool active() const { return switched_ || ::geteuid() != 0; }

private:
    bool switched_ = false;
};

// While it lives, file may be read and not written (mode 0444, its folder open to all):
// the process runs as the unprivileged user.
class ReadOnlyFile {
public:
    ReadOnlyFile(const QString& folder, const QString& file) : folder_(QFile::encodeName(folder)) {
        EXPECT_EQ(::chmod(folder_.constData(), 0777), 0);
        EXPECT_EQ(::chmod(QFile::encodeName(file).constData(), 0444), 0);
        user_.emplace();
    }
    ~ReadOnlyFile() {
        user_.reset(); // back to root, who may change the folder
        ::chmod(folder_.constData(), 0700);
    }
    bool active() const { return user_->active(); }

private:
    QByteArray folder_;
    std::optional<AsUnprivilegedUser> user_;
};

// Installed as the package installs it, for all users: the program in root's folder
// usr/lib/korvani, its default settings in etc/korvani (folders 0755, files 0644), each
// user's copy under XDG_CONFIG_HOME, in a home folder that the unprivileged user owns.
class InstalledProgram {
public:
    InstalledProgram() {
        ::chmod(QFile::encodeName(top_.path()).constData(), 0755);
        layOutProgramFolder(folder);
        EXPECT_TRUE(QDir().mkpath(etc_) && QFile::rename(besideProgram, shipped));
        for (const QString& path : {shipped, folder + QStringLiteral("/language/Korvani_EN.ini")})
            ::chmod(QFile::encodeName(path).constData(), 0644);
        const QByteArray home = QFile::encodeName(top_.filePath(QStringLiteral("home")));
        EXPECT_TRUE(QDir().mkpath(QFile::decodeName(home)));
        if (const passwd* user = ::geteuid() == 0 ? testsupport::unprivilegedUser() : nullptr) {
            EXPECT_EQ(::chown(home.constData(), user->pw_uid, user->pw_gid), 0);
        }
        qputenv(testsupport::ConfigFolderVariable, home + "/.config");
        platform::Application::setInstalledProgramFolder(folder, etc_);
    }
    // Run from another folder: the settings file beside the program is the one.
    void runElsewhere() { platform::Application::setInstalledProgramFolder(top_.filePath("else")); }
    // No configuration folder: a file in its place.
    void loseConfigFolder() {
        testsupport::writeFile(top_.filePath(QStringLiteral("config")), "x");
        qputenv(testsupport::ConfigFolderVariable, QFile::encodeName(top_.filePath("config")));
    }
    // The installed folder by another name, through a link and "..", is the same folder.
    void nameThroughALink() {
        EXPECT_TRUE(QFile::link(folder, top_.filePath(QStringLiteral("link"))));
        platform::Application::setInstalledProgramFolder(top_.filePath("link/../korvani"), etc_);
    }

private:
    QTemporaryDir top_;
    QString etc_ = top_.filePath(QStringLiteral("etc/korvani"));

public:
    const QString folder = top_.filePath(QStringLiteral("usr/lib/korvani"));
    const QString besideProgram = folder + QStringLiteral("/Korvani.ini");
    const QString shipped = etc_ + QStringLiteral("/Korvani.ini");
    const QString own = top_.filePath(QStringLiteral("home/.config/korvani/Korvani.ini"));
};

#else
// Windows applies a file's read-only attribute to every user: the process stays itself.
struct AsUnprivilegedUser {
    bool active() const { return true; }
};

// While it lives, file may be read and not written: its read-only attribute is set.
class ReadOnlyFile : public AsUnprivilegedUser {
public:
    ReadOnlyFile(const QString&, const QString& file) : file_(file) {
        EXPECT_TRUE(QFile::setPermissions(file_, QFileDevice::ReadOwner));
    }
    ~ReadOnlyFile() {
        QFile::setPermissions(file_, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

private:
    QString file_;
};

// Installed by the installer, which leaves its mark in the program folder; each user's
// copy goes into their application data (APPDATA).
class InstalledProgram {
public:
    InstalledProgram() {
        layOutProgramFolder(folder);
        testsupport::writeFile(mark_, "Korvani, installed for AllUsers\r\n");
        qputenv("APPDATA", QDir::toNativeSeparators(top_.filePath("AppData/Roaming")).toUtf8());
    }
    // An unpacked zip: a folder of the mark's name is no mark.
    void runElsewhere() { EXPECT_TRUE(QFile::remove(mark_) && QDir().mkpath(mark_)); }
    void loseConfigFolder() { qputenv("APPDATA", ""); } // no %APPDATA%

private:
    QTemporaryDir top_;

public:
    const QString folder = top_.filePath(QStringLiteral("Program Files/Korvani"));
    const QString besideProgram = folder + QStringLiteral("/Korvani.ini");
    const QString shipped = besideProgram;
    const QString own = top_.filePath(QStringLiteral("AppData/Roaming/Korvani/Korvani.ini"));

private:
    const QString mark_ = folder + u'/' + platform::Application::installedMark();
};
#endif
