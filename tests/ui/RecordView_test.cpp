#include "support/TestSupport.h"
#include "ui/RecordModel.h"
#include "ui/RecordView.h"
#include "ui/RecordViewAccessible.h"

#include <QAccessible>
#include <QImage>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr std::int64_t Billion = 1000000000;

// A shown view of 480 x 320 pixels with four columns of 120 pixels.
struct ShownView {
    RecordModel model;
    std::unique_ptr<RecordView> view = std::make_unique<RecordView>();

    explicit ShownView(std::int64_t from = 0, std::int64_t count = 0, QByteArray suffix = "x") {
        model.reset(from);
        model.append(count, suffix);
        view->resize(480, 320);
        for (int c = 0; c < 4; ++c)
            view->addColumn(QString(), QString(), 1800.0f);
        view->setModel(&model);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    QScrollBar* vertical() const { return view->verticalScrollBar(); }

    // The viewport as painted now; the paint runs inside.
    QImage paintViewport() const { return view->viewport()->grab().toImage(); }
};

// Number of pixels in rect whose colour is not the background's.
int inkIn(const QImage& image, const QRect& rect, QRgb background) {
    int ink = 0;
    const QRect area = rect & image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ink += image.pixel(x, y) != background ? 1 : 0;
    return ink;
}

// Records the paints of a widget and the region each one covered.
class PaintWatcher : public QObject {
public:
    explicit PaintWatcher(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;
    QRect lastRect;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            lastRect = static_cast<QPaintEvent*>(event)->rect();
        }
        return false;
    }
};

// A paint device that keeps the text drawn on it, run after run, and draws nothing else.
// It measures as the widget it stands in for.
class DrawnText : public QPaintDevice, QPaintEngine {
public:
    explicit DrawnText(const QWidget& widget) : QPaintEngine(AllFeatures), widget_(widget) {}
    QString text;
    QPaintEngine* paintEngine() const override { return const_cast<DrawnText*>(this); }
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawTextItem(const QPointF&, const QTextItem& item) override { text += item.text(); }
    Type type() const override { return User; }

protected:
    int metric(PaintDeviceMetric metric) const override {
        struct Measures : QWidget {
            using QWidget::metric;
        };
        return (widget_.*&Measures::metric)(metric);
    }

private:
    const QWidget& widget_;
};

} // namespace

TEST(RecordView, ColumnsComeInLayoutUnitsCutToWholePixels) {
    RecordView view;
    view.resize(522, 144); // 7830 x 2160 units, as in the main window
    EXPECT_FLOAT_EQ(view.widthUnits(), 7830.0f);
    view.addColumn(QStringLiteral("stale"), QStringLiteral("Stale"), 100.0f);
    EXPECT_EQ(view.columnKey(0), QStringLiteral("stale"));
    EXPECT_EQ(view.columnHeader(0), QStringLiteral("Stale"));
    view.clearColumns();
    EXPECT_EQ(view.columnCount(), 0);
    EXPECT_EQ(view.columnLeft(4), 0);
    for (const float units : {1957.5f, 1957.5f, 1957.5f, 1917.5f})
        view.addColumn(QString(), QString(), units);
    ASSERT_EQ(view.columnCount(), 4);
    // 15 units to a pixel, each column cut down to whole pixels.
    EXPECT_EQ(view.columnLeft(1), 130); // 1957.5 units = 130.5 px
    EXPECT_EQ(view.columnLeft(2), 260);
    EXPECT_EQ(view.columnLeft(3), 390);
    EXPECT_EQ(view.columnLeft(4), 517); // + 1917.5 units = 127.83 px
    EXPECT_EQ(view.columnWidthUnits(4), 0.0f);
    // A column of a negative width keeps its width in units; it shows as none.
    view.addColumn(QString(), QString(), -6.25f);
    EXPECT_EQ(view.columnWidthUnits(4), -6.25f);
    EXPECT_EQ(view.columnLeft(5), view.columnLeft(4));
}

