// Times the generation run of the real main window (offscreen, Save dialog and message
// boxes answered through the seams) against a plain writer that formats and writes the
// same bytes in one buffered loop.
//
// Then it pairs each run at 10^8 addresses (2.19 GB) with two writers of the same bytes:
//   ideal  counts the digits up in place, copies each line into one 4 MiB buffer and
//          makes one write per buffer;
//   limit  the system's own limit for these bytes: one 256 KiB buffer filled once and
//          written again and again, one write per buffer, until the file has the exact
//          size of the list. No program that forms the addresses can be faster.
// Each of them runs in a child process of its own, writes the pairs' one file and deletes
// the one the writer before it wrote first; so do the core run and the window's run in
// the pairs (this program started again).
//
// Last line: bench: ratio_1e7=R core_ratio_1e7=C ideal_ratio_1e8=I ideal_wall_ratio_1e8=W
//                   window_ideal_ratio_1e8=I2 window_ideal_wall_ratio_1e8=W2
//                   limit_ratio_1e8=L limit_wall_ratio_1e8=LW window_limit_ratio_1e8=L2
//                   window_limit_wall_ratio_1e8=LW2 rss_growth_mb=M stop_ms=S
//   R  addresses per second of the window's run divided by those of the plain writer,
//      at 10^7
//   C  the same for the run without a window
//   I  the ideal writer's CPU time (user + system, all threads) over the core run's, median
//      of the paired runs at 10^8; W the same for wall time; I2, W2 the same for the
//      window's run
//   L, LW, L2, LW2  the same with the limit writer
//   M  growth of peak resident memory from the 10^5 runs to the 10^8 runs, in MB
//   S  milliseconds from a Stop click (posted from another thread, as a user's click
//      arrives) to the end of a 10^8 run
//
// Built for Windows too (make bench-windows, under Wine): there the ideal and the limit
// writer make one WriteFile per buffer, each in a thread of its own.
// KORVANI_BENCH_PAIRS_ONLY=1 runs only the pairs, at KORVANI_BENCH_LARGE addresses
// (default 10^8), and its last line reads
// bench: addresses=N ideal_ratio=I ideal_wall_ratio=W window_ideal_ratio=I2
//        window_ideal_wall_ratio=W2 limit_ratio=L limit_wall_ratio=LW window_limit_ratio=L2
//        window_limit_wall_ratio=LW2
#include "app/AddressFormatter.h"
#include "app/GenerationRun.h"
#include "app/SuffixFile.h"
#include "app/frmMain.h"
#include "driver/MainWindowDriver.h"
#include "platform/Installation.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <psapi.h> // needs windows.h first
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

const char* const Suffix = "example.com";

#ifdef _WIN32
double seconds(const FILETIME& t) {
    return static_cast<double>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e7;
}
// Resident memory in MB: the peak, or what is resident now.
double residentMb(const char* field) {
    PROCESS_MEMORY_COUNTERS counters{};
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    const bool peak = std::strcmp(field, "VmHWM:") == 0;
    return static_cast<double>(peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize) /
           (1024.0 * 1024.0);
}
void resetPeakMemory() {} // Windows keeps the peak for the process's life
// Only an administrator may flush a volume: each file written is flushed instead.
void syncDisks(const QStringList& written) {
    for (const QString& path : written) {
        const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
        const HANDLE file =
            ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::FlushFileBuffers(file);
            ::CloseHandle(file);
        }
    }
}
#else
double residentMb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stod(line.substr(std::strlen(field))) / 1024.0;
    }
    return 0;
}
// Resets the peak of resident memory to what is resident now (Linux 4.0 and later).
void resetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
void syncDisks(const QStringList&) {
    ::sync();
}
#endif
double peakResidentMb() {
    return residentMb("VmHWM:");
}

// Wall and CPU time (user + system, every thread of the process) of one piece of work.
struct Times {
    double wall = 0;
    double cpu = 0;
};

