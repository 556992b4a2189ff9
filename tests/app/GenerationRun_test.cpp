// The run through its hooks, without a window: what it writes, whatever ends it or is done
// to its file meanwhile, the names it never writes to. The window's side: frmMainRun_test.cpp.
#include "app/GenerationRun.h"

#include "platform/Installation.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

#ifdef __linux__
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

using End = GenerationRun::End;
using platform::FileFailure;
using platform::FileStatus;

#ifdef _WIN32
constexpr bool IsWindows = true;
#else
constexpr bool IsWindows = false;
#endif

#ifdef __linux__
// Punches a hole of size bytes at offset into the file at path, its size kept, as another
// program may (fallocate).
bool punchHole(const QString& path, off_t offset, off_t size) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    const bool punched =
        fd >= 0 && ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset, size) == 0;
    if (fd >= 0)
        ::close(fd);
    return punched;
}
#endif

class GenerationRunTest : public ::testing::Test {
protected:
    QString output() const { return folder_.file(QStringLiteral("out.txt")); }

    // Runs from..to in suffix into path (null: the output file), doing act at event point
    // `point`; after act sets stop_, the event point answers Stop. Up to act, every event
    // point finds the file holding exactly the listed addresses.
    GenerationRun::Outcome run(std::int32_t from, std::int32_t to, const QByteArray& suffix,
                               const QString& path = {}, int point = 0,
                               const std::function<void()>& act = {}) {
        const QString file = path.isNull() ? output() : path;
        GenerationRun run(from, to, file, records_);
        std::int64_t listed = 0; // whole addresses found in the file so far, and their bytes
        std::size_t bytes = 0;
        GenerationRun::Hooks hooks;
        hooks.eventPoint = [&] {
            if (++eventPoints_ <= point || !act) {
                QFile written(file); // its size through a handle, as a file being written shows it
                const auto size = static_cast<std::size_t>(
                    written.open(QIODevice::ReadOnly) ? written.size() : 0);
                const WholeLines added = CountWholeAddresses(
                    from + listed, static_cast<std::size_t>(suffix.size()), size - bytes);
                listed += added.count;
                bytes += added.bytes;
                EXPECT_EQ(bytes, size) << "a cut line at event point " << eventPoints_;
                EXPECT_EQ(listed, records_.count()) << "event point " << eventPoints_;
            }
            if (eventPoints_ == point && act)
                act();
            return stop_ ? GenerationRun::Next::Stop : GenerationRun::Next::Continue;
        };
        hooks.suffix = [&] { return suffix; };
        hooks.progressed = [&](std::int64_t done) { EXPECT_EQ(done, records_.count()); };
        return run.run(hooks);
    }

    testsupport::ProgramFolder folder_;
    RecordModel records_;
    int eventPoints_ = 0;
    bool stop_ = false;
};

#ifndef _WIN32 // a file-size limit (RLIMIT_FSIZE)
TEST_F(GenerationRunTest, AFailedWriteIsCutBackToAWholeLine) {
    // Not a multiple of any line's length.
    const testsupport::Undo limit = testsupport::limitFileSize(1000003);
    const GenerationRun::Outcome outcome = run(1000000, 1999999, "full.example");
    const QByteArray written = testsupport::readFile(output());
    EXPECT_LE(written.size(), 1000003);
    EXPECT_GT(written.size(), 1000003 - 24); // only the line cut by the limit is lost
    EXPECT_EQ(outcome.file, (FileStatus{FileFailure::WriteFailed, EFBIG}));
    EXPECT_FALSE(outcome.endsInCutLine);
    testsupport::expectFileHoldsList(output(), records_);
}
#endif

TEST_F(GenerationRunTest, ARunWhoseFileWasChangedFromOutsideEndsAsAFailedWrite) {
    // Done to the file by another process during the run, which then runs to its end or is
    // stopped: the run does not count as complete. It writes one file whatever is done to
    // its name: moved away, with another file put in its place, the moved file gets every
    // address and the other file nothing.
    const QString moved = folder_.file(QStringLiteral("moved.txt"));
    const QString other = folder_.file(QStringLiteral("other.txt"));
    const QString elsewhere = folder_.file(QStringLiteral("elsewhere.txt"));
    testsupport::writeFile(other, "other\r\n");
    const struct {
        const char* name;
        std::function<void()> change;
        int error;
    } rows[] = {
        {"moved away, another file put at its name",
         [&] {
             ASSERT_TRUE(QFile::rename(output(), moved));
             ASSERT_TRUE(testsupport::putFileAt(other, output()));
         },
         ENOENT},
        // Wine keeps the name of a deleted file while it is open: there it moves.
        {"its name removed",
         [&] {
             ASSERT_TRUE(testsupport::runsUnderWine() ? QFile::rename(output(), output() + "~")
                                                      : QFile::remove(output()));
         },
         ENOENT},
        {"cut to nothing", [&] { ASSERT_TRUE(QFile::resize(output(), 0)); }, EIO},
        {"cut to 1,000 bytes", [&] { ASSERT_TRUE(QFile::resize(output(), 1000)); }, EIO},
        {"a stranger's line appended",
         [&] {
             QFile file(output());
             ASSERT_TRUE(file.open(QIODevice::Append));
             ASSERT_EQ(file.write("stranger@x\r\n"), 12);
         },
         EIO},
#ifdef __linux__
        {"a hole punched into its first 64 KiB, its size kept",
         [&] { ASSERT_TRUE(punchHole(output(), 0, 65536)); }, EIO},
        {"cut to 1,000 bytes and extended to its size again",
         [&] {
             const qint64 size = QFileInfo(output()).size();
             ASSERT_TRUE(QFile::resize(output(), 1000) && QFile::resize(output(), size));
         },
         EIO},
#endif
    };
    for (const auto& row : rows) {
        // Windows lets no other process write to the file while the run holds it open.
        if (testsupport::runsUnderWine() && row.error == EIO)
            continue;
        for (const bool stop : {false, true}) {
            for (const QString& name : {output(), output() + "~", moved})
                QFile::remove(name);
#ifndef _WIN32 // symbolic links
            // A dangling link at the chosen name is replaced, not followed.
            ASSERT_TRUE(QFile::link(elsewhere, output()));
#endif
            eventPoints_ = 0;
            stop_ = false;
            // At the second event point the file holds the first slice; a Stop there is
            // seen there (a fast disk writes the whole range in a few slices).
            const GenerationRun::Outcome outcome = run(1, 20000000, "x", {}, 2, [&] {
                row.change();
                stop_ = stop;
            });
            EXPECT_GE(eventPoints_, 2) << row.name;
            EXPECT_EQ(records_.count() == 20000000, !stop) << row.name; // to its end
            EXPECT_EQ(outcome.end, End::FileFailed) << row.name << stop;
            EXPECT_EQ(outcome.file, (FileStatus{FileFailure::Changed, row.error}))
                << row.name << stop;
            EXPECT_FALSE(QFileInfo::exists(elsewhere));
            EXPECT_EQ(testsupport::readFile(other), QByteArray("other\r\n"));
            if (QFileInfo::exists(moved)) // the file written, under its new name
                testsupport::expectFileHoldsList(moved, records_);
        }
    }
}

