#include "profile/ProfileEdit.h"

#include "profile/ProfileText.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace profile {

using platform::FileFailure;
using platform::FileStatus;

QByteArray Edit::applyTo(QByteArrayView old) const {
    QByteArray out;
    out.reserve(old.size() - removed + inserted.size());
    out.append(old.first(at)).append(inserted).append(old.sliced(at + removed));
    return out;
}

namespace {

bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

bool allBlank(QByteArrayView text) {
    return std::all_of(text.begin(), text.end(), isBlank);
}

// A writable file in a folder the user may not write to is changed in place. Every
// write below either changes nothing that a reader sees, or is one byte, or lies
// within one page of the page cache (a write that a kill does not cut), so that the
// file reads as the old or the new content after each of them; the one write that
// turns old into new is called the commit below. Blank lines are skipped by every
// reader, a line whose first character is ';' is a comment that section reads leave
// out, and an empty key right after another is no entry: these make room for the
// steps. Nothing is written past the end of the file but whole lines of the new
// content and blanks, and the space is reserved first without changing the size
// (FALLOC_FL_KEEP_SIZE on Linux), so a kill never leaves zeros behind.
// A step that fails has the steps before it undone in reverse order, each putting back
// what it overwrote (a write past the old end is first blanked, then cut off), so the
// file goes back through the same states to the old one before the failure is told.

constexpr qsizetype PageSize = 4096;

struct Line {
    qsizetype first = 0;      // its first non-blank byte
    qsizetype contentEnd = 0; // before its line break
};

// The non-blank lines of text, with offsets from base.
std::vector<Line> linesOf(QByteArrayView text, qsizetype base) {
    std::vector<Line> lines;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = pos;
        while (end < text.size() && !isLineEnd(text[end]))
            ++end;
        qsizetype first = pos;
        while (first < end && isBlank(text[first]))
            ++first;
        if (first < end)
            lines.push_back({base + first, base + end});
        pos = end + ((end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

class InPlace {
public:
    InPlace(InPlaceFile& file, QByteArrayView old, QByteArrayView data)
        : file_(file), old_(old), data_(data) {}

    FileStatus apply(const Edit& edit) {
        FileStatus status;
        if (edit.inserted.isEmpty() && isRemovalOfHiddenKeys(edit))
            status = removeLines(edit);
        else if (edit.removed == 0 && isInsertionAtTheEnd(edit))
            status = appendLines(edit);
        else
            status = rewritePage(edit);
        if (status)
            status = file_.finish();
        if (!status)
            undo();
        return status;
    }

private:
    // A key's line and the empty keys it hid ('=' first), as deleting a key removes.
    bool isRemovalOfHiddenKeys(const Edit& edit) const {
        const auto lines = linesOf(old_.sliced(edit.at, edit.removed), edit.at);
        return !lines.empty() && std::all_of(lines.begin() + 1, lines.end(),
                                             [&](const Line& l) { return old_[l.first] == '='; });
    }

    // Whole lines after nothing but blanks, each but the last a section header, as a
    // new key (perhaps with its new section) at the end of the file.
    bool isInsertionAtTheEnd(const Edit& edit) const {
        const QByteArrayView lines(edit.inserted);
        if (lines.isEmpty() || !allBlank(old_.sliced(edit.at)) || !isLineEnd(lines.back()))
            return false;
        const auto found = linesOf(lines, 0);
        return !found.empty() && std::all_of(found.begin(), found.end() - 1,
                                             [&](const Line& l) { return lines[l.first] == '['; });
    }

    // Deleting: the hidden empty keys become blank lines, each still an empty key until
    // its '=' goes last; the key's line becomes a comment with one byte (the commit),
    // then blanks. Where only blanks follow, the file is cut to the new length after a
    // sync; elsewhere the blank line stays. (While the line is a comment, an empty key
    // right after it counts as an entry even where the new file hides it behind an
    // empty key before; an empty key is no suffix, so the suffix list reads as the new
    // one all along.)
    FileStatus removeLines(const Edit& edit) {
        const auto lines = linesOf(old_.sliced(edit.at, edit.removed), edit.at);
        const qsizetype end = edit.at + edit.removed;
        FileStatus status;
        for (auto line = lines.rbegin(); status && line + 1 != lines.rend(); ++line)
            status = blank(*line);
        if (status)
            status = writeAt(lines.front().first, ";");
        if (status)
            status = blank(lines.front());
        if (status && allBlank(old_.sliced(end))) {
            status = writeAt(edit.at, old_.sliced(end)); // blanks over blanks
            if (status)
                status = syncThenTruncate(data_.size());
        }
        return status ? sync() : status;
    }

    // Adding: the new lines go after the end of the file as comments (';' in place of
    // each line's first character), then each line turns into itself with one byte,
    // the section's header before its key (the commit). Blanks at the old end stay
    // before them.
    FileStatus appendLines(const Edit& edit) {
        const qsizetype end = old_.size();
        const auto lines = linesOf(edit.inserted, 0);
        QByteArray commented = edit.inserted;
        for (const Line& line : lines)
            commented[line.first] = ';';
        FileStatus status = writeAt(end, commented);
        for (auto line = lines.begin(); status && line != lines.end(); ++line)
            status = writeAt(end + line->first, edit.inserted.sliced(line->first, 1));
        return status ? sync() : status;
    }

    // Any other change, when everything from its start to the end of the file lies in
    // one page: one write (a shorter file is padded with blanks, cut after a sync).
    FileStatus rewritePage(const Edit& edit) {
        const qsizetype end = std::max(old_.size(), data_.size());
        if (edit.at / PageSize != (end - 1) / PageSize)
            return {FileFailure::NoSafeRewrite, EFBIG};
        QByteArray bytes = data_.sliced(edit.at).toByteArray();
        bytes.append(QByteArray(end - data_.size(), ' '));
        const FileStatus status = writeAt(edit.at, bytes);
        if (!status)
            return status;
        return end > data_.size() ? syncThenTruncate(data_.size()) : sync();
    }

    // A line becomes blanks: all but its first character, then that one.
    FileStatus blank(const Line& line) {
        const FileStatus status =
            writeAt(line.first + 1, QByteArray(line.contentEnd - line.first - 1, ' '));
        return status ? writeAt(line.first, " ") : status;
    }

    // A write or a cut, noted with what it overwrote or cut off (a failed one too: it
    // may have landed in part).
    FileStatus writeAt(qsizetype at, QByteArrayView bytes) {
        const qsizetype end = at + bytes.size();
        done_.push_back({at, now_.mid(at, bytes.size()), now_.size(), end, false});
        now_.resize(std::max(now_.size(), end));
        now_.replace(at, bytes.size(), bytes.toByteArray());
        return file_.writeAt(at, bytes);
    }

    FileStatus truncate(qsizetype size) {
        done_.push_back({size, now_.sliced(size), now_.size(), now_.size(), true});
        now_.truncate(size);
        return file_.truncate(size);
    }

    FileStatus sync() { return file_.sync(); }

    FileStatus syncThenTruncate(qsizetype size, bool noted = true) {
        FileStatus status = sync();
        if (!status)
            return status;
        return noted ? truncate(size) : file_.truncate(size);
    }

    // Puts back, newest first, what the steps overwrote or cut off; stops at a failure.
    void undo() {
        FileStatus status;
        for (auto step = done_.rbegin(); status && step != done_.rend(); ++step) {
            const qsizetype grown = step->cut ? 0 : std::max<qsizetype>(0, step->end - step->size);
            // What it wrote past the old end is blanked (where it overwrote more too), then
            // cut off after a sync.
            if (grown == 0 || step->at < step->size)
                status = file_.writeAt(step->at, step->before + QByteArray(grown, ' '));
            if (status && grown > 0)
                status = syncThenTruncate(step->size, false);
        }
        if (status && !done_.empty())
            file_.sync();
    }

    struct Step {
        qsizetype at = 0;
        QByteArray before;  // the bytes it overwrote (those up to the old end) or cut off
        qsizetype size = 0; // the file's size before it
        qsizetype end = 0;  // the end of what it wrote
        bool cut = false;
    };

    InPlaceFile& file_;
    QByteArrayView old_;
    QByteArrayView data_;
    QByteArray now_{old_.toByteArray()}; // the file as the steps so far leave it
    std::vector<Step> done_;
};

} // namespace

FileStatus changeInPlace(InPlaceFile& file, QByteArrayView old, QByteArrayView data,
                         const Edit& edit) {
    return InPlace(file, old, data).apply(edit);
}

} // namespace profile
