#include "controller_frames.h"

#include <cstring>

namespace sim {

Command ClassifyCommand(const CommandFrame& frame) {
    const std::uint8_t start = frame[command::kStart];
    const std::uint8_t code = frame[command::kCommand];
    if (start == 0x00) {
        switch (code) {
        case 0x00:
            return Command::StatusRequest;
        case 0x01:
            return Command::ModeChange;
        default:
            return Command::Unknown;
        }
    }
    if (start == 0x02) {
        switch (code) {
        case 0x11:
            return Command::MoveXY;
        case 0x12:
            return Command::MoveZC;
        case 0x21:
            return Command::AuxiliarySignals;
        case 0x31:
            return Command::ReferenceRun;
        case 0x41:
            return Command::ZeroPoint;
        default:
            return Command::Unknown;
        }
    }
    return Command::Unknown;
}

std::int32_t ReadInt32(const std::uint8_t* bytes) {
    const std::uint32_t raw =
        static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
        static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    std::int32_t value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

float ReadFloat32(const std::uint8_t* bytes) {
    static_assert(sizeof(float) == 4, "float must be IEEE-754 binary32");
    const std::int32_t bits = ReadInt32(bytes);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void WriteUint32(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void WriteInt32(std::uint8_t* bytes, std::int32_t value) {
    std::uint32_t raw;
    std::memcpy(&raw, &value, sizeof raw);
    WriteUint32(bytes, raw);
}

std::string HexLine(const std::uint8_t* bytes, std::size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string line;
    line.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        line.push_back(digits[bytes[i] >> 4]);
        line.push_back(digits[bytes[i] & 0x0F]);
    }
    return line;
}

} // namespace sim
