#include "ui/RecordView.h"

#include "ui/RecordModel.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyleOptionHeader>

#include <algorithm>
#include <cmath>

namespace {
// Layout units (twips) to a pixel.
constexpr double UnitsPerPixel = 15.0;
// Space between a cell's text and its column's edges.
constexpr int CellPadding = 4;
// Space above and below the text of a row.
constexpr int RowPadding = 2;
// Pixels one click on a horizontal arrow scrolls.
constexpr int HorizontalStep = 20;

// A column's width in whole pixels; a negative width is kept as given but shows as none.
int pixelWidth(float units) {
    const double pixels = std::floor(static_cast<double>(units) / UnitsPerPixel);
    if (!(pixels > 0.0)) // also a width that is not a number
        return 0;
    return static_cast<int>(std::min(pixels, 1.0e6));
}
} // namespace

// The header strip above the rows. It lies in the view's top margin and scrolls
// sideways with the rows; the view paints it.
class RecordHeader : public QWidget {
public:
    explicit RecordHeader(RecordView* view) : QWidget(view), view_(view) {
        setObjectName(QStringLiteral("header"));
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        view_->paintHeader(painter, event->rect());
    }

private:
    RecordView* view_;
};

RecordView::RecordView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(false);
    header_ = new RecordHeader(this);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(HorizontalStep);
    updateMetrics();
}

RecordView::~RecordView() = default;

void RecordView::setModel(const RecordModel* model) {
    model_ = model;
    knownCount_ = -1;
    verticalScrollBar()->setValue(0);
    modelChanged();
}

void RecordView::modelChanged() {
    const std::int64_t count = model_ ? model_->count() : 0;
    const std::uint64_t resets = model_ ? model_->resetCount() : 0;
    const bool reset = knownCount_ < 0 || resets != knownResets_ || count < knownCount_;
    updateScrollRange();
    if (reset || changeMeetsView(knownCount_, count))
        viewport()->update();
    notifyAccessibility(reset, knownCount_, count);
    knownCount_ = count;
    knownResets_ = resets;
}

bool RecordView::changeMeetsView(std::int64_t oldCount, std::int64_t newCount) const {
    if (newCount <= oldCount)
        return false;
    // The cells oldCount..newCount-1 were added; they lie in these rows.
    const std::int64_t firstChanged = oldCount / RecordModel::Columns;
    const std::int64_t lastChanged = (newCount - 1) / RecordModel::Columns;
    const std::int64_t firstShown = firstVisibleRow();
    const std::int64_t lastShown =
        firstShown + (viewport()->height() + rowHeight_ - 1) / rowHeight_ - 1;
    return firstChanged <= lastShown && lastChanged >= firstShown;
}

void RecordView::clearColumns() {
    columns_.clear();
    updateScrollRange();
    header_->update();
    viewport()->update();
}

void RecordView::addColumn(const QString& key, const QString& header, float widthUnits) {
    columns_.push_back(Column{key, header, widthUnits});
    updateScrollRange();
    header_->update();
    viewport()->update();
}

float RecordView::columnWidthUnits(int column) const {
    if (column < 0 || column >= columnCount())
        return 0.0f;
    return columns_[static_cast<std::size_t>(column)].widthUnits;
}

QString RecordView::columnKey(int column) const {
    if (column < 0 || column >= columnCount())
        return {};
    return columns_[static_cast<std::size_t>(column)].key;
}

QString RecordView::columnHeader(int column) const {
    if (column < 0 || column >= columnCount())
        return {};
    return columns_[static_cast<std::size_t>(column)].header;
}

float RecordView::widthUnits() const {
    return static_cast<float>(width() * UnitsPerPixel);
}

int RecordView::rowHeight() const {
    return rowHeight_;
}

int RecordView::headerHeight() const {
    return headerHeight_;
}

int RecordView::firstVisibleRow() const {
    return verticalScrollBar()->value();
}

int RecordView::visibleRowCount() const {
    return std::max(1, viewport()->height() / rowHeight_);
}

int RecordView::columnLeft(int column) const {
    // Each column is a whole number of pixels, its units cut down to the pixel, as a
    // native list converts them: a list of width W then fits columns of W/4, W/4, W/4
    // and W/4 - 40 units inside its frame.
    int left = 0;
    const int last = std::clamp(column, 0, columnCount());
    for (int c = 0; c < last; ++c)
        left += pixelWidth(columns_[static_cast<std::size_t>(c)].widthUnits);
    return left;
}

