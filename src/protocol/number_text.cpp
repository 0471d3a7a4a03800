#include "number_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace {

// Enough digits to decide the rounding of any single-precision value (its
// halfway points need at most 112 significant digits) and of any integer
// target; the digits beyond only matter as "is any of them not zero".
constexpr std::size_t kKeptDigits = 200;

// Exponents are read up to this size and held there: far beyond any value a
// target can hold, and small enough that adding a text's length never
// overflows.
constexpr std::int64_t kExponentLimit = 1'000'000'000'000;

// 10^39 exceeds the largest single and 10^-46 is below half the smallest
// denormal, so the library conversion is only asked about exponents between.
constexpr std::int64_t kSinglePointPositionMax = 39;
constexpr std::int64_t kSinglePointPositionMin = -46;

// Integer targets never hold more than 19 decimal digits before rounding.
constexpr std::int64_t kIntegerPointPositionMax = 19;

const char* const kEmptyReason = "empty";
const char* const kNotANumberReason = "not a number";
const char* const kGroupSeparatorReason = "digit group separators are not accepted";
const char* const kSingleRangeReason = "out of range: the value lies beyond single precision";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The value 0.d1d2d3... x 10^pointPosition, with sign.
struct DecimalNumber {
    bool negative = false;
    std::string digits;               // significant digits, the first not 0; empty for zero
    bool nonZeroBeyondDigits = false; // a digit dropped after kKeptDigits was not 0
    std::int64_t pointPosition = 0;

    bool isZero() const { return digits.empty(); }
    int digitAt(std::int64_t index) const {
        if (index < 0 || static_cast<std::uint64_t>(index) >= digits.size()) {
            return 0;
        }
        return digits[static_cast<std::size_t>(index)] - '0';
    }
};

std::string_view TrimBlanks(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// Reads the exponent's digits starting at `i`, holding the value at
// kExponentLimit. Returns false when there is no digit.
bool ReadExponentDigits(std::string_view text, std::size_t& i, std::int64_t& exponent) {
    const std::size_t first = i;
    exponent = 0;
    while (i < text.size() && IsDigit(text[i])) {
        if (exponent < kExponentLimit) {
            exponent = exponent * 10 + (text[i] - '0');
        }
        ++i;
    }
    if (exponent > kExponentLimit) {
        exponent = kExponentLimit;
    }
    return i > first;
}

// The accepted syntax, on a text without surrounding blanks.
std::optional<DecimalNumber> ParseDecimal(std::string_view body, char decimalSeparator) {
    DecimalNumber number;
    std::size_t i = 0;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) {
        number.negative = body[i] == '-';
        ++i;
    }

    bool sawDigit = false;
    bool sawSeparator = false;
    bool significant = false;
    std::int64_t integerDigits = 0;        // counted from the first significant digit
    std::int64_t leadingFractionZeros = 0; // zeros between the separator and that digit
    for (; i < body.size(); ++i) {
        const char c = body[i];
        if (c == decimalSeparator) {
            if (sawSeparator) {
                return std::nullopt;
            }
            sawSeparator = true;
            continue;
        }
        if (!IsDigit(c)) {
            break;
        }
        sawDigit = true;
        if (!significant && c == '0') {
            if (sawSeparator) {
                ++leadingFractionZeros;
            }
            continue;
        }
        significant = true;
        if (!sawSeparator) {
            ++integerDigits;
        }
        if (number.digits.size() < kKeptDigits) {
            number.digits += c;
        } else if (c != '0') {
            number.nonZeroBeyondDigits = true;
        }
    }
    if (!sawDigit) {
        return std::nullopt;
    }

    std::int64_t exponent = 0;
    if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < body.size() && (body[i] == '+' || body[i] == '-')) {
            negativeExponent = body[i] == '-';
            ++i;
        }
        if (!ReadExponentDigits(body, i, exponent)) {
            return std::nullopt;
        }
        if (negativeExponent) {
            exponent = -exponent;
        }
    }
    if (i != body.size()) {
        return std::nullopt;
    }

    if (!number.nonZeroBeyondDigits) {
        while (!number.digits.empty() && number.digits.back() == '0') {
            number.digits.pop_back();
        }
    }
    if (!number.isZero()) {
        number.pointPosition =
            (integerDigits > 0 ? integerDigits : -leadingFractionZeros) + exponent;
    }
    return number;
}

