#include "history_view.h"

#include "history_line_delegate.h"

#include <QHoverEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Rows far outside the viewport are placed no further than this from it, so
// rect arithmetic stays within int whatever the number of rows.
constexpr qint64 kFarAway = qint64(1) << 28;

int bounded(qint64 value) {
    return int(std::clamp(value, -kFarAway, kFarAway));
}

qint64 floorDivide(qint64 value, qint64 divisor) {
    const qint64 quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

// The least height from `height` up that is a whole number of device pixels
// at `ratio`. Painted pixels move only by whole device pixels: at 125 %, a
// scroll by a row of 14 pixels (17.5 device pixels) repaints everything it
// scrolls, one of 16 (20) moves the rows and paints the one that came into
// view. Fractional scales come in quarters or eighths, so a few pixels more
// make a row whole; where none do, rows keep their height.
int wholeDevicePixelHeight(int height, qreal ratio) {
    for (int candidate = height; candidate < height + 8; ++candidate) {
        const qreal device = candidate * ratio;
        if (std::floor(device) == device) {
            return candidate;
        }
    }
    return height;
}

} // namespace

HistoryView::HistoryView(QWidget* parent) : QListView(parent) {
    setItemDelegate(new HistoryLineDelegate(this));
    setUniformItemSizes(true);
    setHorizontalScrollMode(ScrollPerPixel);
    // The item view asks the display server where the pointer is after
    // every move of a bar, a round trip for each picture while the list
    // follows its newest line; otherwise that handler only fetches rows on
    // demand, which a history never does (it holds every line). The row
    // under the pointer is worked out when painting, from where the viewport
    // last saw the pointer.
    disconnect(verticalScrollBar(), SIGNAL(valueChanged(int)), this,
               SLOT(verticalScrollbarValueChanged(int)));
    disconnect(horizontalScrollBar(), SIGNAL(valueChanged(int)), this,
               SLOT(horizontalScrollbarValueChanged(int)));
    viewport()->setAttribute(Qt::WA_Hover);
    layOutBarsOnlyWhenShownOrHidden(horizontalScrollBar(), horizontalBarNeeded_);
    layOutBarsOnlyWhenShownOrHidden(verticalScrollBar(), verticalBarNeeded_);
}

bool HistoryView::viewportEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
        pointer_ = static_cast<QHoverEvent*>(event)->position().toPoint();
        pointerInside_ = true;
        break;
    case QEvent::HoverLeave:
    case QEvent::Leave:
        pointerInside_ = false;
        break;
    default:
        break;
    }
    return QListView::viewportEvent(event);
}

void HistoryView::layOutBarsOnlyWhenShownOrHidden(QScrollBar* bar, bool& needed) {
    // QAbstractScrollArea lays its bars out again after every change of a
    // range, and that raises both bars in turn above the rows: each raise
    // reorders them and repaints both bars and the frame beneath, once a
    // picture while lines arrive. A bar shows or hides only when its range
    // becomes empty or stops being so; only then is the layout asked for.
    if (!disconnect(bar, SIGNAL(rangeChanged(int, int)), this, SLOT(_q_showOrHideScrollBars()))) {
        return; // a Qt that lays out otherwise: left as it is
    }
    needed = bar->minimum() < bar->maximum();
    connect(bar, &QScrollBar::rangeChanged, this, [this, &needed](int minimum, int maximum) {
        if ((minimum < maximum) != needed) {
            needed = minimum < maximum;
            QMetaObject::invokeMethod(this, "_q_showOrHideScrollBars", Qt::QueuedConnection);
        }
    });
}

int HistoryView::rowCount() const {
    return model() ? model()->rowCount(rootIndex()) : 0;
}

QModelIndex HistoryView::rowIndex(int row) const {
    return model()->index(row, modelColumn(), rootIndex());
}

