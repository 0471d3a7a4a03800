#pragma once
// Frames for the simulator tests, written out as the hex text a console
// would log, and a status frame read back field by field.

#include "controller_frames.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace simtest {

// Hex digits (blanks allowed between them), padded with zero bytes to a
// whole command frame.
inline sim::CommandFrame Frame(const std::string& hex) {
    sim::CommandFrame frame{};
    std::size_t byte = 0;
    std::string digits;
    for (const char c : hex) {
        if (c != ' ') {
            digits.push_back(c);
        }
    }
    if (digits.size() % 2 != 0 || digits.size() > 2 * frame.size()) {
        throw std::invalid_argument("bad test frame: " + hex);
    }
    for (std::size_t i = 0; i < digits.size(); i += 2, ++byte) {
        frame[byte] = static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16));
    }
    return frame;
}

struct Status {
    int mode;
    int switches;
    int auxiliary;
    std::int32_t x, y, z, c;
    int fill;
    int error;
    int counter;
};

inline std::int32_t Int32At(const sim::StatusFrame& frame, std::size_t offset) {
    const std::uint32_t raw = frame[offset] | frame[offset + 1] << 8 | frame[offset + 2] << 16 |
                              static_cast<std::uint32_t>(frame[offset + 3]) << 24;
    std::int32_t value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

inline Status Decode(const sim::StatusFrame& frame) {
    return Status{frame[0],          frame[1],           frame[2],           Int32At(frame, 3),
                  Int32At(frame, 7), Int32At(frame, 11), Int32At(frame, 15), frame[20],
                  frame[26],         frame[27]};
}

} // namespace simtest
