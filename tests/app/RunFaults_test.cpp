// Faults injected into real generation runs: the run is the real main window in a
// child process (tests/tools/generation_run), killed at random moments, stopped, or
// run under a file-size limit. After each, the output file must be the start of the
// expected list, line by line.
#include "app/AddressFormatter.h"
#include "app/GenerationRun.h"
#include "i18n/ModTransLate.h"
#include "i18n/WindowCaptions.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/statvfs.h>
#endif

namespace {

const QString Tool = testsupport::toolPath("generation_run");
// How far a file agrees with the list of addresses from, from + 1, ... in suffix.
struct PrefixCheck {
    bool exists = false;
    qint64 bytes = 0;
    qint64 wholeLines = 0;    // lines ended by CR LF
    bool cutLastLine = false; // the file ends inside a line
    qint64 mismatchAt = -1;   // first byte that is not the list's, -1 when none
};

PrefixCheck checkPrefix(const QString& path, std::int64_t from, std::int64_t total,
                        const QByteArray& suffix) {
    PrefixCheck check;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return check;
    check.exists = true;
    const std::string_view suffixView(suffix.constData(), static_cast<std::size_t>(suffix.size()));
    constexpr std::size_t Capacity = 1 << 20;
    std::vector<char> expected(Capacity);
    std::vector<char> actual(Capacity);
    std::int64_t listed = 0;
    for (;;) {
        const FormattedSlice slice =
            FormatAddresses(from + listed, total - listed, suffixView, expected.data(), Capacity);
        // One byte more than the list holds shows a file that runs past its end.
        const qint64 want = static_cast<qint64>(slice.bytes) + (slice.count == 0 ? 1 : 0);
        const qint64 got = file.read(actual.data(), want);
        if (got <= 0)
            return check;
        if (slice.count == 0) {
            check.mismatchAt = check.bytes; // bytes past the end of the list
            return check;
        }
        if (std::memcmp(actual.data(), expected.data(), static_cast<std::size_t>(got)) != 0) {
            const auto [differs, unused] =
                std::mismatch(actual.data(), actual.data() + got, expected.data());
            check.mismatchAt = check.bytes + (differs - actual.data());
            return check;
        }
        check.bytes += got;
        if (got == static_cast<qint64>(slice.bytes)) {
            check.wholeLines += slice.count;
            listed += slice.count;
            continue;
        }
        check.wholeLines += std::count(actual.data(), actual.data() + got, '\n');
        check.cutLastLine = actual[static_cast<std::size_t>(got - 1)] != '\n';
        return check;
    }
}

// The check itself tells a damaged file from a good one.
TEST(PrefixCheckTest, FindsEveryKindOfDamage) {
    testsupport::ProgramFolder folder;
    const QString path = folder.file(QStringLiteral("list.txt"));
    const QByteArray good = "98@s\r\n99@s\r\n100@s\r\n101@s\r\n";
    const auto check = [&](const QByteArray& bytes) {
        testsupport::writeFile(path, bytes);
        return checkPrefix(path, 98, 4, "s");
    };
    PrefixCheck whole = check(good);
    EXPECT_EQ(whole.mismatchAt, -1);
    EXPECT_EQ(whole.wholeLines, 4);
    EXPECT_FALSE(whole.cutLastLine);
    PrefixCheck cut = check(good.first(17));
    EXPECT_EQ(cut.mismatchAt, -1);
    EXPECT_EQ(cut.wholeLines, 2);
    EXPECT_TRUE(cut.cutLastLine);
    EXPECT_TRUE(check(good.first(11)).cutLastLine);               // ends between CR and LF
    EXPECT_EQ(check("98@s\r\n100@s\r\n").mismatchAt, 6);          // a line missing
    EXPECT_EQ(check("98@s\n99@s\r\n").mismatchAt, 4);             // LF without CR
    EXPECT_EQ(check("98@t\r\n").mismatchAt, 3);                   // another suffix
    EXPECT_EQ(check(good + "102@s\r\n").mismatchAt, good.size()); // past the end
    EXPECT_EQ(check(QByteArray()).wholeLines, 0);
    QFile::remove(path);
    EXPECT_FALSE(checkPrefix(path, 98, 4, "s").exists);
}

// What a finished child printed.
struct ChildResult {
    bool finished = false;
    int exitCode = -1;
    QStringList notices; // "information <text>" and so on
    qint64 count = -1;
    long peakRssKb = -1;
    QByteArray errors;
};

class RunFaultsTest : public ::testing::Test {
protected:
    static const auto& text() { return ModTransLate::Text().frmMain; }
    void SetUp() override {
        ASSERT_TRUE(QFileInfo(Tool).isExecutable()) << Tool.toStdString();
        ModTransLate::LoadLanguage(); // the texts the child shows, from the same files
        ASSERT_FALSE(text().CancelAndSave.isEmpty());
        ASSERT_FALSE(text().CreateNoSuccessfully.isEmpty());
    }