TEST(RecordView, ScrollRangeCoversABillionAddresses) {
    ShownView shown(1, Billion);
    RecordView& view = *shown.view;
    const int rows = shown.model.rowCount();
    ASSERT_EQ(rows, 250000000);
    const int page = view.visibleRowCount();
    EXPECT_EQ(page, view.viewport()->height() / view.rowHeight());
    EXPECT_GT(page, 5);
    EXPECT_EQ(shown.vertical()->minimum(), 0);
    EXPECT_EQ(shown.vertical()->maximum(), rows - page);
    EXPECT_EQ(shown.vertical()->pageStep(), page);

    shown.vertical()->setValue(shown.vertical()->maximum());
    EXPECT_EQ(view.firstVisibleRow(), rows - page);
    EXPECT_FALSE(view.cellRect(rows - 1, 3).isEmpty()) << "the last row is in view";
    EXPECT_LE(view.cellRect(rows - 1, 3).bottom(), view.viewport()->height() - 1);
    EXPECT_TRUE(view.cellRect(rows - page - 1, 0).isEmpty());
    EXPECT_EQ(view.rowAt(view.cellRect(rows - 1, 2).center().y()), rows - 1);
    EXPECT_EQ(view.columnAt(view.cellRect(rows - 1, 2).center().x()), 2);
}

TEST(RecordView, TheFullRangeFitsTheScrollBar) {
    ShownView shown(-2147483648LL, 4294967296LL);
    EXPECT_EQ(shown.vertical()->maximum(), 1073741824 - shown.view->visibleRowCount());
    shown.vertical()->setValue(shown.vertical()->maximum());
    EXPECT_EQ(shown.view->firstVisibleRow(), 1073741824 - shown.view->visibleRowCount());
}

TEST(RecordView, PaintFormatsOnlyTheRowsInView) {
    ShownView shown(1, Billion + 1); // the last row holds one address
    RecordView& view = *shown.view;
    const int rows = shown.model.rowCount();
    const int rowsInView = (view.viewport()->height() + view.rowHeight() - 1) / view.rowHeight();

    shown.paintViewport();
    EXPECT_EQ(view.lastPaintCellCount(), rowsInView * 4);

    for (const int first : {rows / 2, shown.vertical()->maximum()}) {
        shown.vertical()->setValue(first);
        shown.paintViewport();
        EXPECT_GT(view.lastPaintCellCount(), 0);
        EXPECT_LE(view.lastPaintCellCount(), rowsInView * 4) << first;
    }
    // At the end the rows below the last one are not formatted.
    EXPECT_EQ(view.lastPaintCellCount(), (rows - view.firstVisibleRow()) * 4);
}

TEST(RecordView, TheLastRowIsPaintedInTheTextColourOnTheBackground) {
    ShownView shown(1, Billion + 1);
    RecordView& view = *shown.view;
    QPalette palette = view.palette();
    palette.setColor(QPalette::Base, QColor(0, 255, 0));
    palette.setColor(QPalette::Text, QColor(255, 0, 0));
    view.setPalette(palette);
    shown.vertical()->setValue(shown.vertical()->maximum());
    const int last = shown.model.rowCount() - 1;

    const QImage image = shown.paintViewport();
    const QRgb green = qRgb(0, 255, 0);
    const QRect filled = view.cellRect(last, 0);
    const QRect empty = view.cellRect(last, 1);
    ASSERT_FALSE(filled.isEmpty());
    ASSERT_FALSE(empty.isEmpty());
    EXPECT_GT(inkIn(image, filled, green), 10) << "1000000001@x is drawn";
    EXPECT_EQ(inkIn(image, empty, green), 0) << "an empty cell stays background";
    EXPECT_GT(inkIn(image, view.cellRect(last - 1, 3), green), 10);
    // The text is red, not some other colour.
    bool red = false;
    for (int y = filled.top(); y <= filled.bottom() && !red; ++y)
        for (int x = filled.left(); x <= filled.right() && !red; ++x)
            red = qRed(image.pixel(x, y)) > 200 && qGreen(image.pixel(x, y)) < 60;
    EXPECT_TRUE(red);
    // Below the last row there is only background.
    const QRect below(0, filled.bottom() + 1, image.width(), image.height() - filled.bottom() - 1);
    EXPECT_EQ(inkIn(image, below, green), 0);
}