QRect RecordView::cellRect(int row, int column) const {
    if (!model_ || row < 0 || row >= model_->rowCount() || column < 0 || column >= columnCount())
        return {};
    const std::int64_t top = (static_cast<std::int64_t>(row) - firstVisibleRow()) * rowHeight_;
    if (top + rowHeight_ <= 0 || top >= viewport()->height())
        return {};
    const int scroll = horizontalScrollBar()->value();
    const QRect cell(columnLeft(column) - scroll, static_cast<int>(top),
                     columnLeft(column + 1) - columnLeft(column), rowHeight_);
    if (!cell.intersects(viewport()->rect()))
        return {};
    return cell;
}

int RecordView::rowAt(int y) const {
    if (!model_ || y < 0 || y >= viewport()->height())
        return -1;
    const std::int64_t row = static_cast<std::int64_t>(firstVisibleRow()) + y / rowHeight_;
    return row < model_->rowCount() ? static_cast<int>(row) : -1;
}

int RecordView::columnAt(int x) const {
    if (x < 0 || x >= viewport()->width())
        return -1;
    const int content = x + horizontalScrollBar()->value();
    for (int c = 0; c < columnCount(); ++c) {
        if (content < columnLeft(c + 1))
            return c;
    }
    return -1;
}

void RecordView::updateMetrics() {
    const QFontMetrics metrics = fontMetrics();
    rowHeight_ = std::max(1, metrics.height() + 2 * RowPadding);
    QStyleOptionHeader option;
    option.initFrom(this);
    option.text = QStringLiteral("Xg");
    const QSize section =
        style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this);
    headerHeight_ = std::max(section.height(), metrics.height() + 2 * RowPadding);
    setViewportMargins(0, headerHeight_, 0, 0);
    placeHeader();
    updateScrollRange();
}

void RecordView::placeHeader() {
    const QRect area = viewport()->geometry();
    header_->setGeometry(area.left(), area.top() - headerHeight_, area.width(), headerHeight_);
}

void RecordView::updateScrollRange() {
    const int rows = model_ ? model_->rowCount() : 0;
    const int pageRows = visibleRowCount();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setPageStep(pageRows);
    vertical->setRange(0, std::max(0, rows - pageRows));

    const int contentWidth = columnLeft(columnCount());
    const int viewWidth = viewport()->width();
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setPageStep(std::max(1, viewWidth));
    horizontal->setRange(0, std::max(0, contentWidth - viewWidth));
}

void RecordView::notifyAccessibility(bool reset, std::int64_t oldCount, std::int64_t newCount) {
    if (!QAccessible::isActive())
        return;
    if (reset) {
        QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::ModelReset);
        QAccessible::updateAccessibility(&event);
        return;
    }
    if (newCount <= oldCount)
        return;
    const int columns = RecordModel::Columns;
    const auto oldRows = static_cast<int>((oldCount + columns - 1) / columns);
    const auto newRows = static_cast<int>((newCount + columns - 1) / columns);
    if (oldCount % columns != 0) {
        // The row that was filled up to part of its width got more cells.
        QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::DataChanged);
        event.setFirstRow(oldRows - 1);
        event.setLastRow(oldRows - 1);
        QAccessible::updateAccessibility(&event);
    }
    if (newRows > oldRows) {
        QAccessibleTableModelChangeEvent event(this,
                                               QAccessibleTableModelChangeEvent::RowsInserted);
        event.setFirstRow(oldRows);
        event.setLastRow(newRows - 1);
        QAccessible::updateAccessibility(&event);
    }
}

