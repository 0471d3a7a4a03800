#pragma once
// The simulated motion controller without any input or output: command bytes
// go in through feed(), time passes through advance(), and statusFrame()
// reports the state as the controller's 32-byte status frame.
//
// Behaviour:
// - Every 64 bytes received are one command frame; bytes of an unfinished
//   frame wait for the rest. The frame counter (status byte 27) counts every
//   frame received, understood or not, modulo 256.
// - A status request (00 00) asks for one status frame, taken at once.
// - A move frame (02 11 x/y, 02 12 z/c) queues min(point count, 6) points.
//   Units byte 01: the points are int32 steps; 00: float32 millimetres,
//   rounded to the nearest step at the steps-per-millimetre factor. The end
//   velocity and the ramp bits are ignored: every axis runs at the set speed.
// - A reference run (02 31 04 a b c d) queues, axis after axis in the order
//   given, a run to 0 at the set speed and a rest there of the reference
//   dwell, during which that axis's end switch bit is set.
// - A zero point frame (02 41) sets the four positions at once (units as in
//   the move frame); a motion under way continues from the new coordinates.
// - An auxiliary signal frame (02 21) switches the spindle (bit 0 of byte 2)
//   and the cooling (bit 1); the other bits are ignored.
// - A mode change (00 01) to mode 1 or 2 sets the mode and clears the error
//   code; any other target mode sets error 3 and keeps the mode.
// - A frame that fails sets the error code (see ErrorCode) and changes
//   nothing else; the code stays, through any number of good frames, until a
//   valid mode change clears it.
// - Moves and reference runs are carried out one after the other in the
//   order received; the queue holds MotionQueue::kCapacity entries and the
//   fill level reports how full it is. A frame that does not fit in whole is
//   refused with error 4.

#include "controller_frames.h"
#include "motion_queue.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

struct SimulatorSettings {
    double stepsPerSecond = 20000.0;   // per axis
    double stepsPerMillimetre = 100.0; // for frames in millimetres
    std::chrono::milliseconds referenceDwell{200};
};

struct FeedResult {
    std::vector<CommandFrame> frames; // every frame completed by the call, in order
    std::vector<StatusFrame> replies; // one per status request among them, as it stood then
};

class ControllerModel {
public:
    explicit ControllerModel(const SimulatorSettings& settings = {});

    FeedResult feed(const std::uint8_t* data, std::size_t size);
    FeedResult feed(const CommandFrame& frame) { return feed(frame.data(), frame.size()); }

    void advance(std::chrono::microseconds elapsed);

    StatusFrame statusFrame() const;

    // Bytes of a frame still waiting for the rest of it.
    std::size_t pendingBytes() const { return partialSize_; }

private:
    void handle(const CommandFrame& frame, FeedResult& result);
    void changeMode(const CommandFrame& frame);
    void queueMove(const CommandFrame& frame, std::size_t firstAxis, std::size_t secondAxis);
    void startReferenceRun(const CommandFrame& frame);
    void setZeroPoint(const CommandFrame& frame);
    void switchSignals(const CommandFrame& frame);
    std::optional<std::int32_t> readCoordinate(const std::uint8_t* bytes, std::uint8_t units) const;

    SimulatorSettings settings_;
    MotionQueue motion_;
    CommandFrame partial_{};
    std::size_t partialSize_ = 0;
    std::uint8_t mode_ = 1;
    bool spindle_ = false;
    bool cooling_ = false;
    ErrorCode error_ = ErrorCode::None;
    std::uint8_t frameCounter_ = 0;
};

} // namespace sim
