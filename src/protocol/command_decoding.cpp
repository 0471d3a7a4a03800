#include "command_decoding.h"

#include <charconv>
#include <cstring>

#include "type_casting.h"

namespace {

constexpr std::size_t kCommandOffset = 1;
constexpr std::size_t kEndVelocityOffset = 2;
constexpr std::size_t kPointCountOffset = 6;
constexpr std::size_t kUnitsOffset = 7;
constexpr std::size_t kFirstPointOffset = 8;
constexpr std::size_t kPointStride = 8;
constexpr std::size_t kRampBitsOffset = 56;
constexpr std::size_t kZeroPointOffset = 8;
constexpr std::size_t kSignalsOffset = 2;
constexpr std::size_t kTargetModeOffset = 2;
constexpr std::size_t kReferenceAxesOffset = 3;
constexpr std::uint8_t kUnitsMillimetres = 0x00;

std::uint32_t Word(const CommandFrame& frame, std::size_t offset) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        word |= std::uint32_t{frame[offset + i]} << (8 * i);
    }
    return word;
}

FrameValue ValueAt(const CommandFrame& frame, std::size_t offset) {
    FrameValue value;
    value.millimetres = frame[kUnitsOffset] == kUnitsMillimetres;
    const std::uint32_t word = Word(frame, offset);
    if (value.millimetres) {
        std::memcpy(&value.mm, &word, sizeof value.mm);
    } else {
        std::memcpy(&value.steps, &word, sizeof value.steps);
    }
    return value;
}

CommandKind KindOf(std::uint8_t start, std::uint8_t command) {
    if (start == 0x00) {
        switch (command) {
        case 0x00:
            return CommandKind::StatusRequest;
        case 0x01:
            return CommandKind::ModeChange;
        default:
            return CommandKind::Unknown;
        }
    }
    if (start != 0x02) {
        return CommandKind::Unknown;
    }
    switch (command) {
    case static_cast<std::uint8_t>(AxisPair::XY):
        return CommandKind::MoveXY;
    case static_cast<std::uint8_t>(AxisPair::ZC):
        return CommandKind::MoveZC;
    case 0x21:
        return CommandKind::AuxiliarySignals;
    case 0x31:
        return CommandKind::ReferenceRun;
    case 0x41:
        return CommandKind::ZeroPoint;
    default:
        return CommandKind::Unknown;
    }
}

const char* AxisName(std::uint8_t code) {
    static const char* const kNames[] = {"x", "y", "z", "c"};
    return code < 4 ? kNames[code] : nullptr;
}

std::string Hex(std::uint8_t byte) {
    return TypeCasting::ByteToHex(byte);
}

std::string UnitsText(const DecodedCommand& command) {
    switch (command.unitsByte) {
    case 0x00:
        return "mm";
    case 0x01:
        return "steps";
    default:
        return "steps (units byte " + Hex(command.unitsByte) + ")";
    }
}

std::string PointText(const std::array<FrameValue, 2>& point) {
    return "(" + FrameValueText(point[0]) + ", " + FrameValueText(point[1]) + ")";
}

std::string Bits(std::uint8_t byte) {
    std::string bits;
    for (int bit = 7; bit >= 0; --bit) {
        bits += (byte >> bit) & 1 ? '1' : '0';
    }
    return bits;
}

std::string DescribeMove(const DecodedCommand& command) {
    std::string text = command.kind == CommandKind::MoveXY ? "Drive X / Y" : "Drive Z / C";
    text += " in " + UnitsText(command) + ": " + std::to_string(command.pointCount) + " point";
    text += command.pointCount == 1 ? "" : "s";
    const std::size_t used = command.pointCount < 6 ? command.pointCount : 6;
    if (command.pointCount > 6) {
        text += " (6 in the frame)";
    }
    for (std::size_t n = 0; n < used; ++n) {
        text += " " + PointText(command.points[n]);
    }
    if (used < 6) {
        text += ", unused";
        for (std::size_t n = used; n < 6; ++n) {
            text += " " + PointText(command.points[n]);
        }
    }
    text += "; end velocity " + FrameValueText(command.endVelocity) + " " +
            (command.unitsByte == kUnitsMillimetres ? "mm/s" : "steps/s");
    text += "; ramp bits " + Bits(command.rampBits);
    text += "; counter " + std::to_string(*command.counter);
    return text;
}

std::string DescribeReferenceRun(const DecodedCommand& command) {
    std::string text = "Reference run order:";
    for (std::size_t step = 0; step < 4; ++step) {
        text += step == 0 ? " " : ", ";
        const auto& code = command.referenceOrder[step];
        if (!code) {
            text += "?";
        } else if (const char* axis = AxisName(*code)) {
            text += axis;
        } else {
            text += "axis code " + Hex(*code);
        }
    }
    if (!command.referenceOrder[3]) {
        text += " (? not kept in the history line)";
    }
    return text;
}

std::string DescribeZeroPoint(const DecodedCommand& command) {
    static const char* const kAxes[] = {"x", "y", "z", "c"};
    std::string text = "Set zero point in " + UnitsText(command) + ":";
    for (std::size_t i = 0; i < 4; ++i) {
        text += std::string(i == 0 ? " " : ", ") + kAxes[i] + " " +
                FrameValueText(command.zeroPoint[i]);
    }
    return text;
}