    QString output() const { return folder_.file(QStringLiteral("out.txt")); }

    QStringList arguments(std::int64_t from, std::int64_t to, const QString& path,
                          const QStringList& extra = {}) const {
        return QStringList{QStringLiteral("--folder"), folder_.path(),
                           QStringLiteral("--from"),   QString::number(from),
                           QStringLiteral("--to"),     QString::number(to),
                           QStringLiteral("--suffix"), QString::fromUtf8(Suffix),
                           QStringLiteral("--output"), path} +
               extra;
    }

    void start(QProcess& child, const QStringList& args) const {
        child.setProgram(Tool);
        child.setArguments(args);
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start();
        ASSERT_TRUE(child.waitForStarted(30000)) << child.errorString().toStdString();
    }

    static ChildResult collect(QProcess& child, int timeoutMs) {
        ChildResult result;
        result.finished =
            child.waitForFinished(timeoutMs) && child.exitStatus() == QProcess::NormalExit;
        if (!result.finished) {
            child.kill();
            child.waitForFinished(10000);
        }
        result.exitCode = child.exitCode();
        result.errors = child.readAllStandardError();
        for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
            if (line.startsWith("notice "))
                result.notices.append(QString::fromUtf8(line.mid(7)));
            else if (line.startsWith("count "))
                result.count = line.mid(6).toLongLong();
            else if (line.startsWith("peak_rss_kb "))
                result.peakRssKb = line.mid(12).toLong();
        }
        return result;
    }

    // Runs the child to its end, under a file-size limit of fileSizeLimit bytes when not
    // negative: the program itself must turn the signal a write past it raises into a
    // failed write.
    ChildResult runChild(const QStringList& args, int timeoutMs = 240000,
                         std::int64_t fileSizeLimit = -1,
                         const QProcessEnvironment& environment = {}) const {
        QProcess child;
        testsupport::limitChildFileSize(child, fileSizeLimit);
        if (!environment.isEmpty())
            child.setProcessEnvironment(environment);
        start(child, args);
        return collect(child, timeoutMs);
    }

    // The environment of a child run with the writev shim in front of the C library,
    // watching the output file, logging to log, with the fault variable set to nth (none
    // when null).
    QProcessEnvironment shimEnvironment(const QString& log, const char* variable,
                                        const char* nth) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LD_PRELOAD"),
                           QStringLiteral(KORVANI_TEST_TOOLS_DIR "/writev_shim.so"));
        environment.insert(QStringLiteral("KORVANI_SHIM_FILE"), output());
        environment.insert(QStringLiteral("KORVANI_SHIM_LOG"), log);
        if (variable != nullptr)
            environment.insert(QString::fromLatin1(variable), QString::fromLatin1(nth));
        // AddressSanitizer wants its library first; the shim passes every call on to it.
        const QString sanitizer = environment.value(QStringLiteral("ASAN_OPTIONS"));
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           sanitizer + (sanitizer.isEmpty() ? "" : ":") +
                               QStringLiteral("verify_asan_link_order=0"));
        return environment;
    }

    // The notice of a run whose file failed, as the child prints it.
    static QString fileFailed(qint64 count, const QString& reason) {
        return QStringLiteral("exclamation ") +
               text().RunFileIncomplete.arg(QString::number(count), reason);
    }

    static constexpr const char* Suffix = "kill.example";
    testsupport::ProgramFolder folder_;
};

