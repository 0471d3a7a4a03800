#pragma once
// What every benchmark prints: one "group.name=value" per line, so scripts
// can pick figures out with grep and cut. Also the clock and the summaries
// (median, 99th percentile, worst) the benchmarks share.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <time.h>
#include <vector>

namespace bench {

// The 115200-baud line: 10 bits a byte, 32-byte status frames.
constexpr double kLineStatusFramesPerSecond = 360.0;
// The same line carrying 64-byte command frames.
constexpr double kLineCommandFramesPerSecond = 180.0;

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double microsBetween(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::micro>(end - start).count();
}

// CLOCK_MONOTONIC in microseconds: the clock kelmora-sim --stamp writes.
inline std::uint64_t monotonicMicros() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint64_t(now.tv_sec) * 1'000'000u + std::uint64_t(now.tv_nsec) / 1000u;
}

inline void print(const char* group, const char* name, double value) {
    std::printf("%s.%s=%.3f\n", group, name, value);
    std::fflush(stdout);
}

struct Summary {
    double median = 0;
    double p99 = 0;
    double worst = 0;
    double mean = 0;
};

// Nearest-rank percentiles of the samples (reordered in place).
inline Summary summarize(std::vector<double>& samples) {
    Summary s;
    if (samples.empty()) {
        return s;
    }
    std::sort(samples.begin(), samples.end());
    const auto rank = [&](double fraction) {
        const std::size_t n = samples.size();
        std::size_t index = static_cast<std::size_t>(std::ceil(fraction * double(n)));
        index = std::clamp<std::size_t>(index, 1, n) - 1;
        return samples[index];
    };
    s.median = rank(0.5);
    s.p99 = rank(0.99);
    s.worst = samples.back();
    double total = 0;
    for (double v : samples) {
        total += v;
    }
    s.mean = total / double(samples.size());
    return s;
}

} // namespace bench
