#include "ui/RecordModel.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

// Length of the longest prefix of text[0, length) that does not end inside a UTF-8
// sequence, so that a cut suffix still decodes cleanly.
int utf8Prefix(const char* text, int length) {
    int end = length;
    int back = 0;
    // Walk back over continuation bytes (10xxxxxx) to the lead byte of the last sequence.
    while (end - back > 0 && back < 4 &&
           (static_cast<unsigned char>(text[end - back - 1]) & 0xC0) == 0x80)
        ++back;
    if (end - back == 0)
        return length;
    const auto lead = static_cast<unsigned char>(text[end - back - 1]);
    int needed = 1;
    if ((lead & 0xE0) == 0xC0)
        needed = 2;
    else if ((lead & 0xF0) == 0xE0)
        needed = 3;
    else if ((lead & 0xF8) == 0xF0)
        needed = 4;
    if (needed == back + 1)
        return length; // the last sequence is complete
    if (needed > back + 1)
        return end - back - 1; // drop the incomplete last sequence
    return length;             // not well-formed anyway; leave the bytes as they are
}

} // namespace

void RecordModel::reset(std::int64_t from) {
    from_ = from;
    ++resets_;
    count_ = 0;
    stretches_.clear();
    stretches_.shrink_to_fit();
}

void RecordModel::append(std::int64_t count, const QByteArray& suffix) {
    if (count <= 0)
        return;
    if (stretches_.empty() || stretches_.back().suffix != suffix)
        stretches_.push_back(Stretch{count_, suffix});
    count_ += count;
}

bool RecordModel::hasCell(int row, int column) const {
    if (row < 0 || column < 0 || column >= Columns)
        return false;
    return static_cast<std::int64_t>(row) * Columns + column < count_;
}

const QByteArray& RecordModel::suffixOf(std::int64_t index) const {
    static const QByteArray none;
    // The last stretch whose first index is not after index.
    auto next = std::upper_bound(
        stretches_.begin(), stretches_.end(), index,
        [](std::int64_t k, const Stretch& stretch) { return k < stretch.firstIndex; });
    if (next == stretches_.begin())
        return none;
    return std::prev(next)->suffix;
}

int RecordModel::formatCell(int row, int column, char* out) const {
    if (!hasCell(row, column))
        return 0;
    const std::int64_t index = static_cast<std::int64_t>(row) * Columns + column;
    // From + index stays far inside 64 bits: From is a 32-bit number and index < 2^34.
    const auto [end, error] = std::to_chars(out, out + CellCapacity, from_ + index);
    if (error != std::errc())
        return 0;
    int length = static_cast<int>(end - out);
    out[length++] = '@';
    const QByteArray& suffix = suffixOf(index);
    const int room = CellCapacity - length;
    if (suffix.size() <= room) {
        std::memcpy(out + length, suffix.constData(), static_cast<std::size_t>(suffix.size()));
        length += static_cast<int>(suffix.size());
    } else {
        const int kept = utf8Prefix(suffix.constData(), room);
        std::memcpy(out + length, suffix.constData(), static_cast<std::size_t>(kept));
        length += kept;
    }
    return length;
}

QString RecordModel::cellText(int row, int column) const {
    if (!hasCell(row, column))
        return {};
    // Whole, however long the suffix: the text the file holds for this cell.
    const std::int64_t index = static_cast<std::int64_t>(row) * Columns + column;
    return QString::number(from_ + index) + QLatin1Char('@') + QString::fromUtf8(suffixOf(index));
}
