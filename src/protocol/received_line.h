#pragma once
// The history line of a received block and the elapsed-time measure.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

using ReceivedBlock = std::array<std::uint8_t, 32>;

// The first 32 bytes of a block text; missing bytes read as 0.
ReceivedBlock FirstBlockBytes(std::string_view blockText);

// "IN < " + sixteen groups of four hex digits each followed by a blank,
// " t- " and the elapsed milliseconds.
std::string ReceivedLine(const ReceivedBlock& block, std::int32_t elapsedMs);

// Milliseconds between two readings of the signed 32-bit tick count. The
// difference is taken modulo 2^32, so a count that wrapped between the two
// readings still gives the true interval (for intervals under 24.8 days).
std::int32_t ElapsedTicks(std::int32_t previousTick, std::int32_t currentTick);
