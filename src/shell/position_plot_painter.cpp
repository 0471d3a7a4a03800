#include "position_plot_painter.h"

#include "position_series.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace {

const QColor kBackground(0xff, 0xff, 0xff);
const QColor kFrame(0x60, 0x60, 0x60);
const QColor kGrid(0xe2, 0xe2, 0xe2);
const QColor kText(0x20, 0x20, 0x20);
const QColor kXyPath(0x1f, 0x5f, 0xbf);
const QColor kZcPath(0x2e, 0x8b, 0x57);
const QColor kFillPath(0xd9, 0x82, 0x2b);
const QColor kNewest(0xd0, 0x20, 0x20);

struct Range {
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    void take(double v) {
        low = std::min(low, v);
        high = std::max(high, v);
    }
    double span() const { return high - low; }
};

// A tick spacing of 1, 2 or 5 times a power of ten giving about `count` ticks.
double TickStep(double span, int count) {
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= raw) {
            return factor * power;
        }
    }
    return 10 * power;
}

QString Number(double value) {
    return QString::number(std::abs(value) < 1e-9 ? 0.0 : value, 'g', 7);
}

// Maps plot values into a pane's inner rectangle.
struct Mapping {
    QRectF inner;
    Range x, y;
    QPointF operator()(double vx, double vy) const {
        return {inner.left() + (vx - x.low) / x.span() * inner.width(),
                inner.bottom() - (vy - y.low) / y.span() * inner.height()};
    }
};

