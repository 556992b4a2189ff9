#include "ui/RecordModel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

std::string cell(const RecordModel& model, int row, int column) {
    char buffer[RecordModel::CellCapacity];
    const int length = model.formatCell(row, column, buffer);
    return std::string(buffer, static_cast<std::size_t>(length));
}

RecordModel run(std::int64_t from, std::int64_t to, const QByteArray& suffix) {
    RecordModel model;
    model.reset(from);
    model.append(to - from + 1, suffix);
    return model;
}

} // namespace

TEST(RecordModel, ThreeAddressesFillThreeCellsOfOneRow) {
    const RecordModel model = run(7, 9, "S");
    EXPECT_EQ(model.count(), 3);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(cell(model, 0, 0), "7@S");
    EXPECT_EQ(cell(model, 0, 1), "8@S");
    EXPECT_EQ(cell(model, 0, 2), "9@S");
    EXPECT_TRUE(model.hasCell(0, 2));
    EXPECT_FALSE(model.hasCell(0, 3));
    EXPECT_EQ(cell(model, 0, 3), "");
    EXPECT_EQ(model.cellText(0, 1), QStringLiteral("8@S"));
    EXPECT_TRUE(model.cellText(0, 3).isEmpty());
}

TEST(RecordModel, OneNumberGivesOneRowWithOneCell) {
    const RecordModel model = run(42, 42, "example.com");
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(cell(model, 0, 0), "42@example.com");
    EXPECT_FALSE(model.hasCell(0, 1));
    EXPECT_FALSE(model.hasCell(1, 0));
}

TEST(RecordModel, NineAddressesFillRowsOfFourFourAndOne) {
    const RecordModel model = run(1, 9, "m.cn");
    ASSERT_EQ(model.rowCount(), 3);
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(cell(model, k / 4, k % 4), std::to_string(k + 1) + "@m.cn") << k;
    EXPECT_TRUE(model.hasCell(2, 0));
    EXPECT_FALSE(model.hasCell(2, 1));
}

TEST(RecordModel, CellsOutsideTheGridAreEmpty) {
    const RecordModel model = run(0, 99, "x");
    for (auto [row, column] : {std::pair{-1, 0}, {0, -1}, {0, 4}, {25, 0}})
        EXPECT_FALSE(model.hasCell(row, column)) << row << "," << column;
    EXPECT_EQ(cell(model, 0, 4), "");
    EXPECT_EQ(cell(model, 24, 3), "99@x");
}

TEST(RecordModel, NegativeNumbersCarryAMinusSign) {
    const RecordModel model = run(-2, 1, "n");
    EXPECT_EQ(cell(model, 0, 0), "-2@n");
    EXPECT_EQ(cell(model, 0, 1), "-1@n");
    EXPECT_EQ(cell(model, 0, 2), "0@n");
    EXPECT_EQ(cell(model, 0, 3), "1@n");
}

TEST(RecordModel, FullThirtyTwoBitRange) {
    RecordModel model;
    model.reset(-2147483648LL);
    model.append(4294967296LL, "x");
    EXPECT_EQ(model.count(), 4294967296LL);
    EXPECT_EQ(model.rowCount(), 1073741824);
    EXPECT_EQ(cell(model, 0, 0), "-2147483648@x");
    EXPECT_EQ(cell(model, 536870912, 0), "0@x");
    EXPECT_EQ(cell(model, 1073741823, 3), "2147483647@x");
    EXPECT_FALSE(model.hasCell(1073741824, 0));
    EXPECT_EQ(model.stretchCount(), 1u);
}

TEST(RecordModel, ACountOneShortOfARowLeavesTheLastCellEmpty) {
    RecordModel model;
    model.reset(-2147483648LL);
    model.append(4294967295LL, "x");
    EXPECT_EQ(model.rowCount(), 1073741824);
    EXPECT_EQ(cell(model, 1073741823, 2), "2147483646@x");
    EXPECT_FALSE(model.hasCell(1073741823, 3));
}

TEST(RecordModel, ASuffixChangeStartsAStretchAndKeepsEarlierCells) {
    RecordModel model;
    model.reset(100);
    model.append(3, "old.org");
    model.append(2, "old.org");
    EXPECT_EQ(model.stretchCount(), 1u) << "the same suffix extends its stretch";
    model.append(4, "new.org");
    EXPECT_EQ(model.stretchCount(), 2u);
    model.append(1, "old.org");
    EXPECT_EQ(model.stretchCount(), 3u) << "returning to an earlier suffix is a change too";
    EXPECT_EQ(model.count(), 10);

    EXPECT_EQ(cell(model, 0, 0), "100@old.org");
    EXPECT_EQ(cell(model, 1, 0), "104@old.org");
    EXPECT_EQ(cell(model, 1, 1), "105@new.org");
    EXPECT_EQ(cell(model, 2, 0), "108@new.org");
    EXPECT_EQ(cell(model, 2, 1), "109@old.org");
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

TEST(RecordModel, NothingIsAddedForAnEmptyAppend) {
    RecordModel model;
    model.reset(5);
    model.append(0, "a");
    model.append(-3, "b");
    EXPECT_EQ(model.count(), 0);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.stretchCount(), 0u);
    EXPECT_FALSE(model.hasCell(0, 0));
}

TEST(RecordModel, EmptyAndUnusualSuffixesAreTakenAsTheyAre) {
    RecordModel model;
    model.reset(1);
    model.append(1, "");
    model.append(1, "@two");
    model.append(1, QByteArray("\xe9\x82\xae\xe4\xbb\xb6.cn"));
    EXPECT_EQ(cell(model, 0, 0), "1@");
    EXPECT_EQ(cell(model, 0, 1), "2@@two");
    EXPECT_EQ(model.cellText(0, 2), QString::fromUtf8("3@\u90ae\u4ef6.cn"));
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
    RecordModel model = run(1, 10, "a");
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
