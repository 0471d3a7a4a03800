#pragma once
// What a command frame asks of the controller, read back from its 64 bytes:
// the one reading that the history's tooltips, the history file reader and
// the console's other views share. Any 64 bytes decode; bytes 0 and 1 that
// name no command give an unknown command.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "command_frames.h"
#include "frames/command_channel.h"

enum class CommandKind {
    MoveXY,
    MoveZC,
    ReferenceRun,
    ZeroPoint,
    AuxiliarySignals,
    ModeChange,
    StatusRequest,
    Unknown,
};

// A coordinate as the units byte says it travels: a step count (units 01 and
// any byte that is not 00) or a single in millimetres (00).
struct FrameValue {
    bool millimetres = false;
    std::int32_t steps = 0;
    float mm = 0.0f;
};

struct DecodedCommand {
    CommandKind kind = CommandKind::Unknown;
    std::uint8_t start = 0;   // byte 0
    std::uint8_t command = 0; // byte 1

    // Move and zero-point frames: the units byte (01 steps, 00 mm).
    std::uint8_t unitsByte = 0;
    // Move frames.
    FrameValue endVelocity;
    std::uint8_t pointCount = 0;
    std::array<std::array<FrameValue, 2>, 6> points{}; // (x or z, y or c)
    std::uint8_t rampBits = 0;
    // Move frames and the status request.
    std::optional<std::uint8_t> counter;
    // Zero point of x, y, z, c.
    std::array<FrameValue, 4> zeroPoint{};
    // Reference run: the axis code of each step; a step the line did not
    // keep (see DecodeReferenceRunLine) has none.
    std::array<std::optional<std::uint8_t>, 4> referenceOrder{};
    // Auxiliary signals: the signal byte (bit 0 spindle, bit 1 cooling).
    std::uint8_t signalBits = 0;
    // Mode change: the target mode.
    std::uint8_t targetMode = 0;
    // Unknown: the frame's first bytes, for the reader to see.
    std::array<std::uint8_t, 8> firstBytes{};
};

DecodedCommand DecodeCommand(const CommandFrame& frame);

// A reference run as the history keeps it: the frame's text up to its first
// zero code. The step whose code ended the line was axis x (code 0); the
// steps after it were not kept.
DecodedCommand DecodeReferenceRunLine(std::string_view line);

// The name used in machine-readable output: move_xy, move_zc, reference_run,
// zero_point, aux_signals, mode_change, status_request, unknown.
const char* CommandKindName(CommandKind kind);

// One line of plain English, e.g. "Drive X / Y in steps: 4 points (50, 50)
// (-50, 50) (-50, -50) (50, -50), unused (0, 0) (0, 0); end velocity 0
// steps/s; ramp bits 00000000; counter 0".
std::string DescribeCommand(const DecodedCommand& command);

// The shortest decimal text that reads back as the same single ("2.5",
// "-50", "1e+20", "nan").
std::string SingleText(float value);

// The value's number alone ("50", "2.5"); the frame states the unit once.
std::string FrameValueText(const FrameValue& value);
