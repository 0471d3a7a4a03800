#include "motion_queue.h"

#include <algorithm>
#include <cmath>

namespace sim {

MotionQueue::MotionQueue(double stepsPerSecond, std::chrono::microseconds referenceDwell)
    : stepsPerSecond_(std::isfinite(stepsPerSecond)
                          ? std::clamp(stepsPerSecond, kMinStepsPerSecond, kMaxStepsPerSecond)
                          : kMinStepsPerSecond),
      dwellMicros_(std::max<std::int64_t>(0, referenceDwell.count())) {}

bool MotionQueue::queueMove(std::size_t firstAxis, std::int32_t firstTarget, std::size_t secondAxis,
                            std::int32_t secondTarget) {
    if (freeEntries() == 0 || firstAxis >= kAxisCount || secondAxis >= kAxisCount) {
        return false;
    }
    Step step;
    step.moving[firstAxis] = true;
    step.target[firstAxis] = firstTarget;
    step.moving[secondAxis] = true;
    step.target[secondAxis] = secondTarget;
    steps_.push_back(step);
    if (steps_.size() == 1) {
        beginFrontStep();
    }
    return true;
}

bool MotionQueue::queueReference(std::size_t axis) {
    if (freeEntries() == 0 || axis >= kAxisCount) {
        return false;
    }
    Step step;
    step.moving[axis] = true;
    step.target[axis] = 0;
    step.reference = true;
    step.referenceAxis = axis;
    steps_.push_back(step);
    if (steps_.size() == 1) {
        beginFrontStep();
    }
    return true;
}

void MotionQueue::beginFrontStep() {
    stepStart_ = positions_;
    stepElapsed_ = 0;
    stepTravel_ = 0;
    if (steps_.empty()) {
        return;
    }
    const Step& step = steps_.front();
    std::int64_t longest = 0;
    for (std::size_t axis = 0; axis < kAxisCount; ++axis) {
        if (step.moving[axis]) {
            const std::int64_t distance = std::int64_t{step.target[axis]} - stepStart_[axis];
            longest = std::max(longest, distance < 0 ? -distance : distance);
        }
    }
    // At most 2^32 steps at no less than the speed's floor: fits easily.
    stepTravel_ =
        static_cast<std::int64_t>(std::ceil(static_cast<double>(longest) * 1e6 / stepsPerSecond_));
}

void MotionQueue::interpolate() {
    const Step& step = steps_.front();
    for (std::size_t axis = 0; axis < kAxisCount; ++axis) {
        if (!step.moving[axis]) {
            continue;
        }
        if (stepElapsed_ >= stepTravel_) {
            positions_[axis] = step.target[axis];
            continue;
        }
        const double distance =
            static_cast<double>(std::int64_t{step.target[axis]} - std::int64_t{stepStart_[axis]});
        const double covered =
            distance * static_cast<double>(stepElapsed_) / static_cast<double>(stepTravel_);
        // Between start and target, so it stays within the 32-bit range.
        positions_[axis] =
            static_cast<std::int32_t>(std::int64_t{stepStart_[axis]} + std::llround(covered));
    }
}

void MotionQueue::advance(std::chrono::microseconds elapsed) {
    std::int64_t remaining = std::max<std::int64_t>(0, elapsed.count());
    while (!steps_.empty()) {
        const Step& step = steps_.front();
        const std::int64_t total = stepTravel_ + (step.reference ? dwellMicros_ : 0);
        const std::int64_t left = total - stepElapsed_;
        if (remaining < left) {
            stepElapsed_ += remaining;
            interpolate();
            return;
        }
        remaining -= left;
        stepElapsed_ = total;
        interpolate();
        steps_.pop_front();
        beginFrontStep();
    }
}

void MotionQueue::setPositions(const AxisPositions& positions) {
    positions_ = positions;
    beginFrontStep();
}

std::uint8_t MotionQueue::endSwitches() const {
    if (steps_.empty()) {
        return 0;
    }
    const Step& step = steps_.front();
    if (!step.reference || stepElapsed_ < stepTravel_) {
        return 0;
    }
    return static_cast<std::uint8_t>(1u << step.referenceAxis);
}

std::uint8_t MotionQueue::fillPercent() const {
    return static_cast<std::uint8_t>(steps_.size() * 100 / kCapacity);
}

} // namespace sim
