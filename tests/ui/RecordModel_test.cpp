#include "ui/RecordModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string cell(const RecordModel& model, int row, int column) {
    char buffer[RecordModel::CellCapacity];
    const int length = model.formatCell(row, column, buffer);
    return std::string(buffer, static_cast<std::size_t>(length));
}

} // namespace

// A list filled from `from` by appends of so many addresses in a suffix, and what its
// cells show: the text drawn (cut to a cell) and the text read (whole), both empty where
// the grid has no cell.
TEST(RecordModel, CellsHoldTheAppendedAddressesFourToARow) {
    struct Append {
        std::int64_t count;
        QByteArray suffix;
        std::size_t stretches; // after it: a new suffix starts one, the same extends it
    };
    struct Cell {
        int row, column;
        std::string text; // empty: no cell
    };
    const std::int64_t Min = -2147483648LL;
    const struct {
        const char* name;
        std::int64_t from;
        std::vector<Append> appends;
        std::int64_t count;
        int rows;
        std::vector<Cell> cells; // beside the first (up to twelve) of a single append
    } rows[] = {
        {"three addresses fill three cells of one row", 7, {{3, "S", 1}}, 3, 1, {{0, 3, ""}}},
        {"one number", 42, {{1, "example.com", 1}}, 1, 1, {{0, 1, ""}, {1, 0, ""}}},
        {"nine addresses fill rows of four, four and one", 1, {{9, "m.cn", 1}}, 9, 3, {{2, 1, ""}}},
        {"cells outside the grid are empty",
         0,
         {{100, "x", 1}},
         100,
         25,
         {{-1, 0, ""}, {0, -1, ""}, {0, 4, ""}, {25, 0, ""}, {24, 3, "99@x"}}},
        {"negative numbers carry a minus sign", -2, {{4, "n", 1}}, 4, 1, {}},
        {"the full 32-bit range",
         Min,
         {{4294967296LL, "x", 1}},
         4294967296LL,
         1073741824,
         {{536870912, 0, "0@x"}, {1073741823, 3, "2147483647@x"}, {1073741824, 0, ""}}},
        {"a count one short of a row leaves the last cell empty",
         Min,
         {{4294967295LL, "x", 1}},
         4294967295LL,
         1073741824,
         {{1073741823, 2, "2147483646@x"}, {1073741823, 3, ""}}},
        // Returning to an earlier suffix is a change too.
        {"a suffix change starts a stretch and keeps earlier cells",
         100,
         {{3, "old.org", 1}, {2, "old.org", 1}, {4, "new.org", 2}, {1, "old.org", 3}},
         10,
         3,
         {{0, 0, "100@old.org"},
          {1, 0, "104@old.org"},
          {1, 1, "105@new.org"},
          {2, 0, "108@new.org"},
          {2, 1, "109@old.org"}}},
        {"nothing is added for an empty append",
         5,
         {{0, "a", 0}, {-3, "b", 0}},
         0,
         0,
         {{0, 0, ""}}},
        {"empty and unusual suffixes are taken as they are",
         1,
         {{1, "", 1}, {1, "@two", 2}, {1, "\xe9\x82\xae\xe4\xbb\xb6.cn", 3}},
         3,
         1,
         {{0, 0, "1@"}, {0, 1, "2@@two"}, {0, 2, "3@\xe9\x82\xae\xe4\xbb\xb6.cn"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordModel model;
        model.reset(row.from);
        for (const Append& append : row.appends) {
            model.append(append.count, append.suffix);
            EXPECT_EQ(model.stretchCount(), append.stretches) << append.count;
        }
        EXPECT_EQ(model.count(), row.count);
        EXPECT_EQ(model.rowCount(), row.rows);
        std::vector<Cell> cells = row.cells;
        for (std::int64_t k = 0;
             row.appends.size() == 1 && k < std::min<std::int64_t>(row.count, 12); ++k)
            cells.push_back(
                {static_cast<int>(k / 4), static_cast<int>(k % 4),
                 std::to_string(row.from + k) + "@" + row.appends[0].suffix.toStdString()});
        for (const Cell& c : cells) {
            SCOPED_TRACE(std::to_string(c.row) + "," + std::to_string(c.column));
            EXPECT_EQ(cell(model, c.row, c.column), c.text);
            EXPECT_EQ(model.cellText(c.row, c.column), QString::fromStdString(c.text));
            EXPECT_EQ(model.hasCell(c.row, c.column), !c.text.empty());
        }
    }
}

TEST(RecordModel, MemoryFollowsSuffixChangesNotAddresses) {
    RecordModel model;
    model.reset(0);
    for (int slice = 0; slice < 100000; ++slice)
        model.append(40000, "same.net");
    EXPECT_EQ(model.count(), 4000000000LL);
    EXPECT_EQ(model.stretchCount(), 1u);
    EXPECT_EQ(cell(model, 999999999, 3), "3999999999@same.net");
}

TEST(RecordModel, ALongSuffixIsCutWithoutSplittingACharacter) {
    // "-2147483648@" is 12 bytes; the cell holds CellCapacity bytes in all. A three- or
    // four-byte character straddles the end with 1 to 3 of its bytes inside.
    for (const QByteArray character : {"\xe4\xbb\xb6", "\xf0\x9f\x98\x80", "\xf0\xa0\x80\x80"}) {
        for (int inside = 1; inside < character.size(); ++inside) {
            SCOPED_TRACE(character.toHex().toStdString() + " " + std::to_string(inside));
            const QByteArray suffix =
                QByteArray(RecordModel::CellCapacity - 12 - inside, 'a') + character;
            RecordModel model;
            model.reset(-2147483648LL);
            model.append(2, suffix);
            char buffer[RecordModel::CellCapacity];
            const int length = model.formatCell(0, 0, buffer);
            EXPECT_EQ(length, RecordModel::CellCapacity - inside);
            EXPECT_EQ(std::string(buffer, 12), "-2147483648@");
            EXPECT_EQ(buffer[length - 1], 'a');
            // The cell's text (what assistive tools read) is whole, as in the file.
            EXPECT_EQ(model.cellText(0, 1),
                      QStringLiteral("-2147483647@") + QString::fromUtf8(suffix));
            // A shorter number leaves room for the whole character.
            RecordModel small;
            small.reset(1);
            small.append(1, suffix);
            EXPECT_EQ(small.formatCell(0, 0, buffer), 2 + suffix.size());
            EXPECT_TRUE(small.cellText(0, 0).endsWith(QString::fromUtf8(character)));
        }
    }
}

TEST(RecordModel, ResetEmptiesTheListAndStartsAtTheNewFrom) {
    RecordModel model;
    model.reset(1);
    model.append(10, "a");
    model.append(3, "b");
    const auto resets = model.resetCount();
    model.reset(-5);
    EXPECT_EQ(model.count(), 0);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.from(), -5);
    EXPECT_EQ(model.stretchCount(), 0u);
    EXPECT_FALSE(model.hasCell(0, 0));
    EXPECT_EQ(model.resetCount(), resets + 1);
    model.append(1, "c");
    EXPECT_EQ(cell(model, 0, 0), "-5@c");
    model.clear();
    EXPECT_EQ(model.from(), 0);
    EXPECT_EQ(model.count(), 0);
}
