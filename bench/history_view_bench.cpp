// What one more line costs a shown history list that follows its newest
// line, against the number of lines it already holds: QListView (which lays
// out every row again for each line) beside HistoryView. A line here is the
// whole of it: the append, the scroll to the bottom and the event loop's
// painting, as in the console.
//
//   history_view_bench
// Prints "history_view.name=value" lines.

#include "bench_figures.h"

#include "history_model.h"
#include "history_view.h"

#include <QApplication>
#include <QCursor>
#include <QListView>
#include <memory>
#include <string>

namespace {

constexpr int kTimedLines = 20;

ReceivedBlock statusBlock(std::size_t n) {
    ReceivedBlock block{0x02, 0x11, 0x90};
    block[3] = std::uint8_t(n);
    block[4] = std::uint8_t(n >> 8);
    block[27] = std::uint8_t(n);
    return block;
}

double millisPerLine(QApplication& app, QListView& view, std::size_t lines) {
    HistoryModel model;
    for (std::size_t n = 0; n < lines; ++n) {
        model.appendReceived(statusBlock(n), 3);
    }
    view.setModel(&model);
    view.resize(680, 121);
    view.show();
    view.scrollToBottom();
    for (int i = 0; i < 5; ++i) {
        app.processEvents();
    }
    const bench::Clock::time_point start = bench::Clock::now();
    for (int i = 0; i < kTimedLines; ++i) {
        model.appendReceived(statusBlock(lines + std::size_t(i)), 3);
        view.scrollToBottom();
        app.processEvents();
    }
    const double ms = bench::secondsSince(start) * 1000.0 / kTimedLines;
    view.hide();
    view.setModel(nullptr);
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QCursor::setPos(5000, 5000); // no pointer resting on the rows

    for (std::size_t lines : {std::size_t(1'000), std::size_t(100'000), std::size_t(1'000'000)}) {
        QListView listView;
        listView.setUniformItemSizes(true);
        const std::string key = "qlistview_ms_per_line_at_" + std::to_string(lines);
        bench::print("history_view", key.c_str(), millisPerLine(app, listView, lines));
    }
    for (std::size_t lines : {std::size_t(1'000), std::size_t(100'000), std::size_t(1'000'000),
                              std::size_t(10'000'000)}) {
        HistoryView historyView;
        const std::string key = "historyview_ms_per_line_at_" + std::to_string(lines);
        bench::print("history_view", key.c_str(), millisPerLine(app, historyView, lines));
    }
    return 0;
}
