#pragma once
// Draws the position plot with plain QPainter, so the window, a PNG and an
// SVG are one drawing: the x / y and z / c paths in steps side by side, each
// pair at one scale for both axes (a square drive draws square), and the
// buffer fill level over time below them.

#include <QPixmap>
#include <QRectF>
#include <QString>

#include <array>

class PositionSeries;
class QPainter;

// The frame, grid, tick labels and names of each pane, kept as pictures
// while the pane's place and ranges stay the same: the text is most of a
// paint's cost, and at display pace only the lines change. A window keeps
// one; a PNG or SVG is drawn without it, SVG as vectors throughout.
class PositionPlotAxesCache {
public:
    struct Entry {
        QString key;
        QPixmap picture;
    };
    std::array<Entry, 3> panes;
};

// Where the three panes go in `area`.
struct PositionPlotPanes {
    QRectF xy, zc, fill;
};
PositionPlotPanes PositionPlotLayout(const QRectF& area);

// Paints the panes that meet `exposed` (all of them by default).
void PaintPositionPlot(QPainter& painter, const QRectF& area, const PositionSeries& series,
                       const QRectF& exposed = QRectF(), PositionPlotAxesCache* cache = nullptr);