std::string DescribeSignals(const DecodedCommand& command) {
    std::string text = "Auxiliary signals: spindle ";
    text += command.signalBits & 0x01 ? "on" : "off";
    text += ", cooling ";
    text += command.signalBits & 0x02 ? "on" : "off";
    if (command.signalBits & 0xFC) {
        text += " (signal byte " + Hex(command.signalBits) + ")";
    }
    return text;
}

std::string DescribeUnknown(const DecodedCommand& command) {
    std::string text =
        "Unknown command " + Hex(command.start) + " " + Hex(command.command) + "; first bytes";
    for (std::uint8_t byte : command.firstBytes) {
        text += " " + Hex(byte);
    }
    return text;
}

} // namespace

DecodedCommand DecodeCommand(const CommandFrame& frame) {
    DecodedCommand decoded;
    decoded.start = frame[0];
    decoded.command = frame[kCommandOffset];
    decoded.kind = KindOf(decoded.start, decoded.command);
    switch (decoded.kind) {
    case CommandKind::MoveXY:
    case CommandKind::MoveZC:
        decoded.unitsByte = frame[kUnitsOffset];
        decoded.endVelocity = ValueAt(frame, kEndVelocityOffset);
        decoded.pointCount = frame[kPointCountOffset];
        for (std::size_t n = 0; n < decoded.points.size(); ++n) {
            decoded.points[n][0] = ValueAt(frame, kFirstPointOffset + kPointStride * n);
            decoded.points[n][1] = ValueAt(frame, kFirstPointOffset + kPointStride * n + 4);
        }
        decoded.rampBits = frame[kRampBitsOffset];
        decoded.counter = frame[kFrameCounterOffset];
        break;
    case CommandKind::StatusRequest:
        decoded.counter = frame[kFrameCounterOffset];
        break;
    case CommandKind::ZeroPoint:
        decoded.unitsByte = frame[kUnitsOffset];
        for (std::size_t i = 0; i < decoded.zeroPoint.size(); ++i) {
            decoded.zeroPoint[i] = ValueAt(frame, kZeroPointOffset + 4 * i);
        }
        break;
    case CommandKind::ReferenceRun:
        for (std::size_t step = 0; step < 4; ++step) {
            decoded.referenceOrder[step] = frame[kReferenceAxesOffset + step];
        }
        break;
    case CommandKind::AuxiliarySignals:
        decoded.signalBits = frame[kSignalsOffset];
        break;
    case CommandKind::ModeChange:
        decoded.targetMode = frame[kTargetModeOffset];
        break;
    case CommandKind::Unknown:
        break;
    }
    for (std::size_t i = 0; i < decoded.firstBytes.size(); ++i) {
        decoded.firstBytes[i] = frame[i];
    }
    return decoded;
}

DecodedCommand DecodeReferenceRunLine(std::string_view line) {
    CommandFrame frame{};
    const std::size_t kept = line.size() < frame.size() ? line.size() : frame.size();
    for (std::size_t i = 0; i < kept; ++i) {
        frame[i] = static_cast<unsigned char>(line[i]);
    }
    DecodedCommand decoded = DecodeCommand(frame);
    // The line ended at a zero code (axis x, where a step holds it); the
    // bytes after that one were not kept.
    for (std::size_t step = 0; step < 4; ++step) {
        const std::size_t offset = kReferenceAxesOffset + step;
        if (offset > kept) {
            decoded.referenceOrder[step] = std::nullopt;
        }
    }
    return decoded;
}

const char* CommandKindName(CommandKind kind) {
    switch (kind) {
    case CommandKind::MoveXY:
        return "move_xy";
    case CommandKind::MoveZC:
        return "move_zc";
    case CommandKind::ReferenceRun:
        return "reference_run";
    case CommandKind::ZeroPoint:
        return "zero_point";
    case CommandKind::AuxiliarySignals:
        return "aux_signals";
    case CommandKind::ModeChange:
        return "mode_change";
    case CommandKind::StatusRequest:
        return "status_request";
    case CommandKind::Unknown:
        break;
    }
    return "unknown";
}

std::string DescribeCommand(const DecodedCommand& command) {
    switch (command.kind) {
    case CommandKind::MoveXY:
    case CommandKind::MoveZC:
        return DescribeMove(command);
    case CommandKind::ReferenceRun:
        return DescribeReferenceRun(command);
    case CommandKind::ZeroPoint:
        return DescribeZeroPoint(command);
    case CommandKind::AuxiliarySignals:
        return DescribeSignals(command);
    case CommandKind::ModeChange:
        return "Mode change to " + std::to_string(command.targetMode);
    case CommandKind::StatusRequest:
        return "Status request; counter " + std::to_string(*command.counter);
    case CommandKind::Unknown:
        break;
    }
    return DescribeUnknown(command);
}

std::string SingleText(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string FrameValueText(const FrameValue& value) {
    return value.millimetres ? SingleText(value.mm) : std::to_string(value.steps);
}