int HistoryView::rowHeight() const {
    const qreal ratio = devicePixelRatioF();
    if (rowHeight_ > 0 && ratio == rowHeightRatio_) {
        return rowHeight_;
    }
    if (rowCount() == 0) {
        return std::max(1, fontMetrics().height()); // nothing to place yet
    }
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QModelIndex first = rowIndex(0);
    rowHeight_ = wholeDevicePixelHeight(
        std::max(1, itemDelegateForIndex(first)->sizeHint(option, first).height()), ratio);
    rowHeightRatio_ = ratio;
    return rowHeight_;
}

int HistoryView::rowsPerPage() const {
    return std::max(1, viewport()->height() / rowHeight());
}

int HistoryView::horizontalOffset() const {
    return horizontalScrollBar()->value();
}

int HistoryView::verticalOffset() const {
    const qint64 value = verticalScrollBar()->value();
    if (verticalScrollMode() == ScrollPerItem) {
        return int(std::min<qint64>(value * rowHeight(), INT_MAX));
    }
    return int(value);
}

qint64 HistoryView::rowAtY(int y) const {
    return floorDivide(qint64(verticalOffset()) + y, rowHeight());
}

int HistoryView::rowTop(qint64 row) const {
    return bounded(row * rowHeight() - verticalOffset());
}

QRect HistoryView::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != model() || index.parent() != rootIndex() ||
        index.column() != modelColumn()) {
        return {};
    }
    const int width = std::max(contentWidth_, viewport()->width());
    return QRect(-horizontalOffset(), rowTop(index.row()), width, rowHeight());
}

QModelIndex HistoryView::indexAt(const QPoint& point) const {
    const qint64 row = rowAtY(point.y());
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    const int x = point.x() + horizontalOffset();
    if (x < 0 || x >= std::max(contentWidth_, viewport()->width())) {
        return {};
    }
    return rowIndex(int(row));
}

void HistoryView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid() || index.parent() != rootIndex()) {
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    if (verticalScrollMode() == ScrollPerItem) {
        const int row = index.row();
        const int page = rowsPerPage();
        int first = bar->value();
        switch (hint) {
        case PositionAtTop:
            first = row;
            break;
        case PositionAtBottom:
            first = row - page + 1;
            break;
        case PositionAtCenter:
            first = row - page / 2;
            break;
        case EnsureVisible:
            if (row < first) {
                first = row;
            } else if (row >= first + page) {
                first = row - page + 1;
            }
            break;
        }
        bar->setValue(first);
        return;
    }
    const qint64 height = rowHeight();
    const qint64 top = qint64(index.row()) * height;
    const qint64 area = viewport()->height();
    qint64 value = bar->value();
    switch (hint) {
    case PositionAtTop:
        value = top;
        break;
    case PositionAtBottom:
        value = top + height - area;
        break;
    case PositionAtCenter:
        value = top + height / 2 - area / 2;
        break;
    case EnsureVisible:
        if (top < value) {
            value = top;
        } else if (top + height > value + area) {
            value = top + height - area;
        }
        break;
    }
    bar->setValue(int(std::clamp<qint64>(value, 0, INT_MAX)));
}

void HistoryView::doItemsLayout() {
    // Rows all alike need no layout; QListView's would place every row.
    QAbstractItemView::doItemsLayout();
}

void HistoryView::reset() {
    // The rows keep the width they have grown to: the lines that follow are
    // of the same kinds, and a dataset list, emptied every other line, would
    // otherwise lose and regain its scroll bar each time.
    QListView::reset();
}

void HistoryView::rowsInserted(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsInserted(parent, start, end);
    if (parent != rootIndex()) {
        return;
    }
    if (!isVisible()) {
        // A hidden list (the floating window before it is first shown) sets
        // its scroll bars once, when it is shown, not for every line.
        scheduleDelayedItemsLayout();
        return;
    }
    // The scroll bars know of the new rows at once, for whoever scrolls next;
    // the rows are painted when the event loop next turns, together with
    // whatever else was added meanwhile. The receive handler adds a line and
    // then repaints the status panel at once, and QWidget::repaint() paints
    // everything in the window that is marked: rows marked here would be
    // painted inside the handler too, once for each block. So is the
    // vertical scroll bar, whose range grows with every row: it is held, so
    // that the new range marks nothing until then.
    if (insertedTimer_.isActive()) {
        firstInsertedRow_ = std::min(firstInsertedRow_, start);
    } else {
        firstInsertedRow_ = start;
        verticalScrollBar()->setUpdatesEnabled(false);
        // A zero timer rather than a posted call: posting wakes the event
        // loop through a system call each time.
        insertedTimer_.start(0, this);
    }
    updateScrollBars();
}

