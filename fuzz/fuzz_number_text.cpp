// Any text in a numeric box, with either decimal separator. The four
// conversions must agree with a plain reading of the accepted syntax, with
// the C library's correctly rounded strtof / strtod, with each other, and
// with themselves when an accepted value is written out and read again.
//
// Input: the first byte picks the separator (its low bit: 0 '.', 1 ','),
// the rest is the box's text.

#include "number_text.h"

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The accepted syntax, read independently of the code under test: blanks,
// a sign, digits with at most one separator (at least one digit), an
// exponent, blanks. Gives the same number in C syntax for the C library.
struct PlainNumber {
    std::string cText;
    int significantDigits = 0;
};

std::optional<PlainNumber> ReadPlain(std::string_view text, char separator) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    PlainNumber plain;
    std::size_t i = begin;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        plain.cText += text[i++];
    }
    int digits = 0;
    int separators = 0;
    bool significant = false;
    for (; i < end; ++i) {
        if (text[i] == separator) {
            ++separators;
            plain.cText += '.';
        } else if (IsDigit(text[i])) {
            ++digits;
            significant = significant || text[i] != '0';
            plain.significantDigits += significant ? 1 : 0;
            plain.cText += text[i];
        } else {
            break;
        }
    }
    if (digits == 0 || separators > 1) {
        return std::nullopt;
    }
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        plain.cText += 'e';
        ++i;
        if (i < end && (text[i] == '+' || text[i] == '-')) {
            plain.cText += text[i++];
        }
        const std::size_t first = i;
        while (i < end && IsDigit(text[i])) {
            plain.cText += text[i++];
        }
        if (i == first) {
            return std::nullopt;
        }
    }
    if (i != end) {
        return std::nullopt;
    }
    return plain;
}

bool IsEmpty(std::string_view text) {
    for (char c : text) {
        if (!IsBlank(c)) {
            return false;
        }
    }
    return true;
}

template <typename T>
void CheckRefusal(const Conversion<T>& result, bool empty, bool plain, const char* what) {
    if (result.ok()) {
        Require(!empty && plain, what);
        return;
    }
    Require(!result.error->reason.empty(), "a refusal has a reason");
    if (empty) {
        Require(result.error->problem == ConversionProblem::Empty, "blank text is Empty");
    } else if (!plain) {
        Require(result.error->problem == ConversionProblem::NotANumber,
                "text outside the syntax is NotANumber");
    } else {
        Require(result.error->problem == ConversionProblem::OutOfRange,
                "a number in the syntax can only be out of range");
    }
}

// The integer targets against the C library's double reading. Up to 15
// significant digits the double is close enough to decide every tie, so the
// rounding (half to even) is checked exactly; beyond, within half a unit.
template <typename T>
void CheckIntegral(const Conversion<T>& result, const PlainNumber& plain, const char* what) {
    constexpr double kMin = static_cast<double>(std::numeric_limits<T>::min());
    constexpr double kMax = static_cast<double>(std::numeric_limits<T>::max());
    const double reading = std::strtod(plain.cText.c_str(), nullptr);
    if (plain.significantDigits <= 15) {
        const double rounded = std::nearbyint(reading);
        const bool inRange = rounded >= kMin && rounded <= kMax;
        Require(result.ok() == inRange, what);
        if (inRange) {
            Require(static_cast<double>(result.value) == rounded, what);
        }
        return;
    }
    if (result.ok()) {
        Require(std::fabs(static_cast<double>(result.value) - reading) <= 0.5 + 1e-6, what);
    } else {
        Require(reading >= kMax + 0.5 - 1e-6 || reading <= kMin - 0.5 + 1e-6, what);
    }
}

void CheckSingle(const Conversion<float>& result, const PlainNumber& plain) {
    errno = 0;
    const float reading = std::strtof(plain.cText.c_str(), nullptr);
    if (std::isinf(reading)) {
        Require(!result.ok(), "beyond the largest single is refused");
        return;
    }
    Require(result.ok(), "every other number converts to a single");
    Require(std::memcmp(&result.value, &reading, sizeof reading) == 0,
            "the nearest single, sign of zero included");
}

std::string WithSeparator(std::string text, char separator) {
    for (char& c : text) {
        if (c == '.') {
            c = separator;
        }
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const char separator = (data[0] & 1) ? ',' : '.';
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const Conversion<std::int32_t> int32 = ToInt32(text, separator);
    const Conversion<std::int16_t> int16 = ToInt16(text, separator);
    const Conversion<std::uint8_t> byte = ToByte(text, separator);
    const Conversion<float> single = ToSingle(text, separator);

    const bool empty = IsEmpty(text);
    const std::optional<PlainNumber> plain = ReadPlain(text, separator);
    CheckRefusal(int32, empty, plain.has_value(), "ToInt32 refusal");
    CheckRefusal(int16, empty, plain.has_value(), "ToInt16 refusal");
    CheckRefusal(byte, empty, plain.has_value(), "ToByte refusal");
    CheckRefusal(single, empty, plain.has_value(), "ToSingle refusal");
    if (!plain) {
        return 0;
    }

    CheckIntegral(int32, *plain, "ToInt32 against strtod");
    CheckIntegral(int16, *plain, "ToInt16 against strtod");
    CheckIntegral(byte, *plain, "ToByte against strtod");
    CheckSingle(single, *plain);

    // The widths agree: a narrower target takes exactly the values of the
    // 32-bit reading that fit it.
    if (int32.ok()) {
        const std::int32_t v = int32.value;
        Require(int16.ok() == (v >= -32768 && v <= 32767), "ToInt16 follows ToInt32");
        Require(!int16.ok() || int16.value == v, "ToInt16 value");
        Require(byte.ok() == (v >= 0 && v <= 255), "ToByte follows ToInt32");
        Require(!byte.ok() || byte.value == v, "ToByte value");
        Require(single.ok(), "a 32-bit integer always fits a single");
        Require(std::fabs(double{single.value} - v) <= 0.5 + std::fabs(double{single.value}) * 1e-7,
                "single and integer readings agree");

        // Written out and read again, also with blanks and a plus sign.
        const std::string written = std::to_string(v);
        const Conversion<std::int32_t> again = ToInt32(written, separator);
        Require(again.ok() && again.value == v, "ToInt32 re-reads its value");
        const Conversion<std::int32_t> padded =
            ToInt32(" \t" + std::string(v >= 0 ? "+" : "") + written + "  ", separator);
        Require(padded.ok() && padded.value == v, "ToInt32 re-reads with blanks");
    } else {
        Require(!int16.ok() && !byte.ok(), "beyond 32 bits is beyond 16 and 8");
    }
    if (single.ok()) {
        char written[64];
        std::snprintf(written, sizeof written, "%.9g", double{single.value});
        const Conversion<float> again = ToSingle(WithSeparator(written, separator), separator);
        Require(again.ok() && std::memcmp(&again.value, &single.value, sizeof(float)) == 0,
                "ToSingle re-reads its value");
    }
    return 0;
}
