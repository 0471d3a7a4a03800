#pragma once
// The view of a history list: one line a row, every row as high as the
// others, the newest at the bottom.
//
// QListView lays out all of its rows again whenever one is added (about a
// tenth of a microsecond a row: a line added to a history of a million lines
// costs 100 ms) and repaints every visible row each time. Here a row's place
// follows from its number alone, so adding a line costs the same at ten lines
// as at ten million, and only what changes is painted: a line added at the
// bottom while the view follows it is one scroll and one row.
//
// It is a QListView for everything else: selection, keyboard, style sheet
// rules written for QListView, and code holding it as a QListView. What it
// leaves out of QListView: hidden rows, icon mode, wrapping, grid and
// spacing, and dragging, none of which a history uses.

#include <QBasicTimer>
#include <QListView>

class QScrollBar;

class HistoryView : public QListView {
    Q_OBJECT

public:
    explicit HistoryView(QWidget* parent = nullptr);

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    void doItemsLayout() override;
    void reset() override;

protected slots:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void updateGeometries() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void timerEvent(QTimerEvent* event) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    QSize viewportSizeHint() const override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void initViewItemOption(QStyleOptionViewItem* option) const override;

private:
    void layOutBarsOnlyWhenShownOrHidden(QScrollBar* bar, bool& needed);
    // The scroll bars' ranges and steps for the rows and widths as they are
    // now; a line added needs no more of updateGeometries() than this.
    void updateScrollBars();
    int rowCount() const;
    int rowHeight() const;
    // Rows wholly inside the viewport, at least one.
    int rowsPerPage() const;
    // The row at viewport height y, not bounded by the row count.
    qint64 rowAtY(int y) const;
    // Viewport y of the top of `row`, bounded so rows far away stay rects.
    int rowTop(qint64 row) const;
    QModelIndex rowIndex(int row) const;
    void noteRowWidth(const QModelIndex& index, const QStyleOptionViewItem& option);
    // Paints the lines added since the event loop last turned; see
    // rowsInserted().
    void showInsertedRows();

    mutable int rowHeight_ = 0;        // 0: measure again
    mutable qreal rowHeightRatio_ = 0; // the device pixel ratio it was measured for
    int charWidth_ = 0;                // the horizontal scroll step; 0: measure again
    int contentWidth_ = 0;             // the widest row painted so far, kept through clearing
    int widestText_ = -1;              // its length in characters
    QBasicTimer insertedTimer_;        // active while added rows wait to be shown
    int firstInsertedRow_ = 0;         // of those not yet shown
    QPoint pointer_;                   // in the viewport, as last seen
    bool pointerInside_ = false;
    bool horizontalBarNeeded_ = false; // its range is not empty
    bool verticalBarNeeded_ = false;
};
