#include "type_casting.h"

#include <cstring>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The digit's value, or -1 for anything that is not an upper-case hex digit:
// the controller's texts never hold lower case, and the console's own
// builders never write it.
int UpperHexDigitValue(char c) {
    for (int k = 0; k < 16; ++k) {
        if (kHexDigits[k] == c) {
            return k;
        }
    }
    return -1;
}

// Two's-complement reading of a 32-bit pattern without relying on an
// implementation-defined narrowing.
std::int32_t SignedFromPattern(std::uint32_t pattern) {
    if (pattern <= 0x7FFFFFFFu) {
        return static_cast<std::int32_t>(pattern);
    }
    return -static_cast<std::int32_t>(0xFFFFFFFFu - pattern) - 1;
}

std::string PatternToHexLeastSignificantFirst(std::uint32_t pattern) {
    std::string text;
    text.reserve(8);
    for (int byteIndex = 0; byteIndex < 4; ++byteIndex) {
        text += TypeCasting::ByteToHex(static_cast<std::uint8_t>(pattern >> (8 * byteIndex)));
    }
    return text;
}

} // namespace

namespace TypeCasting {

bool IsBitSet(std::int16_t value, std::int16_t bitIndex) {
    if (bitIndex < 0 || bitIndex > 14) {
        return false;
    }
    const std::int32_t mask = std::int32_t{1} << bitIndex;
    return (static_cast<std::int32_t>(value) & mask) > 0;
}

std::string ByteToHex(std::uint8_t b) {
    return std::string{kHexDigits[b >> 4], kHexDigits[b & 0x0F]};
}

std::string LongToHex(std::int32_t v) {
    return PatternToHexLeastSignificantFirst(static_cast<std::uint32_t>(v));
}

std::int16_t HexToByte(std::string_view text) {
    int value = 0;
    if (text.size() >= 2) {
        const int low = UpperHexDigitValue(text[1]);
        if (low >= 0) {
            value = low;
        }
    }
    if (!text.empty()) {
        const int high = UpperHexDigitValue(text[0]);
        if (high >= 0) {
            value += 16 * high;
        }
    }
    return static_cast<std::int16_t>(value);
}

std::int32_t StringToLong(std::string_view blockText) {
    std::uint32_t pattern = 0;
    for (std::size_t i = 0; i < 4 && i < blockText.size(); ++i) {
        pattern |= std::uint32_t{static_cast<unsigned char>(blockText[i])} << (8 * i);
    }
    return SignedFromPattern(pattern);
}

} // namespace TypeCasting

std::string myfloathex(float zahl) {
    static_assert(sizeof(float) == 4, "the wire carries IEEE 754 binary32");
    std::uint32_t pattern = 0;
    std::memcpy(&pattern, &zahl, sizeof pattern);
    return PatternToHexLeastSignificantFirst(pattern);
}
