// Times the generation run of the real main window (offscreen, Save dialog and message
// boxes answered through the seams) against a plain writer that formats and writes the
// same bytes in one buffered loop: the floor for this machine and disk.
//
// Then it pairs each run with an ideal writer at 10^8 addresses (1.99 GB): one that
// counts the digits up in place, copies each line into one 4 MiB buffer and makes one
// write per buffer. Each of them deletes its own old file first.
//
// Last line: bench: ratio_1e7=R core_ratio_1e7=C ideal_ratio_1e8=I ideal_wall_ratio_1e8=W
//                   window_ideal_ratio_1e8=I2 window_ideal_wall_ratio_1e8=W2
//                   rss_growth_mb=M stop_ms=S
//   R  addresses per second of the window's run divided by those of the plain writer,
//      at 10^7
//   C  the same for the run without a window
//   I  the ideal writer's CPU time (user + system) over the core run's, median of the
//      paired runs at 10^8; W the same for wall time; I2, W2 the same for the window's run
//   M  growth of peak resident memory from the 10^5 runs to the 10^8 runs, in MB
//   S  milliseconds from a Stop click (posted from another thread, as a user's click
//      arrives) to the end of a 10^8 run
//
// Built for Windows too (make bench-windows, under Wine): there the ideal writer makes one
// WriteFile per 4 MiB, in a thread of its own. KORVANI_BENCH_PAIRS_ONLY=1 runs only the pairs, at
// KORVANI_BENCH_LARGE addresses (default 10^8), and its last line reads
// bench: addresses=N ideal_ratio=I ideal_wall_ratio=W window_ideal_ratio=I2
//        window_ideal_wall_ratio=W2
#include "app/AddressFormatter.h"
#include "app/GenerationRun.h"
#include "app/SuffixFile.h"
#include "app/frmMain.h"
#include "driver/MainWindowDriver.h"
#include "platform/Application.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
void syncDisks() {}       // only an administrator may flush a volume
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
void syncDisks() {
    ::sync();
}
#endif
double peakResidentMb() {
    return residentMb("VmHWM:");
}

// Wall and CPU time (user + system, this thread) of one piece of work.
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
        ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
        return seconds(kernel) + seconds(user);
#else
        struct rusage usage {};
        getrusage(RUSAGE_THREAD, &usage);
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

