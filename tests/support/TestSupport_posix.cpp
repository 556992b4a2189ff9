#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

const char* const ConfigFolderVariable = "XDG_CONFIG_HOME";

bool runsUnderWine() {
    return false;
}

bool makeSpecialFile(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

bool putFileAt(const QString& target, const QString& name) {
    return QFile::link(target, name);
}

void setMode(const QString& path, mode_t mode) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0) << path.toStdString();
}

void limitChildFileSize(QProcess& process, std::int64_t bytes, bool signalIgnored) {
    if (bytes < 0)
        return;
    process.setChildProcessModifier([limit = static_cast<rlim_t>(bytes), signalIgnored] {
        const struct rlimit limited { limit, limit };
        ::setrlimit(RLIMIT_FSIZE, &limited);
        if (signalIgnored)
            ::signal(SIGXFSZ, SIG_IGN);
    });
}

void startAsUser(QProcess& process, const QString& program, const QStringList& arguments,
                 bool asUser) {
    const passwd* user = ::geteuid() == 0 && asUser ? unprivilegedUser() : nullptr;
    if (user != nullptr)
        process.start(QStringLiteral("setpriv"),
                      QStringList{QStringLiteral("--reuid=%1").arg(user->pw_uid),
                                  QStringLiteral("--regid=%1").arg(user->pw_gid),
                                  QStringLiteral("--clear-groups"), program} +
                          arguments);
    else
        process.start(program, arguments);
}

void giveToUser(const QString& path) {
    if (const passwd* user = ::geteuid() == 0 ? unprivilegedUser() : nullptr) {
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), user->pw_uid, user->pw_gid), 0);
    }
}

const passwd* unprivilegedUser() {
    const passwd* user = ::getpwnam(KORVANI_TEST_USER);
    if (user == nullptr)
        ADD_FAILURE() << "no user " KORVANI_TEST_USER ": ctest makes it as root (test "
                         "TestUser.Create)";
    return user;
}

Undo limitFileSize(rlim_t bytes) {
    struct rlimit saved {};
    EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto signal = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = bytes;
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    return Undo([saved, signal] {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, signal);
    });
}

} // namespace testsupport
