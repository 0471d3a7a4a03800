#pragma once
// For the start-up programs: prints the microseconds from process start to
// the moment the watched window has been painted for the first time, then
// ends the program. "Process start" is the CLOCK_MONOTONIC time that
// startup_bench took just before starting this process, handed over in
// KELMORA_BENCH_START_US, so loading the program and its libraries counts.

#include "bench_figures.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace bench {

// "startup.<stage>_us=": microseconds from process start to now.
inline void printStartupStage(const char* stage) {
    const char* start = std::getenv("KELMORA_BENCH_START_US");
    const double startMicros = start ? std::strtod(start, nullptr) : 0.0;
    const double micros = start ? double(monotonicMicros()) - startMicros : -1.0;
    std::printf("startup.%s_us=%.0f\n", stage, micros);
    std::fflush(stdout);
}

class FirstPaintProbe : public QObject {
public:
    explicit FirstPaintProbe(QWidget* window) : window_(window) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            // The rest of this painting pass (the children) ends first.
            QMetaObject::invokeMethod(
                this,
                [] {
                    printStartupStage("shown");
                    QCoreApplication::quit();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    QWidget* window_;
    bool seen_ = false;
};

} // namespace bench
