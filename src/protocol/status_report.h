#pragma once
// The values of a 32-byte status frame, decoded for display.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

constexpr std::size_t kStatusFrameSize = 32;

// Colour values as red + 256 * green + 65536 * blue.
enum class LampColour : std::uint32_t { Red = 255, Green = 65280, Yellow = 65535 };

// The nine lamps, in the order display_input paints them.
enum class StatusLamp {
    Boost,
    Sleep,
    Cooling,
    Spindle,
    Emergency,
    EndC,
    EndZ,
    EndY,
    EndX,
};
constexpr std::size_t kStatusLampCount = 9;

// The colour a lamp shows while the controller reports its bit set: red for
// the end switches and the emergency stop (a fault), green for boost, sleep,
// cooling and spindle (on). The other colour means the bit is clear.
LampColour SetBitColour(StatusLamp lamp);

struct StatusReport {
    std::uint8_t mode = 0;
    std::int32_t positionX = 0;
    std::int32_t positionY = 0;
    std::int32_t positionZ = 0;
    std::int32_t positionC = 0;
    std::uint8_t fillLevel = 0; // the raw byte, 0 to 255
    std::uint8_t errorCode = 0;
    std::uint8_t frameCounter = 0;
    std::uint8_t switchFlags = 0;    // byte 2: end switches x, y, z, c (bits 0-3), emergency (4)
    std::uint8_t auxiliaryFlags = 0; // byte 3: spindle, cooling, sleep, boost (bits 4-7)
    std::array<LampColour, kStatusLampCount> lamps{};

    LampColour lamp(StatusLamp which) const { return lamps[static_cast<std::size_t>(which)]; }
};

// Decodes a received block (block text: one character per byte). Bytes beyond
// the 32nd are ignored; a shorter block reads its missing bytes as 0.
StatusReport DecodeStatus(std::string_view block);

// The progress bar's value: the fill level, held to the bar's range 0 to 100.
int FillBarValue(std::uint8_t fillLevel);

// The percentage label: a blank, the raw fill level in decimal, " %".
std::string FillLevelText(std::uint8_t fillLevel);
