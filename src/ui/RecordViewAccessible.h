#pragma once

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>

#include <cstdint>
#include <vector>

class RecordView;

// Registers the accessibility factory that describes every RecordView as a table.
// Start-up calls it before the first window is made; later calls do nothing.
void installRecordViewAccessibility();

// A RecordView as accessibility clients see it: a table of the model's rows and the
// view's columns. Cells are made when a client asks for one and are not stored with
// the list: the table keeps only the last CachedCells of them (registered with Qt's
// accessibility cache, which owns them) and deletes the oldest beyond that, so a
// client that walks a billion cells costs no more memory than one that reads ten.
class RecordViewAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    static constexpr int CachedCells = 256;

    explicit RecordViewAccessible(RecordView* view);
    ~RecordViewAccessible() override;

    void* interface_cast(QAccessible::InterfaceType type) override;

    // The children are the cells, row by row (as many as an int can count).
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

    // QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override { return 0; }
    QList<QAccessibleInterface*> selectedCells() const override { return {}; }
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

    // Cells alive at the moment (for tests: it never exceeds CachedCells).
    int cachedCellCount() const { return static_cast<int>(cells_.size()); }

private:
    RecordView* view() const;
    void dropCells() const;

    struct CachedCell {
        std::int64_t key; // row * columns + column
        QAccessible::Id id;
    };
    // A ring: next_ is the slot the next new cell takes once the ring is full.
    mutable std::vector<CachedCell> cells_;
    mutable std::size_t next_ = 0;
};

// One cell of the table; its text is computed from the model whenever it is asked.
class RecordCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    RecordCellAccessible(RecordView* view, int row, int column);

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    // QAccessibleTableCellInterface
    bool isSelected() const override { return false; }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return column_; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    QPointer<RecordView> view_;
    int row_;
    int column_;
};
