#pragma once
// The longest time the event loop was kept from its timers: a 1 ms precise
// timer notes the gap between its ticks; a loop that never blocks sees gaps
// of about 1 ms, a handler that holds the loop shows up as a longer one.
// Beside it, the most CPU time the thread spent between two ticks: a long gap
// with little CPU in it is the process waiting for a core, not its own work.

#include "bench_figures.h"

#include <QTimer>
#include <algorithm>
#include <time.h>

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
            const double cpu = threadCpuMs();
            worstBusyMs_ = std::max(worstBusyMs_, cpu - lastCpuMs_);
            lastCpuMs_ = cpu;
        });
    }

    void start() {
        worstGapMs_ = 0;
        gapsOver16Ms_ = 0;
        worstBusyMs_ = 0;
        last_ = Clock::now();
        lastCpuMs_ = threadCpuMs();
        timer_.start();
    }
    void stop() { timer_.stop(); }

    // The longest gap between two ticks, the 1 ms the timer waits included.
    double worstGapMs() const { return worstGapMs_; }
    int gapsOver16Ms() const { return gapsOver16Ms_; }
    // The most CPU time the thread used between two ticks.
    double worstBusyMs() const { return worstBusyMs_; }

private:
    static double threadCpuMs() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    }

    QTimer timer_;
    Clock::time_point last_ = Clock::now();
    double worstGapMs_ = 0;
    int gapsOver16Ms_ = 0;
    double worstBusyMs_ = 0;
    double lastCpuMs_ = 0;
};

} // namespace bench
