#include "position_plot_window.h"

#include "history_model.h"
#include "position_plot_painter.h"

#include <history_entry.h>

#include <QFileDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QSvgGenerator>
#include <QVBoxLayout>

namespace {

constexpr std::string_view kReceivedPrefix = "IN < ";

} // namespace

PositionPlotCanvas::PositionPlotCanvas(const PositionSeries& series, QWidget* parent)
    : QWidget(parent), series_(series) {
    setObjectName("PositionPlotCanvas");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(480, 340);
    setAccessibleName("Position plot");
}

void PositionPlotCanvas::paintEvent(QPaintEvent* event) {
    ++paints_;
    QPainter painter(this);
    PaintPositionPlot(painter, rect(), series_, event->region(), &axes_);
}

PositionPlotWindow::PositionPlotWindow(const HistoryModel& history, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(history) {
    setObjectName("PositionPlot");
    setWindowTitle("Position Plot");

    canvas_ = new PositionPlotCanvas(series_, this);
    status_ = new QLabel(this);
    status_->setObjectName("PositionPlotStatus");
    auto* save = new QPushButton("Save Plot As...", this);
    save->setObjectName("SavePlot");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(canvas_, 1);
    layout->addLayout(bottom);
    connect(save, &QPushButton::clicked, this, &PositionPlotWindow::saveAs);

    repaint_.setSingleShot(true);
    repaint_.setInterval(kRepaintIntervalMs);
    connect(&repaint_, &QTimer::timeout, this, &PositionPlotWindow::repaintNow);
    connect(&history_, &QAbstractItemModel::rowsInserted, this, &PositionPlotWindow::historyGrew);
    connect(&history_, &QAbstractItemModel::modelReset, this, &PositionPlotWindow::historyCleared);
    connect(&history_, &QAbstractItemModel::rowsRemoved, this, &PositionPlotWindow::historyShrank);
    catchUp();
}

void PositionPlotWindow::historyGrew() {
    // Only marks the plot as behind; the decoding waits for the next frame of
    // the display.
    if (isVisible() && !repaint_.isActive()) {
        repaint_.start();
    }
}

void PositionPlotWindow::historyCleared() {
    series_.clear();
    nextRow_ = 0;
    repaintAll();
}

void PositionPlotWindow::historyShrank() {
    // A withdrawn sent line; a received line already plotted stays.
    nextRow_ = std::min(nextRow_, static_cast<std::size_t>(history_.count()));
}

void PositionPlotWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    repaintAll();
}

void PositionPlotWindow::catchUp() {
    const HistoryRecords& records = history_.records();
    for (; nextRow_ < records.count(); ++nextRow_) {
        line_.clear();
        records.appendLineTo(nextRow_, line_);
        if (line_.compare(0, kReceivedPrefix.size(), kReceivedPrefix) != 0) {
            continue;
        }
        if (const auto entry = ParseHistoryEntry(line_)) {
            const StatusReport& s = entry->status;
            series_.add({0, s.positionX, s.positionY, s.positionZ, s.positionC, s.fillLevel},
                        entry->elapsedMs);
        }
    }
}

void PositionPlotWindow::repaintAll() {
    catchUp();
    shownFrames_ = series_.frames();
    shown_ = PositionPlotShown{};
    PositionPlotChange(canvas_->rect(), canvas_->font(), series_, shown_);
    canvas_->update();
}

void PositionPlotWindow::repaintNow() {
    catchUp();
    if (series_.frames() == shownFrames_) {
        return;
    }
    shownFrames_ = series_.frames();
    canvas_->update(PositionPlotChange(canvas_->rect(), canvas_->font(), series_, shown_));
}

bool PositionPlotWindow::savePng(const QString& path, QSize size) const {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        PaintPositionPlot(painter, QRectF(QPointF(0, 0), QSizeF(size)), series_);
    }
    return image.save(path, "PNG");
}

bool PositionPlotWindow::saveSvg(const QString& path, QSize size) const {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle("Position Plot");
    svg.setDescription("Kelmora: x / y and z / c positions and the buffer fill level");
    QPainter painter;
    if (!painter.begin(&svg)) {
        return false;
    }
    PaintPositionPlot(painter, QRectF(QPointF(0, 0), QSizeF(size)), series_);
    return painter.end();
}

void PositionPlotWindow::saveAs() {
    QString filter;
    QString path = QFileDialog::getSaveFileName(this, "Save Plot As...", "Kelmora_position_plot",
                                                "PNG Image (*.png);;SVG Drawing (*.svg)", &filter);
    if (path.isEmpty()) {
        return;
    }
    const bool svg = path.endsWith(".svg", Qt::CaseInsensitive) ||
                     (!path.endsWith(".png", Qt::CaseInsensitive) && filter.startsWith("SVG"));
    if (!path.contains('.')) {
        path += svg ? ".svg" : ".png";
    }
    const bool ok = svg ? saveSvg(path, canvas_->size()) : savePng(path, canvas_->size());
    status_->setText(ok ? QStringLiteral("Plot saved to %1").arg(path)
                        : QStringLiteral("Could not save the plot to %1").arg(path));
}