TEST(RecordView, CellsShowTheirSuffixesInTheirOwnLetters) {
    ShownView shown(1, 1, "\u90ae\u4ef6.cn"); // UTF-8, as the model holds suffixes
    shown.model.append(1, "b\u00fccher.de");
    shown.view->modelChanged();
    DrawnText drawn(*shown.view->viewport());
    shown.view->viewport()->render(&drawn);
    EXPECT_EQ(drawn.text, QString::fromUtf8("1@\u90ae\u4ef6.cn2@b\u00fccher.de"));
}

TEST(RecordView, ModelChangesMoveTheScrollRangeAndAResetReturnsToTheTop) {
    ShownView shown(0, 0);
    RecordView& view = *shown.view;
    EXPECT_EQ(shown.vertical()->maximum(), 0);
    shown.paintViewport();
    EXPECT_EQ(view.lastPaintCellCount(), 0);

    const int page = view.visibleRowCount();
    shown.model.append(4 * (page + 10) - 2, "a");
    view.modelChanged();
    EXPECT_EQ(shown.vertical()->maximum(), 10);
    shown.vertical()->setValue(10);

    shown.model.append(2, "b");
    view.modelChanged();
    EXPECT_EQ(shown.vertical()->maximum(), 10);
    EXPECT_EQ(view.firstVisibleRow(), 10) << "growth does not move the rows in view";

    shown.model.reset(5);
    view.modelChanged();
    EXPECT_EQ(shown.vertical()->maximum(), 0);
    EXPECT_EQ(view.firstVisibleRow(), 0);
    shown.paintViewport();
    EXPECT_EQ(view.lastPaintCellCount(), 0);
    EXPECT_EQ(view.rowAt(1), -1);

    view.setModel(nullptr);
    shown.paintViewport();
    EXPECT_EQ(view.lastPaintCellCount(), 0);
}

TEST(RecordView, GrowthRepaintsOnlyWhenItReachesTheRowsInView) {
    ShownView shown(1, 8);
    RecordView& view = *shown.view;
    PaintWatcher watcher(view.viewport());
    // Paints the viewport's top-left pixel and waits for it: a pending repaint of the
    // whole viewport would be merged into the same paint.
    const auto settle = [&] {
        const int before = watcher.paints;
        view.viewport()->update(QRect(0, 0, 1, 1));
        return testsupport::waitUntil([&] { return watcher.paints > before; });
    };
    ASSERT_TRUE(settle());

    shown.model.append(4 * view.visibleRowCount(), "x"); // fills the rows in view
    view.modelChanged();
    ASSERT_TRUE(settle());
    EXPECT_EQ(watcher.lastRect, view.viewport()->rect());

    shown.model.append(4000, "x"); // all below the rows in view
    view.modelChanged();
    ASSERT_TRUE(settle());
    EXPECT_EQ(watcher.lastRect, QRect(0, 0, 1, 1));
    EXPECT_EQ(shown.vertical()->maximum(), shown.model.rowCount() - view.visibleRowCount());

    shown.vertical()->setValue(shown.vertical()->maximum());
    ASSERT_TRUE(settle());
    shown.model.append(1, "x"); // a new last row, in view at the end
    view.modelChanged();
    ASSERT_TRUE(settle());
    EXPECT_EQ(watcher.lastRect, view.viewport()->rect());

    shown.model.reset(1);
    shown.model.append(1, "y");
    view.modelChanged(); // a new run: the list is repainted whatever it shows
    ASSERT_TRUE(settle());
    EXPECT_EQ(watcher.lastRect, view.viewport()->rect());
    EXPECT_EQ(view.firstVisibleRow(), 0);
}

