#pragma once

#include <QAbstractScrollArea>
#include <QRect>
#include <QString>

#include <cstdint>
#include <vector>

class RecordModel;
class RecordHeader;
class QPainter;

// The report-view list lvRecord: a header with columns, and rows computed from a
// RecordModel. Only the rows in view are painted, so a list of a billion rows costs
// no more than one of ten. Columns are given in the window's layout units (twips,
// 15 to a pixel). The view reports itself to accessibility clients as a table.
class RecordView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit RecordView(QWidget* parent = nullptr);
    ~RecordView() override;

    // The model is not owned; the view reads it whenever it paints.
    void setModel(const RecordModel* model);
    const RecordModel* model() const { return model_; }
    // Call after the model grew or was reset: updates the scroll range and repaints
    // when cells in view changed. It never visits rows, so it costs the same for any list.
    void modelChanged();

    // Columns: removed all at once, added left to right. columnWidthUnits, columnKey,
    // rowHeight, headerHeight and lastPaintCellCount are test seams: the tests read the
    // layout through them.
    void clearColumns();
    void addColumn(const QString& key, const QString& header, float widthUnits);
    int columnCount() const { return static_cast<int>(columns_.size()); }
    float columnWidthUnits(int column) const;
    QString columnKey(int column) const;
    QString columnHeader(int column) const;

    // The width of the list in layout units.
    float widthUnits() const;

    int rowHeight() const;
    int headerHeight() const;
    // First row painted at the top of the viewport.
    int firstVisibleRow() const;
    // Rows that fit the viewport completely (at least 1).
    int visibleRowCount() const;

    // Where cell (row, column) lies in viewport coordinates; an empty rectangle when
    // no part of it is in view.
    QRect cellRect(int row, int column) const;
    // The row and column under a viewport point, or -1 when there is none.
    int rowAt(int y) const;
    int columnAt(int x) const;
    // Left edge of a column (0..columnCount) in pixels from the list's left edge.
    int columnLeft(int column) const;

    // How many cells the last paint formatted: it never exceeds the rows in view
    // times the columns, however long the list is.
    int lastPaintCellCount() const { return lastPaintCells_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Draws the cells of the rows and columns that meet exposed.
    void paintCells(QPainter& painter, const QRect& exposed);
    struct Column {
        QString key;
        QString header;
        float widthUnits;
    };
    void updateScrollRange();
    void updateMetrics();
    void placeHeader();
    bool changeMeetsView(std::int64_t oldCount, std::int64_t newCount) const;
    void notifyAccessibility(bool reset, std::int64_t oldCount, std::int64_t newCount);
    friend class RecordHeader;
    void paintHeader(QPainter& painter, const QRect& area) const;

    const RecordModel* model_ = nullptr;
    std::vector<Column> columns_;
    RecordHeader* header_ = nullptr;
    int rowHeight_ = 1;
    int headerHeight_ = 1;
    int lastPaintCells_ = 0;
    // The model as the view last saw it; a count of -1 stands for a model not seen yet.
    std::int64_t knownCount_ = -1;
    std::uint64_t knownResets_ = 0;
};