// ---------------------------------------------------------------------------
// Killed mid-run

TEST_F(RunFaultsTest, AKilledRunAlwaysLeavesTheStartOfTheList) {
    constexpr std::int64_t From = 1;
    constexpr std::int64_t Total = 10'000'000;
    const QString path = output();

    // The whole run first: it shows how long a run lasts here, and what a run that is
    // not killed leaves.
    QProcess whole;
    start(whole, arguments(From, Total, path));
    ASSERT_TRUE(testsupport::waitUntil([&] { return QFileInfo(path).size() > 0; }, 60000));
    QElapsedTimer clock;
    clock.start();
    const ChildResult full = collect(whole, 300000);
    const qint64 runMs = clock.elapsed();
    ASSERT_TRUE(full.finished) << full.errors.toStdString();
    EXPECT_EQ(full.notices,
              QStringList{QStringLiteral("information ") + text().CreateNoSuccessfully});
    EXPECT_EQ(full.count, Total);
    const PrefixCheck complete = checkPrefix(path, From, Total, Suffix);
    EXPECT_EQ(complete.mismatchAt, -1);
    EXPECT_EQ(complete.wholeLines, Total);
    EXPECT_FALSE(complete.cutLastLine);
    const qint64 fullBytes = complete.bytes;

    // Kills at seeded random moments spread over the run, counted from the moment the
    // file starts to grow.
    std::mt19937 random(20261207);
    // A kill that comes after the end (the machine ran faster than when measured)
    // shortens the span for the rounds after it.
    qint64 spanMs = std::max<qint64>(1, runMs * 9 / 10);
    std::uniform_real_distribution<double> moment(0.0, 1.0);
    int kills = 0, midRun = 0, cutLines = 0;
    for (int round = 0; round < 20; ++round) {
        QFile::remove(path);
        const auto waitMs = static_cast<qint64>(moment(random) * static_cast<double>(spanMs));
        QProcess child;
        start(child, arguments(From, Total, path));
        ASSERT_TRUE(testsupport::waitUntil([&] { return QFileInfo(path).size() > 0; }, 60000))
            << "round " << round;
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs)); // the random moment
        child.kill();
        ASSERT_TRUE(child.waitForFinished(30000) || child.state() == QProcess::NotRunning);
        ++kills;

        const PrefixCheck check = checkPrefix(path, From, Total, Suffix);
        ASSERT_TRUE(check.exists) << "round " << round;
        EXPECT_EQ(check.mismatchAt, -1) << "round " << round << " after " << waitMs << " ms";
        EXPECT_GT(check.wholeLines + (check.cutLastLine ? 1 : 0), 0) << "round " << round;
        if (check.bytes < fullBytes)
            ++midRun;
        else
            spanMs = std::max<qint64>(1, spanMs * 2 / 3);
        if (check.cutLastLine)
            ++cutLines;
    }
    QFile::remove(path);
    // The delays lie within the run's length, so nearly every kill lands during it.
    EXPECT_GE(midRun, 14);
    std::printf("[ reliability ] run of %lld addresses: %lld ms, %lld bytes; %d kills, %d "
                "mid-run, %d cut the last line\n",
                static_cast<long long>(Total), static_cast<long long>(runMs),
                static_cast<long long>(fullBytes), kills, midRun, cutLines);
}

// ---------------------------------------------------------------------------
// Stopped, or writing past a file-size limit: the run ends on a whole line, its file the
// listed addresses

