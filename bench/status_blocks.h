#pragma once
// Status frames as a moving controller sends them: positions, fill level and
// frame counter change from block to block, the flags now and then, so every
// label and, from time to time, the lamps have something new to show.

#include <QByteArray>
#include <cstdint>

namespace bench {

inline void putInt32(QByteArray& block, int offset, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        block[offset + i] = char((bits >> (8 * i)) & 0xFF);
    }
}

inline QByteArray movingStatusBlock(std::uint32_t n) {
    QByteArray block(32, '\0');
    block[0] = 2;                                             // mode
    block[1] = char((n / 1024) % 2 == 0 ? 0x00 : 0x01);       // End X now and then
    block[2] = char((n / 4096) % 2 == 0 ? 0x90 : 0xD0);       // boost, spindle, sleep
    putInt32(block, 3, static_cast<std::int32_t>(n * 7));     // x moving
    putInt32(block, 7, -static_cast<std::int32_t>(n % 5000)); // y moving back
    putInt32(block, 11, 0);                                   // z still
    putInt32(block, 15, 256);                                 // c still
    block[20] = char(n % 101);                                // fill level 0..100 %
    block[26] = 0;                                            // error code
    block[27] = char(n & 0xFF);                               // frame counter
    return block;
}

} // namespace bench
