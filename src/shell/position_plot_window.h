#pragma once
// "Position Plot": the positions and the buffer fill level that the status
// frames in the history report since the last Clear History. It reads the
// history rather than the receive path: a row appended to the history only
// marks the plot as behind, and a timer at display pace (at most 30 times a
// second, and only while the window is shown) decodes the new received
// lines and repaints once, however many frames came in between.

#include <QTimer>
#include <QWidget>

#include <cstddef>
#include <string>

#include "position_plot_painter.h"
#include "position_series.h"

class HistoryModel;
class QLabel;

class PositionPlotCanvas : public QWidget {
    Q_OBJECT
public:
    PositionPlotCanvas(const PositionSeries& series, QWidget* parent);
    QSize sizeHint() const override { return {900, 620}; }
    int paints() const { return paints_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const PositionSeries& series_;
    PositionPlotAxesCache axes_;
    int paints_ = 0;
};

class PositionPlotWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRepaintIntervalMs = 33;

    explicit PositionPlotWindow(const HistoryModel& history, QWidget* parent = nullptr);

    const PositionSeries& series() const { return series_; }
    PositionPlotCanvas* canvas() const { return canvas_; }

    // The drawing at the given size, as the window shows it.
    bool savePng(const QString& path, QSize size) const;
    bool saveSvg(const QString& path, QSize size) const;

public slots:
    // Asks for a file name and type, and writes the plot there.
    void saveAs();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void historyGrew();
    void historyCleared();
    void historyShrank();
    // Decodes the received lines appended since the last catch-up.
    void catchUp();
    void repaintNow();
    void repaintAll();

    const HistoryModel& history_;
    PositionSeries series_;
    std::size_t nextRow_ = 0;
    std::string line_;
    // What the canvas showed at its last update: only what changed since is
    // repainted.
    std::size_t shownFrames_ = 0;
    PositionPlotShown shown_;
    QTimer repaint_;
    PositionPlotCanvas* canvas_ = nullptr;
    QLabel* status_ = nullptr;
};