TEST_F(RunFaultsTest, AStoppedOrFileLimitedRunEndsOnAWholeLineAndEqualsTheList) {
    struct Row {
        QStringList stop;           // the options that stop the run
        std::int64_t limit = -1;    // without stop: the file-size limit
        bool writesNothing = false; // stopped before the first address
    };
    const auto stop = [](const char* how, const char* when, bool writesNothing = false) {
        return Row{{QString::fromUtf8(how), QString::fromUtf8(when)}, -1, writesNothing};
    };
    const char *events = "--stop-after-events", *ms = "--stop-after-ms";
    // The last stops at the first event point: nothing was written and the list is empty.
    std::vector<Row> rows{stop(events, "2"), stop(events, "3"), stop(events, "11"),
                          stop(ms, "150"),   stop(ms, "400"),   stop(events, "1", true)};
    // File-size limits (RLIMIT_FSIZE):
#ifndef _WIN32
    // From nothing at all, through one line, one chunk and one slice, to several slices;
    // 22,518 is the end of the 1,024th line exactly.
    for (const std::int64_t limit :
         {0, 1, 23, 22'518, 262'145, 1'000'003, 9'999'991, 33'333'331, 77'777'777})
        rows.push_back({{}, limit});
#endif
    for (const auto& row : rows) {
        const bool stopped = row.limit < 0;
        const std::int64_t from = stopped ? -5000 : 999'990;
        const std::int64_t total = stopped ? 100'000'000 : 5'000'000;
        const std::string label = stopped ? row.stop.join(QLatin1Char(' ')).toStdString()
                                          : "limit " + std::to_string(row.limit);
        SCOPED_TRACE(label);
        QFile::remove(output());
        const ChildResult result =
            runChild(arguments(from, from + total - 1, output(), row.stop), 240000, row.limit);
        ASSERT_TRUE(result.finished) << result.errors.toStdString();
        EXPECT_EQ(result.exitCode, 0);
        // A stop says so; a write past the limit warns that the file holds the list and
        // is too large for the drive.
        EXPECT_EQ(result.notices,
                  stopped ? QStringList{QStringLiteral("information ") + text().CancelAndSave}
                          : QStringList{fileFailed(result.count, text().RunFileTooLarge)});
        EXPECT_GE(result.count, stopped && !row.writesNothing ? 1 : 0);
        EXPECT_LT(result.count, row.writesNothing ? 1 : total);
        const PrefixCheck check = checkPrefix(output(), from, total, Suffix);
        EXPECT_EQ(check.mismatchAt, -1);
        EXPECT_FALSE(check.cutLastLine);
        EXPECT_EQ(check.wholeLines, result.count);
        EXPECT_EQ(QFileInfo(output()).size(), check.bytes);
        if (stopped)
            continue;
        EXPECT_LE(check.bytes, row.limit);
        // Every whole line that fitted under the limit is kept: less than one is lost.
        EXPECT_GT(check.bytes + static_cast<qint64>(LongestLine(std::strlen(Suffix))), row.limit);
        std::printf("[ reliability ] file-size limit %lld bytes: %lld addresses kept, %lld "
                    "bytes\n",
                    static_cast<long long>(row.limit), static_cast<long long>(result.count),
                    static_cast<long long>(check.bytes));
    }
}

#ifdef __linux__ // the writev shim is a library put in front of the C library (LD_PRELOAD)
// ---------------------------------------------------------------------------
// Writes cut short or interrupted (tests/tools/writev_shim.c): the run takes each up where
// it stopped and completes with the list. Every write but a slice's last ends on a
// WriteBoundary of the file: the shim records each write, the tool each event point.

