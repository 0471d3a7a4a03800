#pragma once
// Draws the position plot with plain QPainter, so the window, a PNG and an
// SVG are one drawing: the x / y and z / c paths in steps side by side, each
// pair at one scale for both axes (a square drive draws square), and the
// buffer fill level over time below them.

#include <QPixmap>
#include <QPointF>
#include <QRectF>
#include <QRegion>
#include <QString>

#include <array>
#include <cstddef>

class PositionSeries;
class QFont;
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

// Paints the panes that meet `exposed` (all of them when it is empty).
void PaintPositionPlot(QPainter& painter, const QRectF& area, const PositionSeries& series,
                       const QRegion& exposed = QRegion(), PositionPlotAxesCache* cache = nullptr);

// What a canvas showed at its last update, per pane: its scale, where the
// newest frame was drawn, how many samples were kept.
struct PositionPlotShown {
    struct Pane {
        std::array<double, 4> ranges{};
        QPointF newest;
        std::size_t kept = 0;
    };
    std::array<Pane, 3> panes;
    bool valid = false;
    QRectF area;
    std::size_t stride = 0;
};

// The part of the canvas that the series' new frames change since `shown`
// (which it then updates): a whole pane whose scale changed, otherwise only
// the new stretch of line, the marker and the reading above the pane. At
// display pace a moving axis pair changes a few hundred pixels, not a pane.
QRegion PositionPlotChange(const QRectF& area, const QFont& font, const PositionSeries& series,
                           PositionPlotShown& shown);
