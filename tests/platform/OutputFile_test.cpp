#include "app/AddressFormatter.h"
#include "platform/OutputFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using platform::FileFailure;

TEST(OutputFile, PrepareReplacesFilesButRefusesDirectoriesAndDevices) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("out.txt"));
    testsupport::writeFile(file, "old\r\n");
    EXPECT_TRUE(OutputFile::prepare(file));
    EXPECT_FALSE(QFile::exists(file));

    // A read-only file (mode 0444) cannot be deleted, and stays as it is; root, too,
    // keeps it, as a Windows program's delete of a read-only file fails.
    testsupport::writeFile(file, "kept\r\n");
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                QFileDevice::ReadOther));
    EXPECT_EQ(OutputFile::prepare(file).failure, FileFailure::ReadOnly);
    EXPECT_EQ(testsupport::readFile(file), QByteArray("kept\r\n"));
#ifndef _WIN32
    const QString target = dir.filePath(QStringLiteral("target.txt"));
    const QString link = dir.filePath(QStringLiteral("link.txt"));
    testsupport::writeFile(target, "kept\r\n");
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_TRUE(OutputFile::prepare(link));
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(testsupport::readFile(target), QByteArray("kept\r\n"));
#endif

    const QString sub = dir.filePath(QStringLiteral("folder"));
    ASSERT_TRUE(QDir().mkdir(sub));
    testsupport::writeFile(sub + QStringLiteral("/inside.txt"), "x");
    EXPECT_EQ(OutputFile::prepare(sub).failure, FileFailure::NotAFile);
    EXPECT_TRUE(QFile::exists(sub + QStringLiteral("/inside.txt")));
    // Another file that is not a regular one, the test's own, never a system one.
    const QString special = dir.filePath(QStringLiteral("special"));
    ASSERT_TRUE(testsupport::makeSpecialFile(special));
    EXPECT_EQ(OutputFile::prepare(special).failure, FileFailure::NotAFile);
    EXPECT_TRUE(QFileInfo::exists(special));
    EXPECT_TRUE(OutputFile::prepare(dir.filePath(QStringLiteral("missing.txt"))));
}

#ifndef _WIN32
// A file the user may not write, in a folder everyone may write (where unlink would
// succeed): prepare, run as the unprivileged test user (as root, permissions do not
// apply), leaves it as it is. The file is root's when the tests run as root.
TEST(OutputFile, PrepareKeepsAFileTheUserMayNotWriteInASharedFolder) {
    const passwd* user = ::geteuid() == 0 ? testsupport::unprivilegedUser() : nullptr;
    ASSERT_TRUE(user != nullptr || ::geteuid() != 0);
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    const struct {
        const char* what;
        mode_t mode;
        bool kept; // else replaced
    } rows[] = {
        {"another user's 0644 file", 0644, user != nullptr},
        {"writable for the group, not for its owner (0464)", 0464, true},
        {"writable for everyone (0666)", 0666, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const QString file = dir.filePath(QStringLiteral("out.txt"));
        testsupport::writeFile(file, "kept\r\n");
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), row.mode), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool as =
                user == nullptr || (::setgid(user->pw_gid) == 0 && ::setgroups(0, nullptr) == 0 &&
                                    ::setuid(user->pw_uid) == 0);
            ::_exit(as ? static_cast<int>(OutputFile::prepare(file).failure) : 100);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status),
                  static_cast<int>(row.kept ? FileFailure::ReadOnly : FileFailure::None));
        EXPECT_EQ(testsupport::readFile(file), row.kept ? QByteArray("kept\r\n") : QByteArray());
        QFile::remove(file);
    }
}
#endif

TEST(OutputFile, AppendsThroughOneDescriptorAndCutsBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    OutputFile file;
    ASSERT_TRUE(file.create(path));
    // never opens what is already there
    EXPECT_EQ(OutputFile().create(path), (platform::FileStatus{FileFailure::Exists, EEXIST}));
    ASSERT_TRUE(file.write("1@a\r\n", "2@a\r\n3@")); // two parts, in their order
    ASSERT_TRUE(file.cutBack(10));
    EXPECT_TRUE(file.cutBack(10));         // to the size it has: not a failure
    EXPECT_FALSE(file.cutBack(11));        // never grows the file
    ASSERT_TRUE(file.write("3@a\r\n", 5)); // and goes on where it was cut
    // Still the file at its name holding what was written; not once the name is gone (a
    // file cut or appended to by another process: the run's table of outside changes).
    EXPECT_TRUE(file.checkWrittenAt(path));
    EXPECT_EQ(file.checkWrittenAt(dir.path()),
              (platform::FileStatus{FileFailure::Changed, ENOENT}));
    EXPECT_EQ(testsupport::readFile(path), QByteArray("1@a\r\n2@a\r\n3@a\r\n"));
    ASSERT_TRUE(file.cutBack(10));

#ifdef _WIN32
    ASSERT_TRUE(file.write("3@", "a\r")); // as far as the size limit lets it below
#else
    // A write across the file-size limit fails, with the bytes that reached the file
    // counted, in the second part too.
    const testsupport::Undo limit = testsupport::limitFileSize(14);
    EXPECT_EQ(file.write("3@", "a\r\n"), (platform::FileStatus{FileFailure::WriteFailed, EFBIG}));
#endif
    EXPECT_EQ(file.size(), 14);
    EXPECT_TRUE(file.close());
    EXPECT_EQ(testsupport::readFile(path), QByteArray("1@a\r\n2@a\r\n3@a\r"));
}

} // namespace