void HistoryView::timerEvent(QTimerEvent* event) {
    if (event->timerId() == insertedTimer_.timerId()) {
        showInsertedRows();
        return;
    }
    QListView::timerEvent(event);
}

void HistoryView::showInsertedRows() {
    insertedTimer_.stop();
    verticalScrollBar()->setUpdatesEnabled(true); // marks it for painting
    // The new rows, and any that moved down to make room for them.
    const int top = rowTop(std::min(firstInsertedRow_, rowCount()));
    if (top < viewport()->height()) {
        viewport()->update(QRect(0, std::max(0, top), viewport()->width(), viewport()->height()));
    }
}

void HistoryView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    scheduleDelayedItemsLayout(); // scroll bars and rows once the rows are gone
}

void HistoryView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                              const QList<int>& roles) {
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

void HistoryView::updateGeometries() {
    updateScrollBars();
    QAbstractItemView::updateGeometries();
}

void HistoryView::updateScrollBars() {
    const int rows = rowCount();
    const QSize area = viewport()->size();
    QScrollBar* vertical = verticalScrollBar();
    if (verticalScrollMode() == ScrollPerItem) {
        const int page = rowsPerPage();
        vertical->setSingleStep(1);
        vertical->setPageStep(page);
        vertical->setRange(0, std::max(0, rows - page));
    } else {
        const qint64 height = rowHeight();
        vertical->setSingleStep(int(height));
        vertical->setPageStep(area.height());
        vertical->setRange(0, int(std::clamp<qint64>(rows * height - area.height(), 0, INT_MAX)));
    }
    QScrollBar* horizontal = horizontalScrollBar();
    if (charWidth_ == 0) {
        // Asked of the font file each time; this runs for every line added.
        charWidth_ = std::max(1, fontMetrics().averageCharWidth());
    }
    horizontal->setSingleStep(charWidth_);
    horizontal->setPageStep(area.width());
    horizontal->setRange(0, std::max(0, contentWidth_ - area.width()));
}

void HistoryView::scrollContentsBy(int dx, int dy) {
    // The rows already painted move; only the ones that come into view are
    // painted.
    const qint64 pixels = verticalScrollMode() == ScrollPerItem ? qint64(dy) * rowHeight() : dy;
    viewport()->scroll(dx, bounded(pixels));
}

QModelIndex HistoryView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers) {
    const int rows = rowCount();
    if (rows == 0) {
        return {};
    }
    const QModelIndex current = currentIndex();
    if (!current.isValid() || current.parent() != rootIndex()) {
        return rowIndex(cursorAction == MoveEnd ? rows - 1 : 0);
    }
    qint64 row = current.row();
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        row -= 1;
        break;
    case MoveDown:
    case MoveNext:
        row += 1;
        break;
    case MovePageUp: // as in QListView: the page's other end stays in view
        row -= std::max(1, rowsPerPage() - 1);
        break;
    case MovePageDown:
        row += std::max(1, rowsPerPage() - 1);
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = rows - 1;
        break;
    case MoveLeft:
    case MoveRight:
        return current; // one column: nothing beside a line
    }
    return rowIndex(int(std::clamp<qint64>(row, 0, rows - 1)));
}