// What the window tells of a failed file (a run's output, the settings file): the failure
// and its errno, in the user's words.
TEST(FileProblem, NamesWhyAFileFailedAsTheUserIsTold) {
    using Problem = platform::FileProblem;
    const struct {
        FileStatus file;
        Problem problem;
    } rows[] = {
        {{FileFailure::WriteFailed, ENOSPC}, Problem::DiskFull},
#ifdef EDQUOT
        {{FileFailure::WriteFailed, EDQUOT}, Problem::DiskFull},
#endif
        {{FileFailure::WriteFailed, EFBIG}, Problem::TooLarge},
        {{FileFailure::ReadOnly, EACCES}, Problem::NoPermission},
        {{FileFailure::ReadOnly, 0}, Problem::NoPermission},
        {{FileFailure::WriteFailed, EACCES}, Problem::NoPermission},
        {{FileFailure::WriteFailed, EPERM}, Problem::NoPermission},
        {{FileFailure::WriteFailed, EROFS}, Problem::NoPermission},
        {{FileFailure::Changed, ENOENT}, Problem::Changed},
        {{FileFailure::Changed, EIO}, Problem::Changed},
        {{FileFailure::Busy, ETIMEDOUT}, Problem::Changed},
        {{FileFailure::WriteFailed, ENOENT}, Problem::Other},
        {{FileFailure::WriteFailed, EIO}, Problem::Other},
        {{FileFailure::NotAFile, EISDIR}, Problem::Other},
        {{FileFailure::Unreadable, ELOOP}, Problem::Other},
    };
    for (const auto& row : rows)
        EXPECT_EQ(platform::problemOf(row.file), row.problem)
            << platform::failureName(row.file.failure) << " " << row.file.error;
}

TEST_F(GenerationRunTest, TheProgramsOwnFilesAreNeverAnOutput) {
    const QString program = QCoreApplication::applicationFilePath();
    // Installed, with the default settings in a folder of their own (/etc/korvani) and the
    // user's copy in the user's configuration folder.
    QTemporaryDir etc, config;
    platform::Installation::setInstalledProgramFolder(folder_.path(), etc.path());
    qputenv(testsupport::ConfigFolderVariable, QFile::encodeName(config.path()));
    const QString installed = etc.filePath(QStringLiteral("Korvani.ini"));
    const QString copy = platform::Installation::userSettingsFile();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(copy).absolutePath()));
    for (const QString& file : {installed, copy})
        testsupport::writeFile(file, "[Suffix]\r\n");
    // Any spelling of the path; a settings file, too, when it is missing (not there yet,
    // the run would make it), but not the same name in another folder.
    const struct Row {
        QString path;
        bool refused = true;
        bool missing = false;
    } rows[] = {
        {folder_.file(QStringLiteral("./Korvani.ini"))},
        {folder_.file(QStringLiteral("language/Korvani_SC.ini"))},
        {folder_.file(QStringLiteral("language/../language/Korvani_TC.ini"))},
        {program},
        {installed},
        {copy},
        {copy, true, true},
        {folder_.file(QStringLiteral("Korvani.ini")), true, true},
        {folder_.file(QStringLiteral("language/Korvani.ini")), false, true},
        // Another letter case names the same file on Windows only.
        {folder_.file(QStringLiteral("korvani.ini")), IsWindows, true},
        {QFileInfo(copy).path() + QStringLiteral("/KORVANI.INI"), IsWindows, true},
#ifdef _WIN32 // names as Windows matches them; the installer's files
        {copy + QStringLiteral("."), true, true},
        {copy + QStringLiteral(" . "), true, true},
        {folder_.file(QStringLiteral("uninstall.exe"))},
        {folder_.file(platform::Installation::installedMark())},
#else // a link to the program
        {folder_.file(QStringLiteral("program"))},
#endif
    };
#ifndef _WIN32
    ASSERT_TRUE(QFile::link(program, folder_.file(QStringLiteral("program"))));
#endif
    for (const Row& row : rows) {
        if (row.missing)
            QFile::remove(row.path);
        EXPECT_EQ(GenerationRun::namesProgramFile(row.path), row.refused) << row.path.toStdString();
    }
}

} // namespace