TEST(RecordView, WideColumnsScrollSideways) {
    ShownView shown(1, 8); // two rows: no vertical scroll bar
    RecordView& view = *shown.view;
    view.resize(522, 144);
    view.clearColumns();
    for (int c = 0; c < 4; ++c) // as wide as the frame, each cut to whole pixels
        view.addColumn(QString(), QString(), view.viewport()->width() * 15.0f / 4.0f);
    EXPECT_FALSE(view.verticalScrollBar()->isVisible());
    EXPECT_LE(view.columnLeft(4), view.viewport()->width());
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0) << "the four columns fit the frame";

    shown.model.append(400, "x"); // the vertical scroll bar takes room from the columns
    view.modelChanged();
    EXPECT_TRUE(testsupport::waitUntil([&] { return view.verticalScrollBar()->isVisible(); }));
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), view.columnLeft(4) - view.viewport()->width());

    view.clearColumns();
    for (int c = 0; c < 4; ++c)
        view.addColumn(QString(), QStringLiteral("H%1").arg(c), 3000.0f); // 200 px each
    const int contentWidth = view.columnLeft(4);
    EXPECT_EQ(contentWidth, 800);
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), contentWidth - view.viewport()->width());
    view.horizontalScrollBar()->setValue(250);
    EXPECT_EQ(view.cellRect(0, 1).left(), 200 - 250);
    EXPECT_EQ(view.columnAt(0), 1);
    EXPECT_TRUE(view.cellRect(0, 0).isEmpty()) << "column 0 is scrolled out of view";
    QWidget* header = view.findChild<QWidget*>(QStringLiteral("header"));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->geometry().left(), view.viewport()->geometry().left());
    EXPECT_EQ(header->geometry().width(), view.viewport()->geometry().width());
    EXPECT_EQ(header->geometry().bottom() + 1, view.viewport()->geometry().top());
    EXPECT_EQ(header->height(), view.headerHeight());
}

TEST(RecordView, TakesTheFocusAndScrollsWithTheKeyboard) {
    ShownView shown(1, 10000);
    RecordView& view = *shown.view;
    EXPECT_EQ(view.focusPolicy(), Qt::StrongFocus);
    QTest::keyClick(&view, Qt::Key_End);
    EXPECT_EQ(view.firstVisibleRow(), shown.vertical()->maximum());
    QTest::keyClick(&view, Qt::Key_Home);
    EXPECT_EQ(view.firstVisibleRow(), 0);
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.firstVisibleRow(), 1);
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_EQ(view.firstVisibleRow(), 1 + view.visibleRowCount());

    // With the focus the top row carries a focus frame; the cells' text starts right of it.
    QPalette palette = view.palette();
    palette.setColor(QPalette::Base, QColor(0, 255, 0));
    view.setPalette(palette);
    const QRect frameEdge(0, 0, 2, view.rowHeight());
    EXPECT_EQ(inkIn(shown.paintViewport(), frameEdge, qRgb(0, 255, 0)), 0);
    view.activateWindow();
    view.window()->setAttribute(Qt::WA_KeyboardFocusChange); // as Tab into the list sets it
    view.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(testsupport::waitUntil([&] { return view.hasFocus(); }));
    EXPECT_GT(inkIn(shown.paintViewport(), frameEdge, qRgb(0, 255, 0)), 0);
}

// Accessibility.

TEST(RecordViewAccessibility, TheViewIsATableWithCellsComputedFromTheModel) {
    ShownView shown(-2147483648LL, 4294967296LL, "big.example");
    RecordView& view = *shown.view;
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->role(), QAccessible::Table);
    QAccessibleTableInterface* cells = table->tableInterface();
    ASSERT_NE(cells, nullptr);
    EXPECT_EQ(cells->rowCount(), 1073741824);
    EXPECT_EQ(cells->columnCount(), 4);

    for (auto [row, column] : {std::pair{0, 0}, {536870912, 1}, {1073741823, 3}}) {
        QAccessibleInterface* cell = cells->cellAt(row, column);
        ASSERT_NE(cell, nullptr) << row;
        EXPECT_EQ(cell->role(), QAccessible::Cell);
        EXPECT_EQ(cell->text(QAccessible::Name), shown.model.cellText(row, column));
        ASSERT_NE(cell->tableCellInterface(), nullptr);
        EXPECT_EQ(cell->tableCellInterface()->rowIndex(), row);
        EXPECT_EQ(cell->tableCellInterface()->columnIndex(), column);
        EXPECT_EQ(cell->tableCellInterface()->table(), table);
        EXPECT_EQ(cell->parent(), table);
    }
    EXPECT_EQ(cells->cellAt(0, 0)->text(QAccessible::Name),
              QStringLiteral("-2147483648@big.example"));
    EXPECT_EQ(cells->cellAt(1073741823, 3)->text(QAccessible::Name),
              QStringLiteral("2147483647@big.example"));
    EXPECT_EQ(cells->cellAt(1073741824, 0), nullptr);
    EXPECT_EQ(cells->cellAt(0, 4), nullptr);
    EXPECT_EQ(cells->cellAt(-1, 0), nullptr);
    EXPECT_EQ(table->childCount(), 2147483647) << "as many cells as an int counts";
}

