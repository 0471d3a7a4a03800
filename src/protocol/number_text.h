#pragma once
// Text-to-number conversions for every numeric box of the console.
//
// Accepted: optional blanks, an optional sign, decimal digits with at most one
// decimal separator (the operator's, passed in), an optional exponent
// ("e" or "E", optional sign, digits), optional blanks. Everything else is
// refused with a reason: digit-group separators, the other decimal separator,
// "nan", "inf", hex, empty text. A fraction rounds to the nearest value, a tie
// to the even neighbour, decided on the decimal digits; a result outside the
// target's range is refused. A single takes the nearest binary32 value; one
// that rounds beyond the largest single is refused, a tiny one becomes a
// denormal or a signed zero. Linear in the text's length.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class ConversionProblem {
    Empty,      // nothing but blanks
    NotANumber, // letters, stray characters, group separators, nan, inf
    OutOfRange, // a number, but not representable in the target
};

struct ConversionError {
    ConversionProblem problem;
    std::string reason; // operator-facing, names what was wrong
};

template <typename T> struct Conversion {
    T value{};
    std::optional<ConversionError> error;
    bool ok() const { return !error.has_value(); }
};

Conversion<std::int32_t> ToInt32(std::string_view text, char decimalSeparator);
Conversion<std::int16_t> ToInt16(std::string_view text, char decimalSeparator);
Conversion<std::uint8_t> ToByte(std::string_view text, char decimalSeparator);
Conversion<float> ToSingle(std::string_view text, char decimalSeparator);
