#pragma once

#include <QAbstractScrollArea>
#include <QString>

#include <vector>

class RecordModel;

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
    // Call after the model grew or was reset: updates the scroll range and repaints.
    void modelChanged();

    // Columns: removed all at once, added left to right.
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

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Column {
        QString key;
        QString header;
        float widthUnits;
    };
    void updateScrollRange();

    const RecordModel* model_ = nullptr;
    std::vector<Column> columns_;
};
