#include "app/GenerationRun.h"

#include "app/AddressFormatter.h"
#include "common/OutputFile.h"

#include <QElapsedTimer>

#include <algorithm>
#include <memory>

namespace {
// The pieces a slice is formatted and written in.
constexpr std::size_t ChunkBytes = 256 * 1024;
} // namespace

GenerationRun::GenerationRun(std::int32_t from, std::int32_t to, QString path, RecordModel& records)
    : from_(from), total_(std::int64_t{to} - from + 1), path_(std::move(path)), records_(records) {}

GenerationRun::Outcome GenerationRun::run(const Hooks& hooks) {
    records_.reset(from_);
    done_ = 0;
    hooks.progressed(0);
    switch (OutputFile::prepare(path_)) {
    case OutputFile::Prepared::Ready:
        break;
    case OutputFile::Prepared::NotAFile:
        return Outcome::NotAFile;
    case OutputFile::Prepared::CannotDelete:
        return Outcome::CannotDelete;
    }

    OutputFile file(path_);
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;
    QElapsedTimer clock;
    while (done_ < total_) {
        switch (hooks.eventPoint()) {
        case Next::Continue:
            break;
        case Next::Stop:
            return Outcome::Stopped;
        case Next::Close:
            return Outcome::WindowClosed;
        }
        // The suffix can only change while events are processed, so one read serves
        // the whole slice.
        const QByteArray suffix = hooks.suffix();
        const std::string_view suffixView(suffix.constData(),
                                          static_cast<std::size_t>(suffix.size()));
        const std::size_t needed = std::max(ChunkBytes, LongestLine(suffixView.size()));
        if (needed > capacity) {
            buffer = std::make_unique<char[]>(needed);
            capacity = needed;
        }
        if (!file.open())
            return Outcome::CannotOpen;

        std::int64_t sliceCount = 0;
        std::size_t sliceBytes = 0;
        Outcome failure = Outcome::Completed;
        clock.start();
        do {
            const FormattedSlice chunk =
                FormatAddresses(std::int64_t{from_} + done_ + sliceCount,
                                total_ - done_ - sliceCount, suffixView, buffer.get(), capacity);
            const std::size_t reached = file.write(buffer.get(), chunk.bytes);
            if (reached != chunk.bytes) {
                // The lines that reached the file whole stay and count; a cut line is
                // taken back, or else the whole slice.
                const WholeLines kept = CountWholeLines(buffer.get(), reached);
                failure = Outcome::WriteFailed;
                if (file.cutBack(static_cast<qint64>(sliceBytes + kept.bytes)))
                    sliceCount += kept.count;
                else if (file.cutBack())
                    sliceCount = 0;
                else
                    failure = Outcome::CutFailed;
                break;
            }
            sliceBytes += chunk.bytes;
            sliceCount += chunk.count;
        } while (done_ + sliceCount < total_ && clock.nsecsElapsed() < SliceNanoseconds);
        file.close();

        done_ += sliceCount;
        records_.append(sliceCount, suffix);
        hooks.progressed(done_);
        if (failure != Outcome::Completed)
            return failure;
    }
    return Outcome::Completed;
}
