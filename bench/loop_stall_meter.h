#pragma once
// The longest time the event loop was kept from its timers: a 1 ms precise
// timer notes the gap between its ticks; a loop that never blocks sees gaps
// of about 1 ms, a handler that holds the loop shows up as a longer one.

#include "bench_figures.h"

#include <QTimer>
#include <algorithm>

namespace bench {

class LoopStallMeter {
public:
    LoopStallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const Clock::time_point now = Clock::now();
            const double gapMs = microsBetween(last_, now) / 1000.0;
            worstGapMs_ = std::max(worstGapMs_, gapMs);
            if (gapMs > 16.0) {
                ++gapsOver16Ms_;
            }
            last_ = now;
        });
    }

    void start() {
        worstGapMs_ = 0;
        gapsOver16Ms_ = 0;
        last_ = Clock::now();
        timer_.start();
    }
    void stop() { timer_.stop(); }

    // The longest gap between two ticks, the 1 ms the timer waits included.
    double worstGapMs() const { return worstGapMs_; }
    int gapsOver16Ms() const { return gapsOver16Ms_; }

private:
    QTimer timer_;
    Clock::time_point last_ = Clock::now();
    double worstGapMs_ = 0;
    int gapsOver16Ms_ = 0;
};

} // namespace bench
