#include "status_report.h"

#include "type_casting.h"

namespace {

constexpr std::size_t kModeOffset = 0;
constexpr std::size_t kSwitchFlagsOffset = 1;
constexpr std::size_t kAuxiliaryFlagsOffset = 2;
constexpr std::size_t kPositionXOffset = 3;
constexpr std::size_t kPositionYOffset = 7;
constexpr std::size_t kPositionZOffset = 11;
constexpr std::size_t kPositionCOffset = 15;
constexpr std::size_t kFillLevelOffset = 20;
constexpr std::size_t kErrorCodeOffset = 26;
constexpr std::size_t kFrameCounterOffset = 27;

constexpr int kFillBarMaximum = 100;

// Only the frame's first 32 bytes count; bytes the block lacks read as 0.
std::uint8_t ByteAt(std::string_view block, std::size_t offset) {
    if (offset >= block.size() || offset >= kStatusFrameSize) {
        return 0;
    }
    return static_cast<unsigned char>(block[offset]);
}

std::int32_t PositionAt(std::string_view block, std::size_t offset) {
    if (offset >= block.size()) {
        return 0;
    }
    return TypeCasting::StringToLong(block.substr(offset, 4));
}

// Every lamp takes its colour from its bit through SetBitColour, so that what a
// colour means is decided in one place.
void SetLamp(StatusReport& report, StatusLamp lamp, std::uint8_t flags, std::int16_t bit) {
    const LampColour set = SetBitColour(lamp);
    const LampColour clear = set == LampColour::Red ? LampColour::Green : LampColour::Red;
    report.lamps[static_cast<std::size_t>(lamp)] = TypeCasting::IsBitSet(flags, bit) ? set : clear;
}

} // namespace

LampColour SetBitColour(StatusLamp lamp) {
    switch (lamp) {
    case StatusLamp::Emergency:
    case StatusLamp::EndX:
    case StatusLamp::EndY:
    case StatusLamp::EndZ:
    case StatusLamp::EndC:
        return LampColour::Red; // a switch or the emergency stop reports a fault
    case StatusLamp::Boost:
    case StatusLamp::Sleep:
    case StatusLamp::Cooling:
    case StatusLamp::Spindle:
        break;
    }
    return LampColour::Green;
}

StatusReport DecodeStatus(std::string_view block) {
    StatusReport report;
    report.mode = ByteAt(block, kModeOffset);
    report.positionX = PositionAt(block, kPositionXOffset);
    report.positionY = PositionAt(block, kPositionYOffset);
    report.positionZ = PositionAt(block, kPositionZOffset);
    report.positionC = PositionAt(block, kPositionCOffset);
    report.fillLevel = ByteAt(block, kFillLevelOffset);
    report.errorCode = ByteAt(block, kErrorCodeOffset);
    report.frameCounter = ByteAt(block, kFrameCounterOffset);

    const std::uint8_t auxiliary = ByteAt(block, kAuxiliaryFlagsOffset);
    report.auxiliaryFlags = auxiliary;
    SetLamp(report, StatusLamp::Boost, auxiliary, 7);
    SetLamp(report, StatusLamp::Sleep, auxiliary, 6);
    SetLamp(report, StatusLamp::Cooling, auxiliary, 5);
    SetLamp(report, StatusLamp::Spindle, auxiliary, 4);

    const std::uint8_t switches = ByteAt(block, kSwitchFlagsOffset);
    report.switchFlags = switches;
    SetLamp(report, StatusLamp::Emergency, switches, 4);
    SetLamp(report, StatusLamp::EndC, switches, 3);
    SetLamp(report, StatusLamp::EndZ, switches, 2);
    SetLamp(report, StatusLamp::EndY, switches, 1);
    SetLamp(report, StatusLamp::EndX, switches, 0);
    return report;
}

int FillBarValue(std::uint8_t fillLevel) {
    return fillLevel > kFillBarMaximum ? kFillBarMaximum : fillLevel;
}

std::string FillLevelText(std::uint8_t fillLevel) {
    return " " + std::to_string(fillLevel) + " %";
}