// The text without `separator` where each one stands between a digit and a
// group of exactly three digits; nullopt when there is none or one stands
// elsewhere.
std::optional<std::string> WithoutGroupSeparators(std::string_view body,
                                                  std::string_view separator) {
    std::size_t at = body.find(separator);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    std::string result;
    result.reserve(body.size());
    std::size_t copied = 0;
    while (at != std::string_view::npos) {
        const std::size_t group = at + separator.size();
        const bool digitBefore = at > 0 && IsDigit(body[at - 1]);
        const bool threeDigitsAfter = group + 3 <= body.size() && IsDigit(body[group]) &&
                                      IsDigit(body[group + 1]) && IsDigit(body[group + 2]) &&
                                      (group + 3 == body.size() || !IsDigit(body[group + 3]));
        if (!digitBefore || !threeDigitsAfter) {
            return std::nullopt;
        }
        result.append(body.substr(copied, at - copied));
        copied = group;
        at = body.find(separator, group);
    }
    result.append(body.substr(copied));
    return result;
}

char OtherDecimalSeparator(char decimalSeparator) {
    return decimalSeparator == ',' ? '.' : ',';
}

// Why a text that is not blank failed the syntax, in the operator's words.
std::string RefusalReason(std::string_view body, char decimalSeparator) {
    const char other = OtherDecimalSeparator(decimalSeparator);
    const std::string_view groupSeparators[] = {
        " ",
        "\t",
        "'",
        "_",
        std::string_view(&other, 1),
        std::string_view(&decimalSeparator, 1),
        "\xC2\xA0",     // no-break space
        "\xE2\x80\xAF", // narrow no-break space
        "\xE2\x80\x99", // right single quotation mark
    };
    for (std::string_view separator : groupSeparators) {
        const std::optional<std::string> ungrouped = WithoutGroupSeparators(body, separator);
        if (ungrouped && ParseDecimal(*ungrouped, decimalSeparator)) {
            return kGroupSeparatorReason;
        }
    }

    const std::size_t otherAt = body.find(other);
    if (otherAt != std::string_view::npos &&
        body.find(other, otherAt + 1) == std::string_view::npos) {
        std::string corrected(body);
        corrected[otherAt] = decimalSeparator;
        if (ParseDecimal(corrected, decimalSeparator)) {
            return std::string("the decimal separator is '") + decimalSeparator + "'";
        }
    }
    return kNotANumberReason;
}

template <typename T> Conversion<T> Failure(ConversionProblem problem, std::string reason) {
    Conversion<T> result;
    result.error = ConversionError{problem, std::move(reason)};
    return result;
}

// The number, or the refusal as a failed conversion of type T.
template <typename T>
std::optional<DecimalNumber> ReadNumber(std::string_view text, char decimalSeparator,
                                        Conversion<T>& refusal) {
    const std::string_view body = TrimBlanks(text);
    if (body.empty()) {
        refusal = Failure<T>(ConversionProblem::Empty, kEmptyReason);
        return std::nullopt;
    }
    std::optional<DecimalNumber> number = ParseDecimal(body, decimalSeparator);
    if (!number) {
        refusal = Failure<T>(ConversionProblem::NotANumber, RefusalReason(body, decimalSeparator));
    }
    return number;
}

