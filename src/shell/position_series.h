#pragma once
// The positions and buffer fill levels reported since the last Clear
// History, kept for the position plot in bounded memory: at most `capacity`
// samples whatever the session's length. When the series is full every
// second sample goes and from then on only every second frame is kept (then
// every fourth, ...), so the whole session stays drawn at an even density;
// the newest frame is always kept as it is, so the plot ends where the
// machine stands.

#include <cstddef>
#include <cstdint>
#include <vector>

struct PlotSample {
    double timeMs = 0; // since the first frame of the series
    std::int32_t x = 0, y = 0, z = 0, c = 0;
    std::uint8_t fill = 0;
};

class PositionSeries {
public:
    explicit PositionSeries(std::size_t capacity = 4096);

    // A status frame received `elapsedMs` after the previous one (the first
    // frame of the series is time 0; a negative gap counts as none).
    void add(PlotSample sample, std::int32_t elapsedMs);
    void clear();

    // Every `stride()`-th frame, oldest first; the newest frame is newest().
    const std::vector<PlotSample>& kept() const { return kept_; }
    const PlotSample& newest() const { return newest_; }
    std::size_t frames() const { return frames_; }
    std::size_t stride() const { return stride_; }
    std::size_t capacity() const { return capacity_; }

private:
    std::size_t capacity_;
    std::size_t stride_ = 1;
    std::size_t frames_ = 0;
    double timeMs_ = 0;
    PlotSample newest_;
    std::vector<PlotSample> kept_;
};
