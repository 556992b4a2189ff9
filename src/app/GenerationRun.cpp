#include "app/GenerationRun.h"

#include "app/AddressFormatter.h"
#include "common/OutputFile.h"

#include <QElapsedTimer>

#include <algorithm>

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

    OutputFile file;
    const Outcome outcome = writeRange(file, hooks);
    // A failed close may have lost what the last writes handed over: a failed write.
    if (!file.close() && outcome != Outcome::WindowClosed)
        return Outcome::WriteFailed;
    return outcome;
}

GenerationRun::Outcome GenerationRun::writeRange(OutputFile& file, const Hooks& hooks) {
    bool created = false;
    while (done_ < total_) {
        switch (hooks.eventPoint()) {
        case Next::Continue:
            break;
        case Next::Stop:
            return Outcome::Stopped;
        case Next::Close:
            return Outcome::WindowClosed;
        }
        // The file comes into being with its first address, as an append would make it,
        // and is written through this one descriptor from then on.
        if (!created && !(created = file.create(path_)))
            return Outcome::CannotOpen;
        // The suffix can only change while events are processed, so one read serves
        // the whole slice.
        const QByteArray suffix = hooks.suffix();
        std::int64_t written = 0;
        const Outcome slice = writeSlice(file, suffix, written);

        done_ += written;
        records_.append(written, suffix);
        hooks.progressed(done_);
        if (slice != Outcome::Completed)
            return slice;
    }
    return Outcome::Completed;
}

GenerationRun::Outcome GenerationRun::writeSlice(OutputFile& file, const QByteArray& suffix,
                                                 std::int64_t& written) {
    const std::string_view suffixView(suffix.constData(), static_cast<std::size_t>(suffix.size()));
    const std::size_t needed = std::max(ChunkBytes, LongestLine(suffixView.size()));
    if (needed > capacity_) {
        buffer_ = std::make_unique<char[]>(needed);
        capacity_ = needed;
    }
    const std::int64_t sliceStart = file.size();
    QElapsedTimer clock;
    clock.start();
    do {
        const std::int64_t first = std::int64_t{from_} + done_ + written;
        const FormattedSlice chunk =
            FormatAddresses(first, total_ - done_ - written, suffixView, buffer_.get(), capacity_);
        const std::size_t reached = file.write(buffer_.get(), chunk.bytes);
        if (reached != chunk.bytes) {
            // The addresses that reached the file whole stay and count; a cut one is taken
            // back, or else the whole slice.
            const WholeLines kept = CountWholeAddresses(first, suffixView.size(), reached);
            if (file.cutBack(file.size() - static_cast<std::int64_t>(reached - kept.bytes))) {
                written += kept.count;
                return Outcome::WriteFailed;
            }
            if (!file.cutBack(sliceStart))
                return Outcome::CutFailed;
            written = 0;
            return Outcome::WriteFailed;
        }
        written += chunk.count;
    } while (done_ + written < total_ && clock.nsecsElapsed() < SliceNanoseconds);
    return Outcome::Completed;
}
