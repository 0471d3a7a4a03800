#pragma once
// The four axes of the simulated machine and the queue of motions they work
// through in the order the frames arrived. Every axis runs at the same speed;
// the axes of one motion are interpolated linearly so that they arrive
// together, the longest distance setting the time.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>

namespace sim {

constexpr std::size_t kAxisCount = 4;
enum AxisIndex : std::size_t { kAxisX = 0, kAxisY = 1, kAxisZ = 2, kAxisC = 3 };

using AxisPositions = std::array<std::int32_t, kAxisCount>; // x, y, z, c in steps

class MotionQueue {
public:
    // Entries: one per target point, one per axis of a reference run. Fifty
    // entries make every entry exactly two percent of the fill level.
    static constexpr std::size_t kCapacity = 50;

    // Speeds outside this range are held to it.
    static constexpr double kMinStepsPerSecond = 1.0;
    static constexpr double kMaxStepsPerSecond = 1e9;

    MotionQueue(double stepsPerSecond, std::chrono::microseconds referenceDwell);

    std::size_t entries() const { return steps_.size(); }
    std::size_t freeEntries() const { return kCapacity - steps_.size(); }

    // Both return false, and queue nothing, when the queue is full.
    bool queueMove(std::size_t firstAxis, std::int32_t firstTarget, std::size_t secondAxis,
                   std::int32_t secondTarget);
    // Runs the axis to its reference position 0, then keeps it there for the
    // dwell time with its end switch closed.
    bool queueReference(std::size_t axis);

    void advance(std::chrono::microseconds elapsed);

    // Redefines where the axes stand. A motion under way starts again from
    // the new coordinates towards its target.
    void setPositions(const AxisPositions& positions);

    const AxisPositions& positions() const { return positions_; }
    // Bits 0 (x) to 3 (c): the axis whose reference run is resting at 0.
    std::uint8_t endSwitches() const;
    // Entries still to be finished (the one under way included), 0 to 100.
    std::uint8_t fillPercent() const;

private:
    struct Step {
        std::array<bool, kAxisCount> moving{};
        AxisPositions target{};
        bool reference = false;
        std::size_t referenceAxis = 0;
    };

    void beginFrontStep();
    void interpolate();

    double stepsPerSecond_;
    std::int64_t dwellMicros_;
    AxisPositions positions_{};
    std::deque<Step> steps_;
    AxisPositions stepStart_{};
    std::int64_t stepElapsed_ = 0; // microseconds
    std::int64_t stepTravel_ = 0;  // microseconds
};

} // namespace sim