TEST_F(RunFaultsTest, AWriteCutShortOrInterruptedGoesOnWhereItStopped) {
    constexpr std::int64_t From = 999'990;
    constexpr std::int64_t Total = 3'000'000;
    const QString shim = QStringLiteral(KORVANI_TEST_TOOLS_DIR "/writev_shim.so");
    ASSERT_TRUE(QFileInfo::exists(shim));
    const QString log = folder_.file(QStringLiteral("writes.log"));
    const struct Row {
        const char* what;
        const char* variable; // the shim's fault, none: every write recorded
        const char* nth;
        const char* seen; // the line the fault leaves in the log
    } rows[] = {
        {"the first write of two parts ends inside its first part", "KORVANI_SHIM_SHORT", "1",
         "short "},
        {"the 40th write of two parts ends inside its first part", "KORVANI_SHIM_SHORT", "40",
         "short "},
        {"the first write is interrupted (EINTR)", "KORVANI_SHIM_EINTR", "1", "interrupted "},
        {"the 40th write is interrupted (EINTR)", "KORVANI_SHIM_EINTR", "40", "interrupted "},
        {"no fault", nullptr, nullptr, "write "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QFile::remove(output());
        QFile::remove(log);
        const QProcessEnvironment environment = shimEnvironment(log, row.variable, row.nth);
        const ChildResult result = runChild(
            arguments(From, From + Total - 1, output(), {QStringLiteral("--event-log"), log}),
            240000, -1, environment);
        ASSERT_TRUE(result.finished) << result.errors.toStdString();
        EXPECT_EQ(result.notices,
                  QStringList{QStringLiteral("information ") + text().CreateNoSuccessfully});
        EXPECT_EQ(result.count, Total);
        const PrefixCheck check = checkPrefix(output(), From, Total, Suffix);
        EXPECT_EQ(check.mismatchAt, -1);
        EXPECT_EQ(check.wholeLines, Total);
        const QList<QByteArray> lines = testsupport::readFile(log).split('\n');
        EXPECT_TRUE(std::any_of(lines.cbegin(), lines.cend(),
                                [&](const QByteArray& line) { return line.startsWith(row.seen); }));
        if (row.variable != nullptr)
            continue;
        // The writes between two event points (one slice): all but the last end on a boundary.
        std::vector<std::vector<qint64>> slices; // the end of each write in the file
        for (const QByteArray& line : lines) {
            const QList<QByteArray> fields = line.split(' ');
            if (line == "event")
                slices.emplace_back();
            else if (fields.size() == 3 && !slices.empty())
                slices.back().push_back(fields[1].toLongLong() + fields[2].toLongLong());
        }
        int checked = 0; // slices after the first that make more than one write
        bool first = true;
        for (const std::vector<qint64>& ends : slices) {
            for (std::size_t i = 0; i + 1 < ends.size(); ++i)
                EXPECT_EQ(ends[i] % static_cast<qint64>(GenerationRun::WriteBoundary), 0)
                    << "write ending at " << ends[i];
            checked += !first && ends.size() > 1 ? 1 : 0;
            first = first && ends.empty();
        }
        EXPECT_GE(checked, 1) << "the run was over in one slice";
    }
}

// The disk fills during the run (the shim's ENOSPC, after a write cut short): the run
// ends with the warning, its count the list's, and the file holds exactly the list.
TEST_F(RunFaultsTest, AFullDiskEndsTheRunWithAWarningAndTheFileHoldsTheList) {
    constexpr std::int64_t From = 999'990;
    constexpr std::int64_t Total = 3'000'000;
    ASSERT_TRUE(QFileInfo::exists(QStringLiteral(KORVANI_TEST_TOOLS_DIR "/writev_shim.so")));
    const QString log = folder_.file(QStringLiteral("writes.log"));
    // The call at which the disk fills: the first write, the fortieth.
    for (const char* full : {"1", "40"}) {
        SCOPED_TRACE(full);
        QFile::remove(output());
        QFile::remove(log);
        const QProcessEnvironment environment = shimEnvironment(log, "KORVANI_SHIM_FULL", full);
        const ChildResult result =
            runChild(arguments(From, From + Total - 1, output()), 240000, -1, environment);
        ASSERT_TRUE(result.finished) << result.errors.toStdString();
        EXPECT_TRUE(testsupport::readFile(log).contains("\nfull ")) << "the disk never filled";
        EXPECT_EQ(result.notices, QStringList{fileFailed(result.count, text().RunFileDiskFull)});
        EXPECT_LT(result.count, Total);
        const PrefixCheck check = checkPrefix(output(), From, Total, Suffix);
        EXPECT_EQ(check.mismatchAt, -1);
        EXPECT_FALSE(check.cutLastLine);
        EXPECT_EQ(check.wholeLines, result.count);
        EXPECT_EQ(QFileInfo(output()).size(), check.bytes);
    }
}
#endif

#ifndef _WIN32 // the soak measures its disk with statvfs
// ---------------------------------------------------------------------------
// Soak: a hundred million addresses (about 1.9 GB, written to a temporary folder and
// removed) in the same memory as a hundred thousand.

class SoakTest : public RunFaultsTest {};

TEST_F(SoakTest, AHundredMillionAddressesCompleteInTheMemoryOfAHundredThousand) {
    constexpr std::int64_t Small = 100'000;
    constexpr std::int64_t Large = 100'000'000;
    const QByteArray suffix = "a.example";
    // 788,888,898 digits, and "@a.example" CR LF on each line.
    constexpr qint64 LargeBytes = 788'888'898 + Large * 12;

    struct statvfs disk {};
    ASSERT_EQ(::statvfs(QFile::encodeName(folder_.path()).constData(), &disk), 0);
    const qint64 freeBytes = static_cast<qint64>(disk.f_bavail) * disk.f_frsize;
    ASSERT_GE(freeBytes, LargeBytes + (256 << 20))
        << "the soak needs " << (LargeBytes >> 20) << " MB free beside "
        << folder_.path().toStdString() << " (TMPDIR), only " << (freeBytes >> 20)
        << " MB are free";

    const auto soakArgs = [&](std::int64_t to) {
        QStringList args = arguments(1, to, output());
        args[args.indexOf(QStringLiteral("--suffix")) + 1] = QString::fromUtf8(suffix);
        return args;
    };
    const QString done = QStringLiteral("information ") + text().CreateNoSuccessfully;
    // Under AddressSanitizer freed memory waits in a quarantine of up to 256 MB, which
    // fills with every slice's short-lived allocations; it is the checker's memory, not
    // the program's, so the soak's children keep it small (ignored without the checker).
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString sanitizer = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), sanitizer +
                                                           (sanitizer.isEmpty() ? "" : ":") +
                                                           QStringLiteral("quarantine_size_mb=1"));

    const ChildResult small = runChild(soakArgs(Small), 240000, -1, environment);
    ASSERT_TRUE(small.finished) << small.errors.toStdString();
    EXPECT_EQ(small.notices, QStringList{done});
    EXPECT_EQ(small.count, Small);
    QFile::remove(output());

    QElapsedTimer clock;
    clock.start();
    const ChildResult large = runChild(soakArgs(Large), 280000, -1, environment);
    const qint64 runMs = clock.elapsed();
    ASSERT_TRUE(large.finished) << large.errors.toStdString();
    EXPECT_EQ(large.notices, QStringList{done});
    EXPECT_EQ(large.count, Large);
    EXPECT_EQ(QFileInfo(output()).size(), LargeBytes);
    {
        QFile file(output());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        ASSERT_TRUE(file.seek(file.size() - 22));
        EXPECT_EQ(file.readAll(), QByteArray("\n100000000@a.example\r\n"));
    }
    const PrefixCheck check = checkPrefix(output(), 1, Large, suffix);
    EXPECT_EQ(check.mismatchAt, -1);
    EXPECT_EQ(check.wholeLines, Large);
    EXPECT_EQ(check.bytes, LargeBytes);
    EXPECT_TRUE(QFile::remove(output()));

    // Memory does not grow with the number of addresses.
    ASSERT_GT(small.peakRssKb, 0);
    EXPECT_LE(large.peakRssKb, small.peakRssKb + 10 * 1024);
    std::printf("[ reliability ] soak: %lld addresses, %lld bytes in %lld ms; peak memory "
                "%ld KB (%lld addresses: %ld KB)\n",
                static_cast<long long>(Large), static_cast<long long>(LargeBytes),
                static_cast<long long>(runMs), large.peakRssKb, static_cast<long long>(Small),
                small.peakRssKb);
}

#endif

} // namespace
