#pragma once
// The controller's view of the serial line: the 64-byte command frames it
// receives, the 32-byte status frames it sends, and the error codes it
// reports. The simulator decodes the bytes itself rather than through the
// console's protocol library, so a byte-order or offset fault on the
// console's side shows up against it instead of being mirrored.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

constexpr std::size_t kCommandFrameSize = 64;
constexpr std::size_t kStatusFrameSize = 32;

using CommandFrame = std::array<std::uint8_t, kCommandFrameSize>;
using StatusFrame = std::array<std::uint8_t, kStatusFrameSize>;

// What bytes 0 and 1 of a command frame ask for.
enum class Command {
    StatusRequest,    // 00 00
    ModeChange,       // 00 01
    MoveXY,           // 02 11
    MoveZC,           // 02 12
    AuxiliarySignals, // 02 21
    ReferenceRun,     // 02 31
    ZeroPoint,        // 02 41
    Unknown,
};

Command ClassifyCommand(const CommandFrame& frame);

// The error code of the status frame (byte 26). It keeps the last fault
// until a valid mode change frame acknowledges it.
enum class ErrorCode : std::uint8_t {
    None = 0,
    UnknownCommand = 1, // bytes 0 and 1 name no command
    BadParameter = 2,   // a units byte, axis code, step count or value the controller cannot use
    BadMode = 3,        // a mode change to anything but mode 1 or 2
    QueueFull = 4,      // a move or reference run that does not fit into the free queue space
};

// Command frame offsets.
namespace command {
constexpr std::size_t kStart = 0;
constexpr std::size_t kCommand = 1;
constexpr std::size_t kModeTarget = 2;
constexpr std::size_t kSignals = 2;
constexpr std::size_t kReferenceStepCount = 2;
constexpr std::size_t kReferenceAxes = 3;
constexpr std::size_t kPointCount = 6;
constexpr std::size_t kUnits = 7;
constexpr std::size_t kFirstPoint = 8;
constexpr std::size_t kPointStride = 8;
constexpr std::size_t kMaxPoints = 6;
constexpr std::size_t kZeroPointValues = 8;
constexpr std::size_t kFrameCounter = 59;

constexpr std::uint8_t kUnitsMillimetres = 0x00;
constexpr std::uint8_t kUnitsSteps = 0x01;
constexpr std::uint8_t kSpindleBit = 0x01;
constexpr std::uint8_t kCoolingBit = 0x02;
constexpr std::uint8_t kReferenceSteps = 4;
} // namespace command

// Status frame offsets and bits.
namespace status {
constexpr std::size_t kMode = 0;
constexpr std::size_t kSwitches = 1;
constexpr std::size_t kAuxiliary = 2;
constexpr std::size_t kPositions = 3; // x, y, z, c: four int32, little-endian
constexpr std::size_t kFillLevel = 20;
constexpr std::size_t kErrorCode = 26;
constexpr std::size_t kFrameCounter = 27;
constexpr std::size_t kStamp = 28; // unused by the controller; the simulator's --stamp

constexpr std::uint8_t kEmergencyBit = 0x10; // beside end switch bits 0 (x) to 3 (c)
constexpr std::uint8_t kSpindleBit = 0x10;
constexpr std::uint8_t kCoolingBit = 0x20;
constexpr std::uint8_t kSleepBit = 0x40;
constexpr std::uint8_t kBoostBit = 0x80;
} // namespace status

// Multi-byte values travel least significant byte first.
std::int32_t ReadInt32(const std::uint8_t* bytes);
float ReadFloat32(const std::uint8_t* bytes);
void WriteUint32(std::uint8_t* bytes, std::uint32_t value);
void WriteInt32(std::uint8_t* bytes, std::int32_t value);

// A frame as upper-case hex digits, two per byte, no separators.
std::string HexLine(const std::uint8_t* bytes, std::size_t size);

} // namespace sim