// Rounds on the decimal digits themselves, so no binary intermediate can
// move a tie.
template <typename T> Conversion<T> ToIntegral(std::string_view text, char decimalSeparator) {
    static_assert(sizeof(T) <= 4, "limits and magnitudes are held in 64 bits");
    constexpr std::int64_t kMin = std::numeric_limits<T>::min();
    constexpr std::int64_t kMax = std::numeric_limits<T>::max();
    Conversion<T> result;
    const std::optional<DecimalNumber> number = ReadNumber(text, decimalSeparator, result);
    if (!number) {
        return result;
    }
    const auto outOfRange = [&] {
        return Failure<T>(ConversionProblem::OutOfRange,
                          "out of range: the value must lie between " + std::to_string(kMin) +
                              " and " + std::to_string(kMax));
    };
    if (number->isZero()) {
        return result;
    }
    if (number->pointPosition > kIntegerPointPositionMax) {
        return outOfRange();
    }

    std::uint64_t magnitude = 0;
    for (std::int64_t k = 0; k < number->pointPosition; ++k) {
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(number->digitAt(k));
    }
    if (number->pointPosition >= 0) {
        const int roundingDigit = number->digitAt(number->pointPosition);
        const bool beyondHalf =
            number->digits.size() > static_cast<std::uint64_t>(number->pointPosition) + 1 ||
            number->nonZeroBeyondDigits;
        if (roundingDigit > 5 || (roundingDigit == 5 && (beyondHalf || magnitude % 2 == 1))) {
            ++magnitude;
        }
    }

    const std::uint64_t limit =
        number->negative ? static_cast<std::uint64_t>(-kMin) : static_cast<std::uint64_t>(kMax);
    if (magnitude > limit) {
        return outOfRange();
    }
    const std::int64_t value = number->negative ? -static_cast<std::int64_t>(magnitude)
                                                : static_cast<std::int64_t>(magnitude);
    result.value = static_cast<T>(value);
    return result;
}

} // namespace

Conversion<std::int32_t> ToInt32(std::string_view text, char decimalSeparator) {
    return ToIntegral<std::int32_t>(text, decimalSeparator);
}

Conversion<std::int16_t> ToInt16(std::string_view text, char decimalSeparator) {
    return ToIntegral<std::int16_t>(text, decimalSeparator);
}

Conversion<std::uint8_t> ToByte(std::string_view text, char decimalSeparator) {
    return ToIntegral<std::uint8_t>(text, decimalSeparator);
}

Conversion<float> ToSingle(std::string_view text, char decimalSeparator) {
    Conversion<float> result;
    const std::optional<DecimalNumber> number = ReadNumber(text, decimalSeparator, result);
    if (!number) {
        return result;
    }
    const float zero = number->negative ? -0.0f : 0.0f;
    if (number->isZero() || number->pointPosition < kSinglePointPositionMin) {
        result.value = zero;
        return result;
    }
    if (number->pointPosition > kSinglePointPositionMax) {
        return Failure<float>(ConversionProblem::OutOfRange, kSingleRangeReason);
    }

    // A short "C" form of the same value: the kept digits, a final 1 standing
    // for any dropped non-zero digits, and a small exponent.
    std::string normalised = number->digits;
    if (number->nonZeroBeyondDigits) {
        normalised += '1';
    }
    const std::int64_t exponent =
        number->pointPosition - static_cast<std::int64_t>(normalised.size());
    normalised += 'e';
    normalised += std::to_string(exponent);

    float magnitude = 0.0f;
    const std::from_chars_result parsed =
        std::from_chars(normalised.data(), normalised.data() + normalised.size(), magnitude);
    if (parsed.ec == std::errc::result_out_of_range) {
        if (number->pointPosition <= 0) {
            result.value = zero;
            return result;
        }
        return Failure<float>(ConversionProblem::OutOfRange, kSingleRangeReason);
    }
    if (parsed.ec != std::errc() || std::isinf(magnitude)) {
        return Failure<float>(ConversionProblem::OutOfRange, kSingleRangeReason);
    }
    result.value = number->negative ? -magnitude : magnitude;
    return result;
}