// The ideal writer in a child process of its own, so that its buffer does not count in
// this process's peak memory; its CPU time is the child's.
#ifdef _WIN32
// A thread of its own: a Windows process of its own would count Wine's start of a process.
Times runIdealWriter(std::int64_t count, const QString& path) {
    Times times;
    std::thread writer([&] {
        const Stopwatch watch;
        if (writeIdeally(count, path))
            times = watch.elapsed();
    });
    writer.join();
    return times;
}
#else
Times runIdealWriter(std::int64_t count, const QString& path) {
    QElapsedTimer clock;
    clock.start();
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(writeIdeally(count, path) ? 0 : 1);
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
    const SuffixList::SettingsTarget file{path, {}};
    const std::pair<const char*, std::function<bool()>> operations[] = {
        {"read", [&] { return SuffixList::ReadKeys(path, SuffixList::SuffixSection()).ok(); }},
        {"add",
         [&] { return SuffixList::AddKey(file, SuffixList::SuffixSection(), "new.example").ok(); }},
        {"delete",
         [&] {
             return SuffixList::DeleteKey(file, SuffixList::SuffixSection(), "new.example").ok();
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

// The medians of the pairs: the ideal writer's CPU and wall time over the core run's and
// over the window's run.
struct PairRatios {
    double coreCpu = 0;
    double coreWall = 0;
    double windowCpu = 0;
    double windowWall = 0;
};

// Paired runs of `count` addresses against the ideal writer; each writes a file of its
// own in dir. Fails (nullopt) when a run's file differs from the ideal writer's.
std::optional<PairRatios> pairWithIdealWriter(MainWindowDriver& driver, const frmMain& window,
                                              const QTemporaryDir& dir, std::int64_t count) {
    const QString idealPath = dir.filePath(QStringLiteral("ideal.txt"));
    const QString corePath = dir.filePath(QStringLiteral("core.txt"));
    const QString runPath = dir.filePath(QStringLiteral("run.txt"));
    const int pairs = qEnvironmentVariableIntValue("KORVANI_BENCH_PAIRS") > 0
                          ? qEnvironmentVariableIntValue("KORVANI_BENCH_PAIRS")
                          : 7;
    std::vector<double> coreCpu, coreWall, windowCpu, windowWall;
    std::printf("%6s %10s %10s %10s %10s %10s %10s\n", "pair", "ideal_cpu", "ideal_wall",
                "core_cpu", "core_wall", "run_cpu", "run_wall");
    for (int pair = 0; pair < pairs; ++pair) {
        // The order turns from pair to pair: a writer that follows another one meets the
        // kernel still writing that one's pages back.
        Times ideal, core, run;
        for (int turn = 0; turn < 3; ++turn) {
            syncDisks(); // each starts with no other writer's pages still to be written back
            switch ((pair + turn) % 3) {
            case 0:
                ideal = runIdealWriter(count, idealPath);
                break;
            case 1:
                core = runCore(count, corePath);
                break;
            default:
                run = runWindow(driver, count, runPath);
            }
        }
        if (ideal.wall <= 0 || core.wall <= 0 || window.records().count() != count ||
            QFile(corePath).size() != QFile(idealPath).size() ||
            QFile(runPath).size() != QFile(idealPath).size()) {
            std::fprintf(stderr, "bench: a run's file differs from the ideal writer's\n");
            return std::nullopt;
        }
        std::printf("%6d %10.3f %10.3f %10.3f %10.3f %10.3f %10.3f\n", pair + 1, ideal.cpu,
                    ideal.wall, core.cpu, core.wall, run.cpu, run.wall);
        std::fflush(stdout);
        coreCpu.push_back(ideal.cpu / core.cpu);
        coreWall.push_back(ideal.wall / core.wall);
        windowCpu.push_back(ideal.cpu / run.cpu);
        windowWall.push_back(ideal.wall / run.wall);
    }
    QFile::remove(idealPath);
    QFile::remove(corePath);
    QFile::remove(runPath);
    return PairRatios{median(coreCpu), median(coreWall), median(windowCpu), median(windowWall)};
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // xcb under a real display
    QApplication app(argc, argv);
    QTemporaryDir dir;
    // No language file here: empty texts, which is fine.
    platform::Application::setProgramFolder(dir.path());
    const std::unique_ptr<frmMain> window = MainWindowDriver::startProgram();
    MainWindowDriver driver(*window);
    if (qEnvironmentVariableIntValue("KORVANI_BENCH_PAIRS_ONLY") == 1) {
        const std::int64_t count = qEnvironmentVariableIsEmpty("KORVANI_BENCH_LARGE")
                                       ? 100'000'000
                                       : qEnvironmentVariable("KORVANI_BENCH_LARGE").toLongLong();
        const auto ratios = pairWithIdealWriter(driver, *window, dir, count);
        if (!ratios)
            return 1;
        std::printf("bench: addresses=%lld ideal_ratio=%.2f ideal_wall_ratio=%.2f "
                    "window_ideal_ratio=%.2f window_ideal_wall_ratio=%.2f\n",
                    static_cast<long long>(count), ratios->coreCpu, ratios->coreWall,
                    ratios->windowCpu, ratios->windowWall);
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

    // Paired runs at 10^8 against the ideal writer.
    const auto ratios = pairWithIdealWriter(driver, *window, dir, 100'000'000);
    if (!ratios)
        return 1;
    const double peak1e8 = peakResidentMb();

    // Stop: a click posted from another thread half a second into a 10^8 run.
    using Clock = std::chrono::steady_clock;
    Clock::time_point clicked;
    QPushButton* stop = driver.control<QPushButton>("btnCancel");
    std::thread user([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        clicked = Clock::now();
        QMetaObject::invokeMethod(stop, &QPushButton::click, Qt::QueuedConnection);
    });
    runWindow(driver, 100'000'000, runPath);
    const auto ended = Clock::now();
    user.join();
    const double stopMs = std::chrono::duration<double, std::milli>(ended - clicked).count();
    std::printf("stop: %lld addresses written before the stop, %.1f ms from click to idle\n",
                static_cast<long long>(window->records().count()), stopMs);

    // Last, as its file's size shows in the peak memory.
    benchSettingsFile(dir.filePath(QStringLiteral("Large.ini")), 60);

    std::printf("bench: ratio_1e7=%.2f core_ratio_1e7=%.2f ideal_ratio_1e8=%.2f "
                "ideal_wall_ratio_1e8=%.2f window_ideal_ratio_1e8=%.2f "
                "window_ideal_wall_ratio_1e8=%.2f rss_growth_mb=%.1f stop_ms=%.1f\n",
                ratio1e7, core1e7, ratios->coreCpu, ratios->coreWall, ratios->windowCpu,
                ratios->windowWall, peak1e8 - peak1e5, stopMs);
    return 0;
}
