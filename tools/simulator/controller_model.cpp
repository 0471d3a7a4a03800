#include "controller_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sim {

ControllerModel::ControllerModel(const SimulatorSettings& settings)
    : settings_(settings),
      motion_(settings.stepsPerSecond,
              std::chrono::duration_cast<std::chrono::microseconds>(settings.referenceDwell)) {}

FeedResult ControllerModel::feed(const std::uint8_t* data, std::size_t size) {
    FeedResult result;
    if (data == nullptr) {
        return result;
    }
    while (size > 0) {
        const std::size_t take = std::min(size, kCommandFrameSize - partialSize_);
        std::memcpy(partial_.data() + partialSize_, data, take);
        partialSize_ += take;
        data += take;
        size -= take;
        if (partialSize_ == kCommandFrameSize) {
            partialSize_ = 0;
            result.frames.push_back(partial_);
            handle(partial_, result);
        }
    }
    return result;
}

void ControllerModel::handle(const CommandFrame& frame, FeedResult& result) {
    frameCounter_ = static_cast<std::uint8_t>(frameCounter_ + 1);
    switch (ClassifyCommand(frame)) {
    case Command::StatusRequest:
        result.replies.push_back(statusFrame());
        break;
    case Command::ModeChange:
        changeMode(frame);
        break;
    case Command::MoveXY:
        queueMove(frame, kAxisX, kAxisY);
        break;
    case Command::MoveZC:
        queueMove(frame, kAxisZ, kAxisC);
        break;
    case Command::AuxiliarySignals:
        switchSignals(frame);
        break;
    case Command::ReferenceRun:
        startReferenceRun(frame);
        break;
    case Command::ZeroPoint:
        setZeroPoint(frame);
        break;
    case Command::Unknown:
        error_ = ErrorCode::UnknownCommand;
        break;
    }
}

void ControllerModel::changeMode(const CommandFrame& frame) {
    const std::uint8_t target = frame[command::kModeTarget];
    if (target != 1 && target != 2) {
        error_ = ErrorCode::BadMode;
        return;
    }
    mode_ = target;
    error_ = ErrorCode::None;
}

std::optional<std::int32_t> ControllerModel::readCoordinate(const std::uint8_t* bytes,
                                                            std::uint8_t units) const {
    if (units == command::kUnitsSteps) {
        return ReadInt32(bytes);
    }
    if (units != command::kUnitsMillimetres) {
        return std::nullopt;
    }
    const double steps = static_cast<double>(ReadFloat32(bytes)) * settings_.stepsPerMillimetre;
    // Rounds to the nearest step; anything that would not round into the
    // 32-bit range (and NaN, which fails both tests) is refused.
    if (!(steps >= -2147483648.5 && steps < 2147483647.5)) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(std::llround(steps));
}

void ControllerModel::queueMove(const CommandFrame& frame, std::size_t firstAxis,
                                std::size_t secondAxis) {
    const std::size_t count =
        std::min<std::size_t>(frame[command::kPointCount], command::kMaxPoints);
    const std::uint8_t units = frame[command::kUnits];
    if (units != command::kUnitsSteps && units != command::kUnitsMillimetres) {
        error_ = ErrorCode::BadParameter;
        return;
    }
    std::array<std::pair<std::int32_t, std::int32_t>, command::kMaxPoints> points{};
    for (std::size_t n = 0; n < count; ++n) {
        const std::uint8_t* point = frame.data() + command::kFirstPoint + command::kPointStride * n;
        const auto first = readCoordinate(point, units);
        const auto second = readCoordinate(point + 4, units);
        if (!first || !second) {
            error_ = ErrorCode::BadParameter;
            return;
        }
        points[n] = {*first, *second};
    }
    if (count > motion_.freeEntries()) {
        error_ = ErrorCode::QueueFull;
        return;
    }
    for (std::size_t n = 0; n < count; ++n) {
        motion_.queueMove(firstAxis, points[n].first, secondAxis, points[n].second);
    }
}

void ControllerModel::startReferenceRun(const CommandFrame& frame) {
    if (frame[command::kReferenceStepCount] != command::kReferenceSteps) {
        error_ = ErrorCode::BadParameter;
        return;
    }
    for (std::size_t step = 0; step < command::kReferenceSteps; ++step) {
        if (frame[command::kReferenceAxes + step] >= kAxisCount) {
            error_ = ErrorCode::BadParameter;
            return;
        }
    }
    if (motion_.freeEntries() < command::kReferenceSteps) {
        error_ = ErrorCode::QueueFull;
        return;
    }
    for (std::size_t step = 0; step < command::kReferenceSteps; ++step) {
        motion_.queueReference(frame[command::kReferenceAxes + step]);
    }
}

void ControllerModel::setZeroPoint(const CommandFrame& frame) {
    const std::uint8_t units = frame[command::kUnits];
    AxisPositions positions{};
    for (std::size_t axis = 0; axis < kAxisCount; ++axis) {
        const auto value =
            readCoordinate(frame.data() + command::kZeroPointValues + 4 * axis, units);
        if (!value) {
            error_ = ErrorCode::BadParameter;
            return;
        }
        positions[axis] = *value;
    }
    motion_.setPositions(positions);
}

void ControllerModel::switchSignals(const CommandFrame& frame) {
    spindle_ = (frame[command::kSignals] & command::kSpindleBit) != 0;
    cooling_ = (frame[command::kSignals] & command::kCoolingBit) != 0;
}

void ControllerModel::advance(std::chrono::microseconds elapsed) {
    motion_.advance(elapsed);
}

StatusFrame ControllerModel::statusFrame() const {
    StatusFrame frame{};
    frame[status::kMode] = mode_;
    frame[status::kSwitches] = motion_.endSwitches();
    frame[status::kAuxiliary] = static_cast<std::uint8_t>((spindle_ ? status::kSpindleBit : 0) |
                                                          (cooling_ ? status::kCoolingBit : 0));
    for (std::size_t axis = 0; axis < kAxisCount; ++axis) {
        WriteInt32(frame.data() + status::kPositions + 4 * axis, motion_.positions()[axis]);
    }
    frame[status::kFillLevel] = motion_.fillPercent();
    frame[status::kErrorCode] = static_cast<std::uint8_t>(error_);
    frame[status::kFrameCounter] = frameCounter_;
    return frame;
}

} // namespace sim
