#include "position_series.h"

PositionSeries::PositionSeries(std::size_t capacity) : capacity_(capacity < 2 ? 2 : capacity) {
    kept_.reserve(capacity_);
}

void PositionSeries::add(PlotSample sample, std::int32_t elapsedMs) {
    if (frames_ > 0 && elapsedMs > 0) {
        timeMs_ += elapsedMs;
    }
    sample.timeMs = timeMs_;
    newest_ = sample;
    if (frames_ % stride_ == 0) {
        if (kept_.size() == capacity_) {
            // Keep frames 0, 2s, 4s, ...: the ones a doubled stride would have kept.
            std::size_t to = 0;
            for (std::size_t from = 0; from < kept_.size(); from += 2) {
                kept_[to++] = kept_[from];
            }
            kept_.resize(to);
            stride_ *= 2;
        }
        if (frames_ % stride_ == 0) {
            kept_.push_back(sample);
        }
    }
    ++frames_;
}

void PositionSeries::clear() {
    kept_.clear();
    stride_ = 1;
    frames_ = 0;
    timeMs_ = 0;
    newest_ = PlotSample{};
}