void DrawAxes(QPainter& painter, const Mapping& map, const QString& title, const QString& xName,
              const QString& yName) {
    const QFontMetricsF metrics(painter.font());
    // The grid is straight lines on whole pixels: no antialiasing needed.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(kGrid, 0));
    const double xStep = TickStep(map.x.span(), 5);
    const double yStep = TickStep(map.y.span(), 5);
    painter.setPen(kText);
    for (double v = std::ceil(map.x.low / xStep) * xStep; v <= map.x.high; v += xStep) {
        const QPointF at = map(v, map.y.low);
        painter.setPen(QPen(kGrid, 0));
        painter.drawLine(QPointF(at.x(), map.inner.top()), QPointF(at.x(), map.inner.bottom()));
        painter.setPen(kText);
        const QString text = Number(v);
        painter.drawText(QPointF(at.x() - metrics.horizontalAdvance(text) / 2,
                                 map.inner.bottom() + metrics.ascent() + 3),
                         text);
    }
    for (double v = std::ceil(map.y.low / yStep) * yStep; v <= map.y.high; v += yStep) {
        const QPointF at = map(map.x.low, v);
        painter.setPen(QPen(kGrid, 0));
        painter.drawLine(QPointF(map.inner.left(), at.y()), QPointF(map.inner.right(), at.y()));
        painter.setPen(kText);
        const QString text = Number(v);
        painter.drawText(QPointF(map.inner.left() - metrics.horizontalAdvance(text) - 4,
                                 at.y() + metrics.ascent() / 2 - 1),
                         text);
    }
    painter.setPen(QPen(kFrame, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(map.inner);
    painter.restore();
    painter.setPen(kText);
    QFont bold = painter.font();
    bold.setBold(true);
    painter.save();
    painter.setFont(bold);
    painter.drawText(QPointF(map.inner.left(), map.inner.top() - metrics.descent() - 4), title);
    painter.restore();
    painter.drawText(QPointF(map.inner.right() - metrics.horizontalAdvance(xName),
                             map.inner.bottom() + 2 * metrics.height() + 2),
                     xName);
    // The axis names are a letter or a sign: upright, beside the tick labels.
    painter.drawText(QPointF(map.inner.left() - metrics.horizontalAdvance("-0000000") - 10 -
                                 metrics.horizontalAdvance(yName),
                             map.inner.center().y() + metrics.ascent() / 2),
                     yName);
}

// DrawAxes through the cache: drawn once into a picture of the pane, then
// copied while the pane's place, ranges and names stay as they were.
void DrawAxesCached(QPainter& painter, const QRectF& pane, const Mapping& map, const QString& title,
                    const QString& xName, const QString& yName,
                    PositionPlotAxesCache::Entry* entry) {
    if (!entry) {
        DrawAxes(painter, map, title, xName, yName);
        return;
    }
    const QString key = QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9")
                            .arg(pane.x())
                            .arg(pane.y())
                            .arg(pane.width())
                            .arg(pane.height())
                            .arg(map.x.low)
                            .arg(map.x.high)
                            .arg(map.y.low)
                            .arg(map.y.high)
                            .arg(title);
    const qreal ratio = painter.device()->devicePixelRatioF();
    if (entry->key != key || entry->picture.devicePixelRatioF() != ratio) {
        entry->picture = QPixmap((pane.size() * ratio).toSize());
        entry->picture.setDevicePixelRatio(ratio);
        entry->picture.fill(kBackground);
        QPainter picture(&entry->picture);
        picture.setRenderHints(painter.renderHints());
        picture.setFont(painter.font());
        picture.translate(-pane.topLeft());
        DrawAxes(picture, map, title, xName, yName);
        entry->key = key;
    }
    painter.drawPixmap(pane.topLeft(), entry->picture);
}

// The inner rectangle of a pane: room for the title, tick labels and names.
QRectF Inner(const QRectF& pane, const QFontMetricsF& metrics) {
    const double left = metrics.horizontalAdvance("-0000000") + metrics.height() + 14;
    // Room for the half of the last tick label that overhangs the pane.
    const double right = metrics.horizontalAdvance("000") + 4;
    return pane.adjusted(left, metrics.height() + 8, -right, -(2 * metrics.height() + 8));
}

void DrawEmpty(QPainter& painter, const QRectF& inner) {
    painter.setPen(QPen(kFrame, 1));
    painter.drawRect(inner);
    painter.setPen(kText);
    painter.drawText(inner, Qt::AlignCenter,
                     QStringLiteral("No status frames since Clear History"));
}

// Appends a point unless it falls within half a pixel of the last one, and
// stretches a level or upright run instead of adding to it: a machine at rest
// reports the same position, and the fill level the same percentage,
// hundreds of times a second, and stroking every one of them would cost each
// paint without changing a pixel.
void AppendDistinct(QPolygonF& line, const QPointF& point) {
    const qsizetype n = line.size();
    if (n > 0) {
        const QPointF step = point - line[n - 1];
        if (std::abs(step.x()) < 0.5 && std::abs(step.y()) < 0.5) {
            return;
        }
    }
    if (n > 1) {
        const QPointF& a = line[n - 2];
        const QPointF& b = line[n - 1];
        const bool level = std::abs(a.y() - b.y()) < 0.5 && std::abs(b.y() - point.y()) < 0.5;
        const bool upright = std::abs(a.x() - b.x()) < 0.5 && std::abs(b.x() - point.x()) < 0.5;
        const bool onward = (point.x() - b.x()) * (b.x() - a.x()) >= 0 &&
                            (point.y() - b.y()) * (b.y() - a.y()) >= 0;
        if ((level || upright) && onward) {
            line[n - 1] = point;
            return;
        }
    }
    line << point;
}

using Coordinate = std::function<double(const PlotSample&)>;

Mapping PathMapping(const QRectF& inner, const PositionSeries& series, const Coordinate& first,
                    const Coordinate& second) {
    Range x, y;
    for (const PlotSample& s : series.kept()) {
        x.take(first(s));
        y.take(second(s));
    }
    x.take(first(series.newest()));
    y.take(second(series.newest()));
    // One scale for both axes, with a margin and at least 10 steps shown.
    const double unitsPerPixel =
        std::max({x.span() / inner.width(), y.span() / inner.height(), 10.0 / inner.height()}) *
        1.15;
    const double midX = (x.low + x.high) / 2, midY = (y.low + y.high) / 2;
    return {inner,
            {midX - unitsPerPixel * inner.width() / 2, midX + unitsPerPixel * inner.width() / 2},
            {midY - unitsPerPixel * inner.height() / 2, midY + unitsPerPixel * inner.height() / 2}};
}

Mapping FillMapping(const QRectF& inner, const PositionSeries& series) {
    Range time;
    Range fill;
    fill.take(0);
    fill.take(100);
    time.take(0);
    // The time axis ends on a tick, so that it stays put for a while.
    const double seconds = std::max(series.newest().timeMs / 1000.0, 1.0);
    const double tick = TickStep(seconds, 5);
    time.take(std::ceil(seconds / tick) * tick);
    for (const PlotSample& s : series.kept()) {
        fill.take(s.fill);
    }
    fill.take(series.newest().fill);
    return {inner, time, fill};
}

const Coordinate kFirst[2] = {[](const PlotSample& s) { return double(s.x); },
                              [](const PlotSample& s) { return double(s.z); }};
const Coordinate kSecond[2] = {[](const PlotSample& s) { return double(s.y); },
                               [](const PlotSample& s) { return double(s.c); }};

void DrawPathPane(QPainter& painter, const QRectF& pane, const PositionSeries& series,
                  const QString& title, const QString& xName, const QString& yName,
                  const Coordinate& first, const Coordinate& second, const QColor& colour,
                  PositionPlotAxesCache::Entry* cache) {
    const QFontMetricsF metrics(painter.font());
    const QRectF inner = Inner(pane, metrics);
    if (series.frames() == 0) {
        DrawEmpty(painter, inner);
        return;
    }
    const Mapping map = PathMapping(inner, series, first, second);
    DrawAxesCached(painter, pane, map, title, xName, yName, cache);

    QPolygonF path;
    path.reserve(static_cast<qsizetype>(series.kept().size() + 1));
    for (const PlotSample& s : series.kept()) {
        AppendDistinct(path, map(first(s), second(s)));
    }
    const QPointF newest = map(first(series.newest()), second(series.newest()));
    path << newest;
    painter.save();
    painter.setClipRect(inner);
    painter.setPen(QPen(colour, 0));
    painter.drawPolyline(path);
    painter.setPen(QPen(colour, 1.2));
    painter.setBrush(kBackground);
    painter.drawEllipse(path.front(), 3.5, 3.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kNewest);
    painter.drawEllipse(newest, 4, 4);
    painter.restore();
    painter.setPen(kText);
    const QString where = QStringLiteral("%1 %2, %3 %4")
                              .arg(xName)
                              .arg(first(series.newest()))
                              .arg(yName)
                              .arg(second(series.newest()));
    painter.drawText(QPointF(inner.right() - metrics.horizontalAdvance(where),
                             inner.top() - metrics.descent() - 4),
                     where);
}

void DrawFillPane(QPainter& painter, const QRectF& pane, const PositionSeries& series,
                  PositionPlotAxesCache::Entry* cache) {
    const QFontMetricsF metrics(painter.font());
    const QRectF inner = Inner(pane, metrics);
    if (series.frames() == 0) {
        DrawEmpty(painter, inner);
        return;
    }
    const Mapping map = FillMapping(inner, series);
    DrawAxesCached(painter, pane, map, QStringLiteral("Buffer fill level"), QStringLiteral("s"),
                   QStringLiteral("%"), cache);
    QPolygonF line;
    line.reserve(static_cast<qsizetype>(series.kept().size() + 1));
    for (const PlotSample& s : series.kept()) {
        AppendDistinct(line, map(s.timeMs / 1000.0, s.fill));
    }
    line << map(series.newest().timeMs / 1000.0, series.newest().fill);
    painter.save();
    painter.setClipRect(inner.adjusted(-2, -2, 2, 2));
    painter.setPen(QPen(kFillPath, 0));
    painter.drawPolyline(line);
    painter.restore();
    painter.setPen(kText);
    const QString summary = QStringLiteral("%1 status frames, %2 %, %3 s")
                                .arg(series.frames())
                                .arg(series.newest().fill)
                                .arg(series.newest().timeMs / 1000.0, 0, 'f', 1);
    painter.drawText(QPointF(inner.right() - metrics.horizontalAdvance(summary),
                             inner.top() - metrics.descent() - 4),
                     summary);
}

} // namespace

PositionPlotPanes PositionPlotLayout(const QRectF& area) {
    const double pathsHeight = area.height() * 0.68;
    const double half = area.width() / 2;
    return {
        QRectF(area.left(), area.top(), half, pathsHeight),
        QRectF(area.left() + half, area.top(), area.width() - half, pathsHeight),
        QRectF(area.left(), area.top() + pathsHeight, area.width(), area.height() - pathsHeight)};
}

void PaintPositionPlot(QPainter& painter, const QRectF& area, const PositionSeries& series,
                       const QRegion& exposed, PositionPlotAxesCache* cache) {
    auto entry = [cache](std::size_t pane) { return cache ? &cache->panes[pane] : nullptr; };
    const PositionPlotPanes panes = PositionPlotLayout(area);
    // Panes meet on fractional pixels; a sliver of a pixel is not a pane shown.
    auto shown = [&exposed](const QRectF& pane) {
        return exposed.isEmpty() || exposed.intersects(pane.toRect().adjusted(1, 1, -1, -1));
    };
    // A cached picture of the axes covers its pane's background already.
    const bool filled = !cache || series.frames() == 0;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (shown(panes.xy)) {
        if (filled) {
            painter.fillRect(panes.xy, kBackground);
        }
        DrawPathPane(
            painter, panes.xy, series, QStringLiteral("x / y (steps)"), QStringLiteral("x"),
            QStringLiteral("y"), [](const PlotSample& s) { return double(s.x); },
            [](const PlotSample& s) { return double(s.y); }, kXyPath, entry(0));
    }
    if (shown(panes.zc)) {
        if (filled) {
            painter.fillRect(panes.zc, kBackground);
        }
        DrawPathPane(
            painter, panes.zc, series, QStringLiteral("z / c (steps)"), QStringLiteral("z"),
            QStringLiteral("c"), [](const PlotSample& s) { return double(s.z); },
            [](const PlotSample& s) { return double(s.c); }, kZcPath, entry(1));
    }
    if (shown(panes.fill)) {
        if (filled) {
            painter.fillRect(panes.fill, kBackground);
        }
        DrawFillPane(painter, panes.fill, series, entry(2));
    }
    painter.restore();
}

QRegion PositionPlotChange(const QRectF& area, const QFont& font, const PositionSeries& series,
                           PositionPlotShown& shown) {
    const PositionPlotPanes panes = PositionPlotLayout(area);
    const QRectF paneRects[3] = {panes.xy, panes.zc, panes.fill};
    const QFontMetricsF metrics(font);
    QRegion change;
    for (int pane = 0; pane < 3; ++pane) {
        const QRectF& rect = paneRects[pane];
        const QRectF inner = Inner(rect, metrics);
        const Mapping map = pane < 2 ? PathMapping(inner, series, kFirst[pane], kSecond[pane])
                                     : FillMapping(inner, series);
        auto at = [&](const PlotSample& s) {
            return pane < 2 ? map(kFirst[pane](s), kSecond[pane](s))
                            : map(s.timeMs / 1000.0, s.fill);
        };
        PositionPlotShown::Pane& was = shown.panes[static_cast<std::size_t>(pane)];
        const std::array<double, 4> ranges{map.x.low, map.x.high, map.y.low, map.y.high};
        const QPointF newest = at(series.newest());
        const bool sameScale = shown.valid && was.ranges == ranges && shown.area == area &&
                               shown.stride == series.stride() && series.frames() > 0;
        if (!sameScale) {
            change += rect.toAlignedRect();
        } else if (newest != was.newest || pane == 2) {
            // The new stretch of line, from the last sample kept before it on,
            // the moved marker, and the reading above the pane.
            QRectF moved(was.newest, newest);
            moved = moved.normalized();
            const std::size_t from = was.kept > 0 ? was.kept - 1 : 0;
            for (std::size_t k = from; k < series.kept().size(); ++k) {
                const QPointF p = at(series.kept()[k]);
                moved |= QRectF(p, p);
            }
            change += moved.adjusted(-6, -6, 6, 6)
                          .toAlignedRect()
                          .intersected(inner.adjusted(-6, -6, 6, 6).toAlignedRect());
            change += QRectF(rect.left(), rect.top(), rect.width(), inner.top() - rect.top())
                          .toAlignedRect();
        }
        was.ranges = ranges;
        was.newest = newest;
        was.kept = series.kept().size();
    }
    shown.valid = series.frames() > 0;
    shown.area = area;
    shown.stride = series.stride();
    return change;
}
