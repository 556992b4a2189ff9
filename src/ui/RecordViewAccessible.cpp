#include "ui/RecordViewAccessible.h"

#include "ui/RecordModel.h"
#include "ui/RecordView.h"

#include <algorithm>
#include <limits>
#include <mutex>

namespace {

QAccessibleInterface* recordViewFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("RecordView")) {
        if (auto* view = qobject_cast<RecordView*>(object))
            return new RecordViewAccessible(view);
    }
    return nullptr;
}

int modelRows(const RecordView* view) {
    return view && view->model() ? view->model()->rowCount() : 0;
}

} // namespace

void installRecordViewAccessibility() {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(recordViewFactory); });
}

// The table.

RecordViewAccessible::RecordViewAccessible(RecordView* view)
    : QAccessibleWidget(view, QAccessible::Table) {}

RecordViewAccessible::~RecordViewAccessible() {
    dropCells();
}

RecordView* RecordViewAccessible::view() const {
    return qobject_cast<RecordView*>(object());
}

void* RecordViewAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

int RecordViewAccessible::rowCount() const {
    return modelRows(view());
}

int RecordViewAccessible::columnCount() const {
    const RecordView* v = view();
    return v ? v->columnCount() : 0;
}

QString RecordViewAccessible::columnDescription(int column) const {
    const RecordView* v = view();
    return v ? v->columnHeader(column) : QString();
}

int RecordViewAccessible::childCount() const {
    const std::int64_t cells = std::int64_t{rowCount()} * columnCount();
    return static_cast<int>(std::min<std::int64_t>(cells, std::numeric_limits<int>::max()));
}

QAccessibleInterface* RecordViewAccessible::child(int index) const {
    const int columns = columnCount();
    if (index < 0 || columns == 0 || index >= childCount())
        return nullptr;
    return cellAt(index / columns, index % columns);
}

int RecordViewAccessible::indexOfChild(const QAccessibleInterface* child) const {
    if (!child || child->role() != QAccessible::Cell || child->parent() != this)
        return -1;
    auto* cell = const_cast<QAccessibleInterface*>(child)->tableCellInterface();
    if (!cell)
        return -1;
    const std::int64_t index = std::int64_t{cell->rowIndex()} * columnCount() + cell->columnIndex();
    return index < childCount() ? static_cast<int>(index) : -1;
}

QAccessibleInterface* RecordViewAccessible::childAt(int x, int y) const {
    const RecordView* v = view();
    if (!v)
        return nullptr;
    const QPoint point = v->viewport()->mapFromGlobal(QPoint(x, y));
    const int row = v->rowAt(point.y());
    const int column = v->columnAt(point.x());
    if (row < 0 || column < 0)
        return nullptr;
    return cellAt(row, column);
}

QAccessibleInterface* RecordViewAccessible::cellAt(int row, int column) const {
    RecordView* v = view();
    const int columns = columnCount();
    if (!v || row < 0 || row >= rowCount() || column < 0 || column >= columns)
        return nullptr;
    const std::int64_t key = std::int64_t{row} * columns + column;
    for (const CachedCell& cached : cells_) {
        if (cached.key == key) {
            if (QAccessibleInterface* cell = QAccessible::accessibleInterface(cached.id))
                return cell;
        }
    }
    auto* cell = new RecordCellAccessible(v, row, column);
    // The accessibility cache owns the cell from here on; the ring only remembers its id.
    const QAccessible::Id id = QAccessible::registerAccessibleInterface(cell);
    if (cells_.size() < static_cast<std::size_t>(CachedCells)) {
        cells_.push_back(CachedCell{key, id});
    } else {
        QAccessible::deleteAccessibleInterface(cells_[next_].id);
        cells_[next_] = CachedCell{key, id};
        next_ = (next_ + 1) % cells_.size();
    }
    return cell;
}

void RecordViewAccessible::dropCells() const {
    for (const CachedCell& cached : cells_)
        QAccessible::deleteAccessibleInterface(cached.id);
    cells_.clear();
    cells_.shrink_to_fit();
    next_ = 0;
}

void RecordViewAccessible::modelChange(QAccessibleTableModelChangeEvent* event) {
    // Cells compute their text when asked, so growth needs nothing; a new run drops
    // the cells of the old one.
    if (event->modelChangeType() == QAccessibleTableModelChangeEvent::ModelReset)
        dropCells();
}

// A cell.

RecordCellAccessible::RecordCellAccessible(RecordView* view, int row, int column)
    : view_(view), row_(row), column_(column) {}

bool RecordCellAccessible::isValid() const {
    return view_ && row_ < modelRows(view_) && column_ < view_->columnCount();
}

QAccessibleInterface* RecordCellAccessible::parent() const {
    return view_ ? QAccessible::queryAccessibleInterface(view_.data()) : nullptr;
}

QString RecordCellAccessible::text(QAccessible::Text type) const {
    if (type != QAccessible::Name || !view_ || !view_->model())
        return {};
    return view_->model()->cellText(row_, column_);
}

QRect RecordCellAccessible::rect() const {
    if (!view_)
        return {};
    const QRect inView = view_->cellRect(row_, column_);
    if (inView.isEmpty())
        return {};
    return QRect(view_->viewport()->mapToGlobal(inView.topLeft()), inView.size());
}

QAccessible::State RecordCellAccessible::state() const {
    QAccessible::State state;
    state.readOnly = true;
    if (!view_ || view_->cellRect(row_, column_).isEmpty()) {
        state.invisible = true;
        state.offscreen = true;
    }
    return state;
}

void* RecordCellAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TableCellInterface)
        return static_cast<QAccessibleTableCellInterface*>(this);
    return nullptr;
}
