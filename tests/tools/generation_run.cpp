// One generation run of the real main window in a process of its own, for the tests
// that kill a run, stop it, or run it under a file-size limit, and for the soak.
//
//   generation_run --to N --output PATH [options]
//     --folder DIR        the program folder (language files, Korvani.ini); without it a
//                         new empty temporary folder is used (empty interface texts)
//     --from N            From (default 1)
//     --to N              To
//     --suffix TEXT       the suffix typed into the suffix box (default "example.com")
//     --output PATH       the name the Save dialog answers
//     --stop-after-events N   clicks Stop at the N-th event point of the run
//     --stop-after-ms N       clicks Stop from a timer N ms after the run's first event point
//     --event-log FILE        appends the line "event" to FILE at each event point of the
//                             run (the writev shim of tests/tools records each write there)
//
// The message boxes and the Save dialog are in recording mode: nothing is shown.
// Printed on stdout when the run is over, one item a line:
//   notice <icon> <text>    each message box shown during the run, in order
//                           (icon: exclamation, information or warning)
//   outcome <NAME>          how the run ended: none (no run), completed, stopped,
//                           window-closed, file-failed
//   reason <FAILURE> <ERRNO>  for a file that failed, why ("reason write-failed 28")
//   cut-line                for a failed write whose cut back failed too: the file may
//                           end in a torn tail beyond the count
//   count <N>               the number of addresses in the window's list
//   peak_rss_kb <N>         the process's peak resident memory
// Exit code 0 when the run ended (however it ended), 2 on a usage error.
#include "app/frmMain.h"
#include "driver/MainWindowDriver.h"
#include "platform/Desktop.h"
#include "platform/Installation.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <psapi.h>
#undef MessageBox // windows.h's name for MessageBoxW, not platform::MessageBox
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

struct Options {
    QString folder;
    QString from = QStringLiteral("1");
    QString to;
    QString suffix = QStringLiteral("example.com");
    QString output;
    int stopAfterEvents = 0;
    int stopAfterMs = -1;
    QString eventLog;
};

int usage() {
    std::fprintf(stderr, "usage: generation_run --to N --output PATH [--folder DIR] [--from N]\n"
                         "       [--suffix TEXT] [--stop-after-events N] [--stop-after-ms N]\n"
                         "       [--event-log FILE]\n");
    return 2;
}

std::optional<Options> parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        if (i + 1 >= argc)
            return std::nullopt;
        const QString value = QString::fromLocal8Bit(argv[++i]);
        if (std::strcmp(name, "--folder") == 0)
            options.folder = value;
        else if (std::strcmp(name, "--from") == 0)
            options.from = value;
        else if (std::strcmp(name, "--to") == 0)
            options.to = value;
        else if (std::strcmp(name, "--suffix") == 0)
            options.suffix = value;
        else if (std::strcmp(name, "--output") == 0)
            options.output = value;
        else if (std::strcmp(name, "--stop-after-events") == 0)
            options.stopAfterEvents = value.toInt();
        else if (std::strcmp(name, "--stop-after-ms") == 0)
            options.stopAfterMs = value.toInt();
        else if (std::strcmp(name, "--event-log") == 0)
            options.eventLog = value;
        else
            return std::nullopt;
    }
    if (options.to.isEmpty() || options.output.isEmpty())
        return std::nullopt;
    return options;
}

const char* iconName(platform::MessageIcon icon) {
    switch (icon) {
    case platform::MessageIcon::Exclamation:
        return "exclamation";
    case platform::MessageIcon::Information:
        return "information";
    case platform::MessageIcon::Warning:
        return "warning";
    }
    return "?";
}

const char* outcomeName(std::optional<GenerationRun::Outcome> outcome) {
    // In the order of GenerationRun::End.
    static constexpr const char* Names[] = {"completed", "stopped", "window-closed", "file-failed"};
    static_assert(std::size(Names) == static_cast<std::size_t>(GenerationRun::End::FileFailed) + 1);
    return outcome ? Names[static_cast<int>(outcome->end)] : "none";
}

// What the tool prints, gathered, then written to stdout in as many writes as it takes.
struct Report {
    std::string text;
    template <typename... Args> void appendf(const char* format, Args... args) {
        char line[4096];
        const int n = std::snprintf(line, sizeof line, format, args...);
        text.append(line, static_cast<std::size_t>(std::clamp(n, 0, int(sizeof line) - 1)));
    }
    void send() const {
#ifdef _WIN32
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
#else
        std::size_t done = 0;
        for (int tries = 0; done < text.size() && tries < 100000; ++tries) {
            const auto n = ::write(1, text.data() + done, text.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
        }
#endif
    }
};

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    ::_setmode(::_fileno(stdout), _O_BINARY); // lines end in LF alone, as on Linux
#endif
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::optional<Options> options = parse(argc, argv);
    if (!options)
        return usage();

    QTemporaryDir temporary;
    platform::Installation::setProgramFolder(options->folder.isEmpty() ? temporary.path()
                                                                       : options->folder);
    const std::unique_ptr<frmMain> window = MainWindowDriver::startProgram();
    MainWindowDriver driver(*window);
    driver.enter(options->from, options->to, options->suffix);
    QPushButton* stop = driver.control<QPushButton>("btnCancel");

    int eventPoints = 0;
    QFile eventLog(options->eventLog);
    if (!options->eventLog.isEmpty() && !eventLog.open(QIODevice::Append | QIODevice::Unbuffered))
        return usage();
    if (options->stopAfterEvents > 0 || options->stopAfterMs >= 0 || eventLog.isOpen()) {
        platform::Events::setHook([&] {
            if (eventLog.isOpen())
                eventLog.write("event\n");
            if (++eventPoints == options->stopAfterEvents)
                stop->click();
            // Counted from the run's first event point, not from the program's start: a
            // loaded machine may take longer than N ms to get there.
            if (eventPoints == 1 && options->stopAfterMs >= 0)
                QTimer::singleShot(options->stopAfterMs, stop, &QPushButton::click);
        });
    }

    // Only the run's own boxes are reported, not those of start-up.
    platform::MessageBox::clearShown();
    driver.start(options->output); // returns after the run

    // The report goes out whole although the fault check fails this process's own writes
    // too (libfiu): each write is tried again until it is done.
    Report report;
    for (const platform::ShownMessage& shown : platform::MessageBox::shown())
        report.appendf("notice %s %s\n", iconName(shown.icon), shown.text.toUtf8().constData());
    const std::optional<GenerationRun::Outcome> outcome = window->lastOutcome();
    report.appendf("outcome %s\n", outcomeName(outcome));
    if (outcome && !outcome->file) // why the file failed: "reason write-failed 28"
        report.appendf("reason %s %d\n", platform::failureName(outcome->file.failure),
                       outcome->file.error);
    if (outcome && outcome->endsInCutLine)
        report.text += "cut-line\n";
    report.appendf("count %lld\n", static_cast<long long>(window->records().count()));
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS memory{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    report.appendf("peak_rss_kb %ld\n", static_cast<long>(memory.PeakWorkingSetSize / 1024));
#else
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    report.appendf("peak_rss_kb %ld\n", usage.ru_maxrss);
#endif
    report.send();
    return 0;
}
