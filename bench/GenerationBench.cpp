// Times the generation run of the real main window (offscreen, Save dialog and message
// boxes answered through the seams) against a plain writer that formats and writes the
// same bytes in one buffered loop: the floor for this machine and disk.
//
// Last line: bench: ratio_1e7=R rss_growth_mb=M stop_ms=S
//   R  addresses per second of the run divided by those of the plain writer, at 10^7
//   M  growth of peak resident memory from the 10^5 run to the 10^7 run, in MB
//   S  milliseconds from a Stop click (posted from another thread, as a user's click
//      arrives) to the end of a 10^8 run
#include "app/AddressFormatter.h"
#include "app/frmMain.h"
#include "i18n/WindowCaptions.h"
#include "platform/Application.h"
#include "platform/Desktop.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const Suffix = "example.com";

double peakResidentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

double runWindow(frmMain& window, std::int64_t count, const QString& path) {
    window.findChild<QLineEdit*>(QStringLiteral("tbFromNo"))->setText(QStringLiteral("1"));
    window.findChild<QLineEdit*>(QStringLiteral("tbToNo"))->setText(QString::number(count));
    window.findChild<QComboBox*>(QStringLiteral("cbSuffix"))
        ->setEditText(QString::fromLatin1(Suffix));
    platform::FileDialog::setNextFileName(path);
    QElapsedTimer clock;
    clock.start();
    window.btnBuild_Click();
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
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

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    platform::MessageBox::setRecording(true);
    platform::FileDialog::setRecording(true);
    platform::Application::setProgramFolder(dir.path());
    ModTransLate::LoadLanguage(); // no language file here: empty texts, which is fine
    platform::MessageBox::clearShown();

    auto window = std::make_unique<frmMain>();
    window->show();
    const QString runPath = dir.filePath(QStringLiteral("run.txt"));
    const QString plainPath = dir.filePath(QStringLiteral("plain.txt"));

    std::printf("%10s %10s %14s %10s %14s %8s %10s\n", "addresses", "run_s", "run_addr/s",
                "writer_s", "writer_addr/s", "ratio", "peak_mb");
    double ratio1e7 = 0;
    double peak1e5 = 0;
    double peak1e7 = 0;
    for (const std::int64_t count :
         {std::int64_t{100'000}, std::int64_t{1'000'000}, std::int64_t{10'000'000}}) {
        const double writer = runPlainWriter(count, plainPath);
        const double run = runWindow(*window, count, runPath);
        if (QFile(runPath).size() != QFile(plainPath).size()) {
            std::fprintf(stderr, "bench: the run's file differs from the writer's\n");
            return 1;
        }
        const double peak = peakResidentMb();
        const double ratio = writer / run;
        std::printf("%10lld %10.3f %14.0f %10.3f %14.0f %8.2f %10.1f\n",
                    static_cast<long long>(count), run, count / run, writer, count / writer, ratio,
                    peak);
        if (count == 100'000)
            peak1e5 = peak;
        if (count == 10'000'000) {
            ratio1e7 = ratio;
            peak1e7 = peak;
        }
        QFile::remove(runPath);
        QFile::remove(plainPath);
    }

    // Stop: a click posted from another thread half a second into a 10^8 run.
    using Clock = std::chrono::steady_clock;
    Clock::time_point clicked;
    QPushButton* stop = window->findChild<QPushButton*>(QStringLiteral("btnCancel"));
    std::thread user([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        clicked = Clock::now();
        QMetaObject::invokeMethod(stop, &QPushButton::click, Qt::QueuedConnection);
    });
    runWindow(*window, 100'000'000, runPath);
    const auto ended = Clock::now();
    user.join();
    const double stopMs = std::chrono::duration<double, std::milli>(ended - clicked).count();
    std::printf("stop: %lld addresses written before the stop, %.1f ms from click to idle\n",
                static_cast<long long>(window->records().count()), stopMs);

    std::printf("bench: ratio_1e7=%.2f rss_growth_mb=%.1f stop_ms=%.1f\n", ratio1e7,
                peak1e7 - peak1e5, stopMs);
    return 0;
}
