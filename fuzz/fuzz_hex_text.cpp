// Any text read as hex: HexToByte must stay within 0..255 and read exactly
// the upper-case digits it finds in the first two places; a frame's bytes
// are those readings pair by pair; and the writers' texts read back to the
// values they were made from.

#include "frames/command_channel.h"
#include "type_casting.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// A digit's value by its place in "0123456789ABCDEF"; anything else,
// lower case included, counts as no digit.
int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

int ReferenceHexToByte(std::string_view text) {
    const int high = text.size() >= 1 ? DigitValue(text[0]) : -1;
    const int low = text.size() >= 2 ? DigitValue(text[1]) : -1;
    return (high < 0 ? 0 : 16 * high) + (low < 0 ? 0 : low);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::int16_t value = TypeCasting::HexToByte(text);
    Require(value >= 0 && value <= 255, "HexToByte within 0..255");
    Require(value == ReferenceHexToByte(text), "HexToByte reads the first two digits");

    // A frame's bytes come pair by pair from its hex text, whatever it holds.
    const CommandFrame frame = FrameFromHex(text);
    for (std::size_t k = 0; k < frame.size(); ++k) {
        const std::size_t at = 2 * k;
        const std::string_view pair = at < text.size() ? text.substr(at, 2) : std::string_view{};
        Require(frame[k] == ReferenceHexToByte(pair), "FrameFromHex pair by pair");
    }

    // Round trips through the writers.
    if (size >= 1) {
        const std::string pair = TypeCasting::ByteToHex(data[0]);
        Require(pair.size() == 2 && TypeCasting::HexToByte(pair) == data[0], "ByteToHex back");
    }
    if (size >= 4) {
        std::int32_t number = 0;
        std::memcpy(&number, data, sizeof number);
        const std::string digits = TypeCasting::LongToHex(number);
        Require(digits.size() == 8, "LongToHex is eight digits");
        std::string block;
        for (std::size_t k = 0; k < 4; ++k) {
            const std::int16_t b = TypeCasting::HexToByte(std::string_view(digits).substr(2 * k));
            block += static_cast<char>(b);
        }
        Require(TypeCasting::StringToLong(block) == number, "LongToHex, HexToByte, StringToLong");

        float single = 0;
        std::memcpy(&single, data, sizeof single);
        const std::string floatDigits = myfloathex(single);
        Require(floatDigits.size() == 8, "myfloathex is eight digits");
        for (std::size_t k = 0; k < 4; ++k) {
            Require(TypeCasting::HexToByte(std::string_view(floatDigits).substr(2 * k)) == data[k],
                    "myfloathex keeps the pattern, least significant byte first");
        }
    }
    return 0;
}
