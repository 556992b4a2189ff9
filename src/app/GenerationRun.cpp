// The generation run of the main window: the input check, the Save dialog and the
// loop that writes the addresses to the file, the list and the progress bar.
#include "app/AddressFormatter.h"
#include "app/NumberInput.h"
#include "app/frmMain.h"
#include "common/ModCommon.h"
#include "common/OutputFile.h"
#include "i18n/ModTransLate.h"
#include "platform/Desktop.h"
#include "ui_frmMain.h"

#include <QElapsedTimer>

#include <memory>

namespace {

// Work between two event points, and the pieces a slice is written in.
constexpr qint64 SliceNanoseconds = 10'000'000;
constexpr std::size_t ChunkBytes = 256 * 1024;

void warn(const QString& text) {
    platform::MessageBox::show(text, platform::MessageIcon::Exclamation);
}

} // namespace

frmMain::InputCheck frmMain::CheckNumberInput(std::int32_t& from, std::int32_t& to) {
    const auto& text = ModTransLate::Text().frmMain;
    const NumberText f = ParseNumberText(ui->tbFromNo->text());
    const NumberText t = ParseNumberText(ui->tbToNo->text());
    if (f.kind == NumberText::Kind::Empty || t.kind == NumberText::Kind::Empty) {
        warn(text.PlsFillNo);
        (f.kind == NumberText::Kind::Empty ? ui->tbFromNo : ui->tbToNo)->setFocus();
        return InputCheck::Rejected;
    }
    if (f.kind == NumberText::Kind::NotNumber) {
        warn(text.WrongNoFormat);
        ui->tbFromNo->setFocus();
        return InputCheck::Rejected;
    }
    if (t.kind == NumberText::Kind::NotNumber) {
        warn(text.WrongNoFormat);
        ui->tbToNo->setFocus();
        return InputCheck::Rejected;
    }
    if (!f.fitsInt32 || !t.fitsInt32)
        return InputCheck::OutOfRange;
    if (t.value < f.value) {
        warn(text.StartLargerEnd);
        return InputCheck::Rejected;
    }
    from = f.value;
    to = t.value;
    return InputCheck::Valid;
}

void frmMain::btnBuild_Click() {
    StopRequested = false;
    if (running_)
        return; // Start is disabled while a run is active
    std::int32_t from = 0;
    std::int32_t to = 0;
    if (CheckNumberInput(from, to) != InputCheck::Valid) {
        ui->pb->setPosition64(0);
        return;
    }
    const QString path = ModCommon::AskSaveFile();
    if (path.isEmpty())
        return;
    runAddresses(from, to, path);
}

void frmMain::runAddresses(std::int32_t from, std::int32_t to, const QString& path) {
    const std::int64_t total = std::int64_t{to} - from + 1;
    ProgressBar* progress = ui->pb;
    progress->setMaximum64(total);
    progress->setPosition64(0);
    ui->btnBuild->setEnabled(false);
    running_ = true;
    records_.reset(from);
    ui->lvRecord->modelChanged();

    bool completed = false;
    if (OutputFile::prepare(path) == OutputFile::Prepared::Ready) {
        OutputFile file(path);
        std::unique_ptr<char[]> buffer;
        std::size_t capacity = 0;
        std::int64_t done = 0;
        QElapsedTimer clock;
        while (done < total) {
            platform::Events::process();
            if (closeRequested_)
                break; // the window is closing: keep the file, show nothing more
            if (StopRequested) {
                platform::MessageBox::show(ModTransLate::Text().frmMain.CancelAndSave,
                                           platform::MessageIcon::Information);
                break;
            }
            // The suffix box can only change while events are processed, so one read
            // serves the whole slice.
            const QByteArray suffix = ui->cbSuffix->currentText().trimmed().toUtf8();
            const std::string_view suffixView(suffix.constData(),
                                              static_cast<std::size_t>(suffix.size()));
            const std::size_t needed = std::max(ChunkBytes, LongestLine(suffix.size()));
            if (needed > capacity) {
                buffer = std::make_unique<char[]>(needed);
                capacity = needed;
            }
            if (!file.open())
                break;
            std::int64_t sliceCount = 0;
            std::size_t sliceBytes = 0;
            bool written = true;
            clock.start();
            do {
                const FormattedSlice chunk =
                    FormatAddresses(std::int64_t{from} + done + sliceCount,
                                    total - done - sliceCount, suffixView, buffer.get(), capacity);
                const std::size_t reached = file.write(buffer.get(), chunk.bytes);
                if (reached != chunk.bytes) {
                    // Disk full or file too large: the lines that reached the file whole
                    // stay and count; a cut line is taken back. The run then ends
                    // without a message, the file equal to the list.
                    const WholeLines kept = CountWholeLines(buffer.get(), reached);
                    if (file.cutBack(static_cast<qint64>(sliceBytes + kept.bytes)))
                        sliceCount += kept.count;
                    else if (!file.cutBack())
                        sliceCount = 0;
                    written = false;
                    break;
                }
                sliceBytes += chunk.bytes;
                sliceCount += chunk.count;
            } while (done + sliceCount < total && clock.nsecsElapsed() < SliceNanoseconds);
            file.close();
            done += sliceCount;
            records_.append(sliceCount, suffix);
            ui->lvRecord->modelChanged();
            progress->setPosition64(done);
            if (!written)
                break;
        }
        completed = done == total && progress->position64() == progress->maximum64();
    }
    if (completed)
        platform::MessageBox::show(ModTransLate::Text().frmMain.CreateNoSuccessfully,
                                   platform::MessageIcon::Information);

    running_ = false;
    ui->btnBuild->setEnabled(true);
    progress->setPosition64(0);
    if (closeRequested_)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}