void RecordView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect exposed = event->rect();
    painter.fillRect(exposed, palette().brush(QPalette::Base));
    lastPaintCells_ = 0;
    paintCells(painter, exposed);
    // With the focus, the top row in view carries the focus frame, as the focused item
    // of a native list does (in an empty list, the place of its first row); there is no
    // selection.
    if (hasFocus() && exposed.top() < rowHeight_) {
        const int scroll = horizontalScrollBar()->value();
        const int columnsShown = std::min(columnCount(), int{RecordModel::Columns});
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = columnsShown == 0
                         ? QRect(0, 0, viewport()->width(), rowHeight_)
                         : QRect(columnLeft(0) - scroll, 0,
                                 columnLeft(columnsShown) - columnLeft(0), rowHeight_);
        focus.backgroundColor = palette().color(QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

void RecordView::paintCells(QPainter& painter, const QRect& exposed) {
    if (!model_ || columns_.empty())
        return;
    const int rows = model_->rowCount();
    const int first = firstVisibleRow();
    if (rows <= first)
        return;

    // Only the rows and columns that meet the exposed rectangle are formatted.
    const int top = std::max(exposed.top(), 0);
    const int bottom = std::min(exposed.bottom(), viewport()->height() - 1);
    const int firstRow = first + top / rowHeight_;
    const int lastRow = static_cast<int>(
        std::min<std::int64_t>(rows - 1, std::int64_t{first} + bottom / rowHeight_));

    const int scroll = horizontalScrollBar()->value();
    // The model has four columns; further columns of the view stay empty.
    const int columnsShown = std::min(columnCount(), int{RecordModel::Columns});
    int left[RecordModel::Columns + 1];
    for (int c = 0; c <= columnsShown; ++c)
        left[c] = columnLeft(c) - scroll;

    const QFontMetrics metrics = fontMetrics();
    painter.setPen(palette().color(QPalette::Text));
    painter.setFont(font());
    char buffer[RecordModel::CellCapacity];
    for (int row = firstRow; row <= lastRow; ++row) {
        const int y = (row - first) * rowHeight_;
        for (int column = 0; column < columnsShown; ++column) {
            if (left[column + 1] <= exposed.left() || left[column] > exposed.right())
                continue;
            const int length = model_->formatCell(row, column, buffer);
            ++lastPaintCells_;
            if (length == 0)
                continue;
            const QRect box(left[column] + CellPadding, y,
                            left[column + 1] - left[column] - 2 * CellPadding, rowHeight_);
            if (box.width() <= 0)
                continue;
            const QString text =
                metrics.elidedText(QString::fromUtf8(buffer, length), Qt::ElideRight, box.width());
            painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        }
    }
}

void RecordView::paintHeader(QPainter& painter, const QRect& area) const {
    const int scroll = horizontalScrollBar()->value();
    const int height = header_->height();
    QStyleOptionHeader option;
    option.initFrom(header_);
    option.state |= QStyle::State_Enabled | QStyle::State_Raised | QStyle::State_Horizontal;
    option.orientation = Qt::Horizontal;
    option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    const int count = columnCount();
    int right = -scroll;
    for (int c = 0; c < count; ++c) {
        const int x = columnLeft(c) - scroll;
        right = columnLeft(c + 1) - scroll;
        option.rect = QRect(x, 0, right - x, height);
        // The last section reaches the header's right edge, as the columns, cut to whole
        // pixels, may end a few pixels short of it (more at a higher device pixel ratio).
        if (c == count - 1 && right < header_->width() && scroll == 0) {
            right = header_->width();
            option.rect.setRight(right - 1);
        }
        if (option.rect.width() <= 0 || !option.rect.intersects(area))
            continue;
        option.section = c;
        option.text = columns_[static_cast<std::size_t>(c)].header;
        if (count == 1)
            option.position = QStyleOptionHeader::OnlyOneSection;
        else if (c == 0)
            option.position = QStyleOptionHeader::Beginning;
        else if (c == count - 1)
            option.position = QStyleOptionHeader::End;
        else
            option.position = QStyleOptionHeader::Middle;
        style()->drawControl(QStyle::CE_Header, &option, &painter, header_);
    }
    // The strip right of the last column is an empty section, as in a native list.
    if (right < header_->width()) {
        option.rect = QRect(std::max(right, 0), 0, header_->width() - std::max(right, 0), height);
        option.section = count;
        option.text.clear();
        option.position = QStyleOptionHeader::End;
        style()->drawControl(QStyle::CE_HeaderEmptyArea, &option, &painter, header_);
    }
}

void RecordView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    placeHeader();
    updateScrollRange();
}

void RecordView::scrollContentsBy(int dx, int dy) {
    Q_UNUSED(dy);
    if (dx != 0)
        header_->update();
    viewport()->update();
}

void RecordView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
        updateMetrics();
        header_->update();
        viewport()->update();
        break;
    case QEvent::PaletteChange:
        header_->update();
        viewport()->update();
        break;
    default:
        break;
    }
}

void RecordView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Home:
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
        return;
    case Qt::Key_End:
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}
