#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// The addresses of the current run, four to a row, without storing any of them.
// The model knows From, the number of addresses and the suffix of each stretch of
// addresses; cell k (row k / 4, column k % 4) is computed on demand as
// decimal(From + k) + "@" + the suffix in force for k.
class RecordModel {
public:
    static constexpr int Columns = 4;

    // Empties the list and starts a new run at from.
    void reset(std::int64_t from);
    void clear() { reset(0); }

    // Extends the list by count addresses that all end in suffix (UTF-8). A suffix
    // equal to the last stretch's extends that stretch.
    void append(std::int64_t count, const QByteArray& suffix);

    std::int64_t count() const { return count_; }
    std::int64_t from() const { return from_; }
    // (count + 3) / 4; at most 2^30 for the largest range, so it fits an int.
    int rowCount() const { return static_cast<int>((count_ + Columns - 1) / Columns); }

    bool hasCell(int row, int column) const;
    // Formats cell (row, column) as UTF-8 into out (no NUL) for painting; returns its
    // length, or 0 for an empty cell. out must hold CellCapacity bytes at least; a longer
    // suffix is cut there (far wider than a column, which elides it anyway).
    static constexpr int CellCapacity = 1024;
    int formatCell(int row, int column, char* out) const;
    // The cell's whole text, as the file holds it (empty for an empty cell).
    QString cellText(int row, int column) const;

    // Number of stretches (for tests: suffix changes are recorded, not addresses).
    std::size_t stretchCount() const { return stretches_.size(); }
    // Counts the resets, so that a view can tell a list that was emptied and grew
    // again from one that only grew.
    std::uint64_t resetCount() const { return resets_; }

private:
    struct Stretch {
        std::int64_t firstIndex;
        QByteArray suffix;
    };
    const QByteArray& suffixOf(std::int64_t index) const;

    std::int64_t from_ = 0;
    std::int64_t count_ = 0;
    std::vector<Stretch> stretches_;
    std::uint64_t resets_ = 0;
};