TEST(RecordViewAccessibility, ChildrenAreTheCellsRowByRow) {
    ShownView shown(7, 3, "S");
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(shown.view.get());
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->childCount(), 4);
    QAccessibleInterface* third = table->child(2);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->text(QAccessible::Name), QStringLiteral("9@S"));
    EXPECT_EQ(table->indexOfChild(third), 2);
    EXPECT_TRUE(table->child(3)->text(QAccessible::Name).isEmpty());
    EXPECT_EQ(table->child(4), nullptr);

    // A cell in view has its place on the screen; its text is read when asked.
    const QRect onScreen = third->rect();
    ASSERT_FALSE(onScreen.isEmpty());
    EXPECT_EQ(table->childAt(onScreen.center().x(), onScreen.center().y()), third);
    EXPECT_FALSE(third->state().invisible);
    shown.model.reset(70);
    shown.model.append(3, "T");
    EXPECT_EQ(third->text(QAccessible::Name), QStringLiteral("72@T"));
}

TEST(RecordViewAccessibility, CellsOutOfViewAreOffscreen) {
    ShownView shown(1, Billion);
    QAccessibleTableInterface* cells =
        QAccessible::queryAccessibleInterface(shown.view.get())->tableInterface();
    QAccessibleInterface* far = cells->cellAt(200000000, 0);
    ASSERT_NE(far, nullptr);
    EXPECT_TRUE(far->rect().isEmpty());
    EXPECT_TRUE(far->state().offscreen);
    EXPECT_EQ(far->text(QAccessible::Name), QStringLiteral("800000001@x"));
}

TEST(RecordViewAccessibility, WalkingManyCellsKeepsOnlyABoundedNumber) {
    ShownView shown(1, Billion);
    auto* table =
        static_cast<RecordViewAccessible*>(QAccessible::queryAccessibleInterface(shown.view.get()));
    QAccessibleTableInterface* cells = table->tableInterface();
    const QAccessible::Id firstId = QAccessible::uniqueId(cells->cellAt(0, 0));
    EXPECT_EQ(QAccessible::accessibleInterface(firstId), cells->cellAt(0, 0))
        << "a cell asked for again soon is the same cell";

    for (int row = 0; row < 20000; ++row) {
        QAccessibleInterface* cell = cells->cellAt(row * 9973, row % 4);
        ASSERT_NE(cell, nullptr);
        ASSERT_EQ(cell->text(QAccessible::Name), shown.model.cellText(row * 9973, row % 4));
    }
    EXPECT_LE(table->cachedCellCount(), RecordViewAccessible::CachedCells);
    EXPECT_EQ(QAccessible::accessibleInterface(firstId), nullptr) << "old cells are deleted";

    // A new run drops the cells of the old one.
    const QAccessible::Id recentId = QAccessible::uniqueId(cells->cellAt(5, 1));
    QAccessibleTableModelChangeEvent reset(shown.view.get(),
                                           QAccessibleTableModelChangeEvent::ModelReset);
    cells->modelChange(&reset);
    EXPECT_EQ(table->cachedCellCount(), 0);
    EXPECT_EQ(QAccessible::accessibleInterface(recentId), nullptr);
}

TEST(RecordViewAccessibility, DestroyingTheViewDeletesItsCells) {
    auto shown = std::make_unique<ShownView>(1, 100);
    QAccessibleTableInterface* cells =
        QAccessible::queryAccessibleInterface(shown->view.get())->tableInterface();
    const QAccessible::Id id = QAccessible::uniqueId(cells->cellAt(3, 2));
    ASSERT_NE(QAccessible::accessibleInterface(id), nullptr);
    shown.reset();
    EXPECT_EQ(QAccessible::accessibleInterface(id), nullptr);
}
