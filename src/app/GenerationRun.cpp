#include "app/GenerationRun.h"

#include "app/AddressFormatter.h"
#include "i18n/ModTransLate.h"
#include "platform/FileIdentity.h"
#include "platform/Installation.h"
#include "platform/OutputFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

GenerationRun::GenerationRun(std::int32_t from, std::int32_t to, QString path, RecordModel& records)
    : from_(from), total_(std::int64_t{to} - from + 1), path_(std::move(path)),
      records_(records), pieces_{PieceFormatter(PieceBytes), PieceFormatter(PieceBytes)} {}

bool GenerationRun::namesProgramFile(const QString& path) {
    using platform::Installation;
    if (path.isEmpty())
        return false;
    QStringList own = ModTransLate::LanguageFiles();
    own << Installation::programFolder() + u'/' + Installation::settingsFileName()
        << QCoreApplication::applicationFilePath();
    for (const QString& name : Installation::installerFiles())
        own << (name.isEmpty() ? QString() : Installation::programFolder() + u'/' + name);
    if (Installation::runsInstalled())
        own << Installation::settingsFile() << Installation::userSettingsFile();
    const QFileInfo chosen(path);
    const auto chosenId = OutputFile::identityOf(path);
    const auto folderId = OutputFile::identityOf(chosen.absolutePath());
    const QString chosenName = platform::comparableFileName(chosen.fileName());
    return std::any_of(own.cbegin(), own.cend(), [&](const QString& file) {
        if (file.isEmpty())
            return false;
        if (chosenId)
            return chosenId == OutputFile::identityOf(file);
        // Not there yet (the user's own copy before its first change): the run would make
        // it, so the same name, as the system matches names, in the same folder is refused.
        const QFileInfo info(file);
        return folderId && chosenName == platform::comparableFileName(info.fileName()) &&
               folderId == OutputFile::identityOf(info.absolutePath());
    });
}

GenerationRun::Outcome GenerationRun::run(const Hooks& hooks) {
    records_.reset(from_);
    done_ = 0;
    hooks.progressed(0);
    if (const platform::FileStatus prepared = OutputFile::prepare(path_); !prepared)
        return {End::FileFailed, prepared};

    OutputFile file;
    Outcome outcome = writeRange(file, hooks);
    // A file that lost its name during the run (removed, renamed, replaced by a second run
    // to the same name) holds what was written where no one finds it; one that another
    // process cut or appended to holds other lines than the list: a failed write.
    if ((outcome == End::Completed || outcome == End::Stopped) && file.isOpen()) {
        if (const platform::FileStatus whole = file.checkWrittenAt(path_); !whole)
            outcome = {End::FileFailed, whole};
    }
    // A failed close may have lost what the last writes handed over: a failed write.
    if (const platform::FileStatus closed = file.close(); !closed && outcome != End::WindowClosed)
        return {End::FileFailed, closed};
    return outcome;
}

GenerationRun::Outcome GenerationRun::writeRange(OutputFile& file, const Hooks& hooks) {
    bool created = false;
    while (done_ < total_) {
        switch (hooks.eventPoint()) {
        case Next::Continue:
            break;
        case Next::Stop:
            return End::Stopped;
        case Next::Close:
            return End::WindowClosed;
        }
        // The file comes into being with its first address, as an append would make it,
        // and is written through this one descriptor from then on.
        if (!created) {
            if (const platform::FileStatus made = file.create(path_); !made)
                return {End::FileFailed, made};
            created = true;
        }
        // The suffix can only change while events are processed, so one read serves
        // the whole slice.
        const QByteArray suffix = hooks.suffix();
        std::int64_t written = 0;
        const Outcome slice = writeSlice(file, suffix, written);

        done_ += written;
        records_.append(written, suffix);
        hooks.progressed(done_);
        if (slice != End::Completed)
            return slice;
    }
    return End::Completed;
}

GenerationRun::Outcome GenerationRun::writeSlice(OutputFile& file, const QByteArray& suffix,
                                                 std::int64_t& written) {
    const std::string_view suffixView(suffix.constData(), static_cast<std::size_t>(suffix.size()));
    const std::int64_t sliceStart = file.size();
    const std::int64_t sliceFirst = std::int64_t{from_} + done_;
    // Every write but a slice's last ends on a WriteBoundary of the file; the bytes after
    // it are carried over and written first with the next piece, which the other buffer
    // takes (both stay the same within a slice, whose suffix does not change).
    std::string_view carried;
    std::int64_t formatted = 0;
    platform::FileStatus status;
    QElapsedTimer clock;
    clock.start();
    for (bool last = false, second = false; !last; second = !second) {
        PieceFormatter& pieces = pieces_[second ? 1 : 0];
        const FormattedSlice piece =
            pieces.format(sliceFirst + formatted, total_ - done_ - formatted, suffixView);
        formatted += piece.count;
        last = done_ + formatted == total_ || clock.nsecsElapsed() >= SliceNanoseconds;
        const std::size_t bytes = carried.size() + piece.bytes;
        const std::size_t kept =
            last ? 0
                 : std::min(bytes,
                            static_cast<std::size_t>(
                                (file.size() + static_cast<std::int64_t>(bytes)) % WriteBoundary));
        // The bytes kept back must lie in this buffer, as the other one takes the next
        // piece. Where a write of two parts is two calls of the system's (Windows), the
        // carried bytes go in front of this piece, so that one call writes them all.
        std::size_t lead = 0;
        if (!carried.empty() && (kept > piece.bytes || !OutputFile::GathersParts)) {
            lead = carried.size();
            std::memcpy(pieces.data() - lead, carried.data(), lead);
            carried = {};
        }
        status =
            file.write(carried, std::string_view(pieces.data() - lead, lead + piece.bytes - kept));
        if (!status)
            break;
        carried = std::string_view(pieces.data() + piece.bytes - kept, kept);
    }
    if (status) {
        written = formatted;
        return End::Completed;
    }
    // The addresses that reached the file whole stay and count; a cut one is taken back,
    // or else the whole slice.
    const auto reached = static_cast<std::size_t>(file.size() - sliceStart);
    const WholeLines kept = CountWholeAddresses(sliceFirst, suffixView.size(), reached);
    if (file.cutBack(sliceStart + static_cast<std::int64_t>(kept.bytes))) {
        written = kept.count;
        return {End::FileFailed, status};
    }
    if (const platform::FileStatus cut = file.cutBack(sliceStart); !cut)
        return {End::FileFailed, cut, true};
    written = 0;
    return {End::FileFailed, status};
}
