#pragma once
// Conversions between bytes, 32-bit numbers and the hex / block texts of the
// controller protocol. Every multi-byte value travels least significant byte
// first.

#include <cstdint>
#include <string>
#include <string_view>

namespace TypeCasting {

// True when bit `bitIndex` (0 to 14) of `value` is 1; false for any other
// index.
bool IsBitSet(std::int16_t value, std::int16_t bitIndex);

// Two upper-case hex digits.
std::string ByteToHex(std::uint8_t b);

// Eight upper-case hex digits, the pair of the least significant byte first.
std::string LongToHex(std::int32_t v);

// First character the high digit, second the low digit; anything that is not
// an upper-case hex digit counts as no match, and so does a missing character
// ("A" reads 160, "" reads 0). Never fails, always 0 to 255.
std::int16_t HexToByte(std::string_view text);

// Little-endian two's-complement reading of the first four characters of a
// block text (one character per byte). Missing characters read as 0.
std::int32_t StringToLong(std::string_view blockText);

} // namespace TypeCasting

// The float's binary32 pattern as eight hex digits, least significant byte first.
std::string myfloathex(float zahl);