class Stopwatch {
public:
    Stopwatch() : cpu_(cpuSeconds()) { clock_.start(); }
    Times elapsed() const {
        return {static_cast<double>(clock_.nsecsElapsed()) / 1e9, cpuSeconds() - cpu_};
    }

private:
    static double cpuSeconds() {
#ifdef _WIN32
        FILETIME created, exited, kernel, user;
        ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
        return seconds(kernel) + seconds(user);
#else
        struct rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
        return seconds(usage.ru_utime) + seconds(usage.ru_stime);
#endif
    }
    QElapsedTimer clock_;
    double cpu_;
};

Times runWindow(MainWindowDriver& driver, std::int64_t count, const QString& path) {
    driver.enter(QStringLiteral("1"), QString::number(count), QString::fromLatin1(Suffix));
    const Stopwatch watch;
    driver.start(path);
    return watch.elapsed();
}

// The ideal writer's file: one write per buffer.
#ifdef _WIN32
class IdealFile {
public:
    explicit IdealFile(const QString& path) {
        const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
        ::DeleteFileW(name.c_str());
        file_ = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    bool open() const { return file_ != INVALID_HANDLE_VALUE; }
    bool write(const char* data, std::size_t size) {
        DWORD written = 0;
        return ::WriteFile(file_, data, static_cast<DWORD>(size), &written, nullptr) &&
               written == size;
    }
    bool close() { return ::CloseHandle(file_) != 0; }

private:
    HANDLE file_;
};
#else
class IdealFile {
public:
    explicit IdealFile(const QString& path) {
        const QByteArray name = QFile::encodeName(path);
        ::unlink(name.constData());
        fd_ = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    bool open() const { return fd_ >= 0; }
    bool write(const char* data, std::size_t size) {
        return ::write(fd_, data, size) == static_cast<ssize_t>(size);
    }
    bool close() { return ::close(fd_) == 0; }

private:
    int fd_;
};
#endif

// The ideal writer of "n@example.com" CR LF for n = 1 .. count; true when it wrote all.
bool writeIdeally(std::int64_t count, const QString& path) {
    IdealFile file(path);
    if (!file.open())
        return false;
    constexpr std::size_t Capacity = 4 << 20;
    const std::unique_ptr<char[]> buffer(new char[Capacity]);
    char line[64] = "1@";
    std::strcpy(line + 2, Suffix);
    std::strcat(line, "\r\n");
    std::size_t digits = 1;
    std::size_t size = std::strlen(line);
    std::size_t used = 0;
    bool ok = true;
    for (std::int64_t n = 1; n <= count; ++n) {
        if (Capacity - used < size) {
            ok = ok && file.write(buffer.get(), used);
            used = 0;
        }
        std::memcpy(buffer.get() + used, line, size);
        used += size;
        std::size_t i = digits;
        while (i > 0 && line[i - 1] == '9')
            line[--i] = '0';
        if (i > 0) {
            ++line[i - 1];
        } else {
            std::memmove(line + 1, line, size);
            line[0] = '1';
            ++digits;
            ++size;
        }
    }
    ok = ok && file.write(buffer.get(), used);
    return file.close() && ok;
}

// The size of the list of "n@example.com" CR LF for n = 1 .. count.
std::int64_t listBytes(std::int64_t count) {
    const auto tail = static_cast<std::int64_t>(std::strlen(Suffix) + 3);
    std::int64_t bytes = 0;
    for (std::int64_t digits = 1, low = 1; low <= count; ++digits, low *= 10)
        bytes += (std::min(count, low * 10 - 1) - low + 1) * (digits + tail);
    return bytes;
}

// The limit writer: the list's number of bytes from one buffer filled once, one write per
// buffer; true when it wrote all.
bool writeLimit(std::int64_t count, const QString& path) {
    IdealFile file(path);
    if (!file.open())
        return false;
    constexpr std::size_t Capacity = 256 * 1024;
    const std::unique_ptr<char[]> buffer(new char[Capacity]);
    std::memset(buffer.get(), 'x', Capacity);
    bool ok = true;
    for (std::int64_t left = listBytes(count); ok && left > 0;) {
        const auto size = static_cast<std::size_t>(std::min<std::int64_t>(left, Capacity));
        ok = file.write(buffer.get(), size);
        left -= static_cast<std::int64_t>(size);
    }
    return file.close() && ok;
}

// A writer in a child process of its own, so that its buffer does not count in this
// process's peak memory; its CPU time is the child's.
#ifdef _WIN32
// A thread of its own: a Windows process of its own would count Wine's start of a process.
Times runWriter(bool (*write)(std::int64_t, const QString&), std::int64_t count,
                const QString& path) {
    Times times;
    std::thread writer([&] {
        FILETIME created, exited, kernel, user;
        const auto cpu = [&] {
            ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
            return seconds(kernel) + seconds(user);
        };
        QElapsedTimer clock;
        clock.start();
        const double before = cpu();
        if (write(count, path))
            times = {static_cast<double>(clock.nsecsElapsed()) / 1e9, cpu() - before};
    });
    writer.join();
    return times;
}
#else
Times runWriter(bool (*write)(std::int64_t, const QString&), std::int64_t count,
                const QString& path) {
    QElapsedTimer clock;
    clock.start();
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(write(count, path) ? 0 : 1);
    int status = 0;
    struct rusage usage {};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return {};
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {static_cast<double>(clock.nsecsElapsed()) / 1e9,
            seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}
#endif

// A read of the suffix section, an Add (with its check for the suffix) and a Delete on a
// settings file of `megabytes` MB of "a=" lines: milliseconds per MB and the peak memory each adds,
// over the file's size.
void benchSettingsFile(const QString& path, int megabytes) {
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write("[Suffix]\r\nexample.com=\r\n");
        const QByteArray block = QByteArray("a=\r\n").repeated(256 * 1024); // 1 MB
        for (int i = 0; i < megabytes; ++i)
            file.write(block);
    }
    const double size = static_cast<double>(QFile(path).size()) / (1024 * 1024);
    const SuffixFile::SettingsTarget file{path, {}};
    const std::pair<const char*, std::function<bool()>> operations[] = {
        {"read",
         [&] { return SuffixFile::ReadSectionKeys(path, SuffixFile::SuffixSection()).ok(); }},
        {"add",
         [&] { return SuffixFile::AddKey(file, SuffixFile::SuffixSection(), "new.example").ok(); }},
        {"delete",
         [&] {
             return SuffixFile::DeleteProfileKey(file, SuffixFile::SuffixSection(), "new.example")
                 .ok();
         }},
    };
    std::printf("settings file of %.1f MB:", size);
    for (const auto& [name, operation] : operations) {
        resetPeakMemory();
        const double before = residentMb("VmRSS:");
        QElapsedTimer clock;
        clock.start();
        const bool ok = operation();
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        const double peak = residentMb("VmHWM:") - before;
        std::printf(" %s %.1f ms/MB peak %.2f x size%s;", name, ms / size, peak / size,
                    ok ? "" : " (FAILED)");
    }
    std::printf("\n");
    QFile::remove(path);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The run itself, without a window: events are processed at each event point as the
// window does, and nothing is drawn.
Times runCore(std::int64_t count, const QString& path) {
    RecordModel records;
    GenerationRun run(1, static_cast<std::int32_t>(count), path, records);
    GenerationRun::Hooks hooks;
    hooks.eventPoint = [] {
        QCoreApplication::processEvents();
        return GenerationRun::Next::Continue;
    };
    hooks.suffix = [] { return QByteArray(Suffix); };
    hooks.progressed = [](std::int64_t) {};
    const Stopwatch watch;
    const GenerationRun::Outcome outcome = run.run(hooks);
    const Times times = watch.elapsed();
    return outcome == GenerationRun::End::Completed ? times : Times{};
}

// A run in a fresh process of its own, as the writers run in theirs: this program started
// again with "--run core|window N path", which times the run itself (its start and end
// are not counted) and prints "times CPU WALL". Runs repeated in one long-lived process
// come out slower than the same run in a fresh one, so the pairs compare like with like.
Times runInChild(const char* kind, std::int64_t count, const QString& path) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--run"), QString::fromLatin1(kind), QString::number(count), path});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0) {
        std::fprintf(stderr, "bench: the %s run failed: %s\n", kind,
                     child.readAllStandardError().constData());
        return {};
    }
    Times times;
    const QList<QByteArray> words = child.readAllStandardOutput().trimmed().split(' ');
    if (words.size() != 3 || words[0] != "times")
        return {};
    times.cpu = words[1].toDouble();
    times.wall = words[2].toDouble();
    return times;
}

// The child's side of runInChild: one run of count addresses to path; exit status 0 when it
// completed with the whole list.
int runAsChild(const QString& kind, std::int64_t count, const QString& path) {
    Times times;
    if (kind == QLatin1String("core")) {
        times = runCore(count, path);
    } else if (kind == QLatin1String("limit")) {
        const Stopwatch watch;
        if (writeLimit(count, path))
            times = watch.elapsed();
    } else {
        QTemporaryDir folder;
        platform::Installation::setProgramFolder(folder.path());
        const std::unique_ptr<frmMain> window = MainWindowDriver::startProgram();
        MainWindowDriver driver(*window);
        times = runWindow(driver, count, path);
        if (window->records().count() != count)
            return 1;
    }
    if (times.wall <= 0 || QFile(path).size() != listBytes(count))
        return 1;
    std::printf("times %.6f %.6f\n", times.cpu, times.wall);
    return 0;
}

double runPlainWriter(std::int64_t count, const QString& path) {
    QElapsedTimer clock;
    clock.start();
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return 0;
    std::vector<char> buffer(1 << 20);
    std::int64_t done = 0;
    while (done < count) {
        const FormattedSlice slice =
            FormatAddresses(1 + done, count - done, Suffix, buffer.data(), buffer.size());
        std::fwrite(buffer.data(), 1, slice.bytes, file);
        done += slice.count;
    }
    std::fclose(file);
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

// The writers' CPU and wall time over the core run's and over the window's run: the
// medians of the pairs and their smallest.
struct PairRatios {
    struct Ratio {
        double median = 0;
        double least = 0;
    };
    Ratio coreCpu, coreWall, windowCpu, windowWall;
};

PairRatios::Ratio ratioOf(const std::vector<double>& values) {
    return {median(values), *std::min_element(values.begin(), values.end())};
}

// Paired runs of `count` addresses against the ideal and the limit writer. All of them
// write one file in dir, each deleting the one the run before it wrote, so the page
// cache holds one list at a time. With a file for each writer (four of 2.19 GB), on a
// virtual machine whose host takes memory back, one writer in a round met pages the host
// had to give again and took 3 to 8 times as long, whichever writer it was, and the
// medians showed the host rather than the writers. Fails (nullopt) when a run's file
// has another size than the list.
std::optional<std::pair<PairRatios, PairRatios>> pairWithWriters(const QTemporaryDir& dir,
                                                                 std::int64_t count) {
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    const int pairs = qEnvironmentVariableIntValue("KORVANI_BENCH_PAIRS") > 0
                          ? qEnvironmentVariableIntValue("KORVANI_BENCH_PAIRS")
                          : 7;
    // [ideal, limit] x [core cpu, core wall, window cpu, window wall]
    std::vector<double> ratios[2][4];
    std::printf("%6s %10s %10s %10s %10s %10s %10s %10s %10s\n", "pair", "ideal_cpu", "ideal_wall",
                "limit_cpu", "limit_wall", "core_cpu", "core_wall", "run_cpu", "run_wall");
    for (int pair = 0; pair < pairs; ++pair) {
        // The order turns from pair to pair: each writer deletes another one's file.
        Times times[4];
        for (int turn = 0; turn < 4; ++turn) {
            // Each starts with no other writer's pages still to be written back.
            syncDisks({path});
            const int which = (pair + turn) % 4;
            switch (which) {
            case 0:
                times[0] = runWriter(writeIdeally, count, path);
                break;
            case 1:
                times[1] = runWriter(writeLimit, count, path);
                break;
            case 2:
                times[2] = runInChild("core", count, path);
                break;
            default:
                times[3] = runInChild("window", count, path);
            }
            if (times[which].wall <= 0 || QFile(path).size() != listBytes(count)) {
                std::fprintf(stderr, "bench: a run's file differs from the list\n");
                return std::nullopt;
            }
        }
        std::printf("%6d %10.3f %10.3f %10.3f %10.3f %10.3f %10.3f %10.3f %10.3f\n", pair + 1,
                    times[0].cpu, times[0].wall, times[1].cpu, times[1].wall, times[2].cpu,
                    times[2].wall, times[3].cpu, times[3].wall);
        std::fflush(stdout);
        for (int writer = 0; writer < 2; ++writer) {
            ratios[writer][0].push_back(times[writer].cpu / times[2].cpu);
            ratios[writer][1].push_back(times[writer].wall / times[2].wall);
            ratios[writer][2].push_back(times[writer].cpu / times[3].cpu);
            ratios[writer][3].push_back(times[writer].wall / times[3].wall);
        }
    }
    QFile::remove(path);
    PairRatios result[2];
    for (int writer = 0; writer < 2; ++writer)
        result[writer] = {ratioOf(ratios[writer][0]), ratioOf(ratios[writer][1]),
                          ratioOf(ratios[writer][2]), ratioOf(ratios[writer][3])};
    std::printf("%s\n", "writer ÷ run   core cpu   core wall   window cpu   window wall"
                        "   (median / least of the pairs)");
    const char* const names[] = {"ideal", "limit"};
    for (int writer = 0; writer < 2; ++writer) {
        const PairRatios& r = result[writer];
        std::printf("%-12s %5.2f/%.2f %6.2f/%.2f %7.2f/%.2f %8.2f/%.2f\n", names[writer],
                    r.coreCpu.median, r.coreCpu.least, r.coreWall.median, r.coreWall.least,
                    r.windowCpu.median, r.windowCpu.least, r.windowWall.median, r.windowWall.least);
    }
    return std::make_pair(result[0], result[1]);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // xcb under a real display
    QApplication app(argc, argv);
    if (argc == 5 && std::strcmp(argv[1], "--run") == 0)
        return runAsChild(QString::fromLatin1(argv[2]), QByteArray(argv[3]).toLongLong(),
                          QString::fromLocal8Bit(argv[4]));
    QTemporaryDir dir;
    // No language file here: empty texts, which is fine.
    platform::Installation::setProgramFolder(dir.path());
    const std::unique_ptr<frmMain> window = MainWindowDriver::startProgram();
    MainWindowDriver driver(*window);
    if (qEnvironmentVariableIntValue("KORVANI_BENCH_PAIRS_ONLY") == 1) {
        const std::int64_t count = qEnvironmentVariableIsEmpty("KORVANI_BENCH_LARGE")
                                       ? 100'000'000
                                       : qEnvironmentVariable("KORVANI_BENCH_LARGE").toLongLong();
        const auto ratios = pairWithWriters(dir, count);
        if (!ratios)
            return 1;
        const auto& [ideal, limit] = *ratios;
        std::printf("bench: addresses=%lld ideal_ratio=%.2f ideal_wall_ratio=%.2f "
                    "window_ideal_ratio=%.2f window_ideal_wall_ratio=%.2f limit_ratio=%.2f "
                    "limit_wall_ratio=%.2f window_limit_ratio=%.2f window_limit_wall_ratio=%.2f\n",
                    static_cast<long long>(count), ideal.coreCpu.median, ideal.coreWall.median,
                    ideal.windowCpu.median, ideal.windowWall.median, limit.coreCpu.median,
                    limit.coreWall.median, limit.windowCpu.median, limit.windowWall.median);
        return 0;
    }
    const QString corePath = dir.filePath(QStringLiteral("core.txt"));
    const QString runPath = dir.filePath(QStringLiteral("run.txt"));
    const QString plainPath = dir.filePath(QStringLiteral("plain.txt"));

    std::printf("%10s %10s %10s %14s %10s %14s %8s %8s %10s\n", "addresses", "core_s", "run_s",
                "run_addr/s", "writer_s", "writer_addr/s", "core", "ratio", "peak_mb");
    double ratio1e7 = 0;
    double core1e7 = 0;
    double peak1e5 = 0;
    for (const std::int64_t count :
         {std::int64_t{100'000}, std::int64_t{1'000'000}, std::int64_t{10'000'000}}) {
        const double writer = runPlainWriter(count, plainPath);
        const double core = runCore(count, corePath).wall;
        const double run = runWindow(driver, count, runPath).wall;
        if (core <= 0 || QFile(runPath).size() != QFile(plainPath).size() ||
            QFile(corePath).size() != QFile(plainPath).size()) {
            std::fprintf(stderr, "bench: a run's file differs from the writer's\n");
            return 1;
        }
        const double peak = peakResidentMb();
        const double ratio = writer / run;
        const double coreRatio = writer / core;
        std::printf("%10lld %10.3f %10.3f %14.0f %10.3f %14.0f %8.2f %8.2f %10.1f\n",
                    static_cast<long long>(count), core, run, count / run, writer, count / writer,
                    coreRatio, ratio, peak);
        if (count == 100'000)
            peak1e5 = peak;
        if (count == 10'000'000) {
            ratio1e7 = ratio;
            core1e7 = coreRatio;
        }
        QFile::remove(corePath);
        QFile::remove(runPath);
        QFile::remove(plainPath);
    }

    // Paired runs at 10^8 against the ideal and the limit writer.
    const auto ratios = pairWithWriters(dir, 100'000'000);
    if (!ratios)
        return 1;
    const auto& [ideal, limit] = *ratios;
    const double peak1e8 = peakResidentMb();

    // Stop: a click posted from another thread a tenth of a second into a 10^8 run (which
    // takes 0.4 s and more), measured only when it came before the run's end.
    using Clock = std::chrono::steady_clock;
    Clock::time_point clicked;
    QPushButton* stop = driver.control<QPushButton>("btnCancel");
    std::thread user([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        clicked = Clock::now();
        QMetaObject::invokeMethod(stop, &QPushButton::click, Qt::QueuedConnection);
    });
    runWindow(driver, 100'000'000, runPath);
    const auto ended = Clock::now();
    user.join();
    const long long stoppedAt = window->records().count();
    if (stoppedAt == 100'000'000 || ended < clicked) {
        std::fprintf(stderr, "bench: the run ended before the stop was clicked\n");
        return 1;
    }
    const double stopMs = std::chrono::duration<double, std::milli>(ended - clicked).count();
    std::printf("stop: %lld addresses written before the stop, %.1f ms from click to idle\n",
                stoppedAt, stopMs);

    // Last, as its file's size shows in the peak memory.
    benchSettingsFile(dir.filePath(QStringLiteral("Large.ini")), 60);

    std::printf("bench: ratio_1e7=%.2f core_ratio_1e7=%.2f ideal_ratio_1e8=%.2f "
                "ideal_wall_ratio_1e8=%.2f window_ideal_ratio_1e8=%.2f "
                "window_ideal_wall_ratio_1e8=%.2f limit_ratio_1e8=%.2f "
                "limit_wall_ratio_1e8=%.2f window_limit_ratio_1e8=%.2f "
                "window_limit_wall_ratio_1e8=%.2f rss_growth_mb=%.1f stop_ms=%.1f\n",
                ratio1e7, core1e7, ideal.coreCpu.median, ideal.coreWall.median,
                ideal.windowCpu.median, ideal.windowWall.median, limit.coreCpu.median,
                limit.coreWall.median, limit.windowCpu.median, limit.windowWall.median,
                peak1e8 - peak1e5, stopMs);
    return 0;
}