void HistoryView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
    if (!selectionModel()) {
        return;
    }
    const QRect area = rect.normalized();
    const int left = -horizontalOffset();
    const int right = left + std::max(contentWidth_, viewport()->width());
    const qint64 first = std::max<qint64>(0, rowAtY(area.top()));
    const qint64 last = std::min<qint64>(rowCount() - 1, rowAtY(area.bottom()));
    QItemSelection selection;
    if (first <= last && area.right() >= left && area.left() < right) {
        selection.select(rowIndex(int(first)), rowIndex(int(last)));
    }
    selectionModel()->select(selection, command);
}

QRegion HistoryView::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    const QRect visible = viewport()->rect();
    const int width = std::max(contentWidth_, viewport()->width());
    for (const QItemSelectionRange& range : selection) {
        if (range.parent() != rootIndex() || range.left() > modelColumn() ||
            range.right() < modelColumn()) {
            continue;
        }
        const int top = rowTop(range.top());
        const int bottom = rowTop(qint64(range.bottom()) + 1);
        region += QRect(-horizontalOffset(), top, width, bottom - top).intersected(visible);
    }
    return region;
}

QSize HistoryView::viewportSizeHint() const {
    return QSize(contentWidth_, int(std::min<qint64>(qint64(rowCount()) * rowHeight(), INT_MAX)));
}

bool HistoryView::isIndexHidden(const QModelIndex&) const {
    return false;
}

void HistoryView::initViewItemOption(QStyleOptionViewItem* option) const {
    QListView::initViewItemOption(option);
    // History lines are hex digits and plain Latin-1 text: no script needs
    // shaping, and shaping was two thirds of the cost of painting a line.
    option->font.setStyleStrategy(QFont::PreferNoShaping);
}

void HistoryView::changeEvent(QEvent* event) {
    QListView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        rowHeight_ = 0;
        charWidth_ = 0;
        contentWidth_ = 0;
        widestText_ = -1;
        scheduleDelayedItemsLayout();
    }
}

void HistoryView::noteRowWidth(const QModelIndex& index, const QStyleOptionViewItem& option) {
    // Rows are as wide as the widest line painted so far (lines are measured
    // by their length first, so a row is measured only when it is longer
    // than any before): no line is cut short, and the scroll bar reaches it.
    const int length = int(index.data(Qt::DisplayRole).toString().size());
    if (length <= widestText_) {
        return;
    }
    widestText_ = length;
    const int width = itemDelegateForIndex(index)->sizeHint(option, index).width();
    if (width > contentWidth_) {
        contentWidth_ = width;
        // Not from inside the painting: the scroll bar may appear and take
        // room from the viewport.
        QTimer::singleShot(0, this, [this] { updateGeometries(); });
    }
}

void HistoryView::paintEvent(QPaintEvent* event) {
    const int rows = rowCount();
    if (rows == 0) {
        return; // the viewport's background is all there is
    }
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State state = option.state;
    const bool enabled = state.testFlag(QStyle::State_Enabled);
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const QModelIndex hover = pointerInside_ ? indexAt(pointer_) : QModelIndex();
    const QItemSelectionModel* selections = selectionModel();

    const QRect area = event->rect();
    const qint64 first = std::max<qint64>(0, rowAtY(area.top()));
    const qint64 last = std::min<qint64>(rows - 1, rowAtY(area.bottom()));
    for (qint64 row = first; row <= last; ++row) {
        const QModelIndex index = rowIndex(int(row));
        noteRowWidth(index, option);
        option.rect = visualRect(index);
        option.state = state;
        if (selections && selections->isSelected(index)) {
            option.state |= QStyle::State_Selected;
        }
        if (enabled) {
            const bool itemEnabled = model()->flags(index).testFlag(Qt::ItemIsEnabled);
            option.state.setFlag(QStyle::State_Enabled, itemEnabled);
            option.palette.setCurrentColorGroup(itemEnabled ? QPalette::Normal
                                                            : QPalette::Disabled);
        }
        if (focus && index == current) {
            option.state |= QStyle::State_HasFocus;
        }
        option.state.setFlag(QStyle::State_MouseOver, index == hover);
        option.features.setFlag(QStyleOptionViewItem::Alternate,
                                alternatingRowColors() && (row & 1) != 0);
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}
