#pragma once
// Draws the position plot with plain QPainter, so the window, a PNG and an
// SVG are one drawing: the x / y and z / c paths in steps side by side, each
// pair at one scale for both axes (a square drive draws square), and the
// buffer fill level over time below them.

#include <QRectF>

class PositionSeries;
class QPainter;

void PaintPositionPlot(QPainter& painter, const QRectF& area, const PositionSeries& series);
