#include "number_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct IntRow {
    std::string text;
    std::int64_t value;
};

struct RefusedRow {
    std::string text;
    ConversionProblem problem;
    std::string reason; // empty: any reason will do, as long as there is one
};

template <typename T>
void ExpectRefused(const Conversion<T>& result, const RefusedRow& row, char separator) {
    ASSERT_FALSE(result.ok()) << '"' << row.text << "\" with '" << separator << "'";
    EXPECT_EQ(result.error->problem, row.problem) << '"' << row.text << '"';
    EXPECT_FALSE(result.error->reason.empty()) << '"' << row.text << '"';
    if (!row.reason.empty()) {
        EXPECT_EQ(result.error->reason, row.reason) << '"' << row.text << '"';
    }
}

std::uint32_t Bits(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

const std::string kInt32Range =
    "out of range: the value must lie between -2147483648 and 2147483647";
const std::string kByteRange = "out of range: the value must lie between 0 and 255";
const std::string kSingleRange = "out of range: the value lies beyond single precision";

TEST(ToInt32, RoundsTiesToEvenOnTheDecimalDigits) {
    const std::vector<IntRow> table = {
        {"0", 0},
        {"2.5", 2},
        {"3.5", 4},
        {"-2.5", -2},
        {"-3.5", -4},
        {"0.5", 0},
        {"1.5", 2},
        {"-0.5", 0},
        {"2.4999999999999999999999", 2}, // a double would read this as 2.5
        {"2.5000000000000000000001", 3}, // and this one too
        {"0.49999999999999999", 0},
        {"2.51", 3},
        {"2.49", 2},
        {"7.6", 8},
        {"-7.6", -8},
        {"1000", 1000},
        {"-1", -1},
        {"  42\t", 42},
        {"+17", 17},
        {".5", 0},
        {"5.", 5},
        {"007", 7},
        {"0.000", 0},
        {"-0", 0},
        {"2147483647", 2147483647},
        {"2147483647.4", 2147483647},
        {"-2147483648", -2147483648LL},
        {"-2147483648.5", -2147483648LL},
        {"-2147483647.5", -2147483648LL},
        {"1e3", 1000},
        {"2.5E-1", 0},
        {"25E-1", 2},
        {"35e-1", 4},
        {"1.2345e4", 12345},
        {"1.23456e4", 12346},
        {"1e-40", 0},
        {"-1e-40", 0},
        {"0e99999999999999999999", 0},
        {"1e-99999999999999999999", 0},
        {"12E+2", 1200},
        {"2147483.647e3", 2147483647},
    };
    for (const IntRow& row : table) {
        const Conversion<std::int32_t> result = ToInt32(row.text, '.');
        ASSERT_TRUE(result.ok()) << '"' << row.text << "\": " << result.error->reason;
        EXPECT_EQ(result.value, row.value) << '"' << row.text << '"';
    }
}

TEST(ToInt32, ReadsTheCommaWhenItIsTheSeparator) {
    const std::vector<IntRow> table = {{"2,5", 2}, {"3,5", 4}, {"-1,5e1", -15}, {"1,000", 1}};
    for (const IntRow& row : table) {
        const Conversion<std::int32_t> result = ToInt32(row.text, ',');
        ASSERT_TRUE(result.ok()) << '"' << row.text << '"';
        EXPECT_EQ(result.value, row.value) << '"' << row.text << '"';
    }
}

TEST(ToInt32, RefusesTextsThatAreNotDecimalNumbers) {
    using P = ConversionProblem;
    const std::vector<RefusedRow> table = {
        {"", P::Empty, "empty"},
        {"   \t ", P::Empty, "empty"},
        {"abc", P::NotANumber, "not a number"},
        {"12a", P::NotANumber, "not a number"},
        {"nan", P::NotANumber, ""},
        {"NaN", P::NotANumber, ""},
        {"inf", P::NotANumber, ""},
        {"-inf", P::NotANumber, ""},
        {"infinity", P::NotANumber, ""},
        {"0x10", P::NotANumber, ""},
        {"-", P::NotANumber, ""},
        {"+", P::NotANumber, ""},
        {".", P::NotANumber, ""},
        {"1e", P::NotANumber, ""},
        {"1e+", P::NotANumber, ""},
        {"e5", P::NotANumber, ""},
        {"--1", P::NotANumber, ""},
        {"- 1", P::NotANumber, ""},
        {"1.2.3", P::NotANumber, ""},
        {"1 2", P::NotANumber, ""},
        {"1,000", P::NotANumber, "digit group separators are not accepted"},
        {"1,000,000", P::NotANumber, "digit group separators are not accepted"},
        {"1,000.5", P::NotANumber, "digit group separators are not accepted"},
        {"1 000", P::NotANumber, "digit group separators are not accepted"},
        {"1'000", P::NotANumber, "digit group separators are not accepted"},
        {"1.000.000", P::NotANumber, "digit group separators are not accepted"},
        {"1\xC2\xA0"
         "000",
         P::NotANumber, "digit group separators are not accepted"},
        {"2,5", P::NotANumber, "the decimal separator is '.'"},
        {"-0,25", P::NotANumber, "the decimal separator is '.'"},
        {std::string("1\0"
                     "2",
                     3),
         P::NotANumber, ""},
    };
    for (const RefusedRow& row : table) {
        ExpectRefused(ToInt32(row.text, '.'), row, '.');
    }
}

TEST(ToInt32, NamesTheOtherSeparatorWhenTheCommaIsExpected) {
    using P = ConversionProblem;
    const std::vector<RefusedRow> table = {
        {"2.5", P::NotANumber, "the decimal separator is ','"},
        {"1.000", P::NotANumber, "digit group separators are not accepted"},
        {"1.000,5", P::NotANumber, "digit group separators are not accepted"},
        {"1,000,000", P::NotANumber, "digit group separators are not accepted"},
    };
    for (const RefusedRow& row : table) {
        ExpectRefused(ToInt32(row.text, ','), row, ',');
    }
}

TEST(ToInt32, RefusesValuesOutsideTheSigned32BitRange) {
    using P = ConversionProblem;
    const std::vector<RefusedRow> table = {
        {"2147483648", P::OutOfRange, kInt32Range},
        {"2147483647.5", P::OutOfRange, kInt32Range},
        {"-2147483649", P::OutOfRange, kInt32Range},
        {"-2147483648.51", P::OutOfRange, kInt32Range},
        {"1e40", P::OutOfRange, kInt32Range},
        {"-1e10", P::OutOfRange, kInt32Range},
        {"99999999999999999999999", P::OutOfRange, kInt32Range},
        {"1e99999999999999999999", P::OutOfRange, kInt32Range},
    };
    for (const RefusedRow& row : table) {
        ExpectRefused(ToInt32(row.text, '.'), row, '.');
    }
}

TEST(ToByte, AcceptsZeroTo255AfterRounding) {
    const std::vector<IntRow> accepted = {{"0", 0},       {"255", 255},   {"-0.4", 0}, {"-0.5", 0},
                                          {"254.5", 254}, {"255.4", 255}, {"9", 9},    {"4", 4}};
    for (const IntRow& row : accepted) {
        const Conversion<std::uint8_t> result = ToByte(row.text, '.');
        ASSERT_TRUE(result.ok()) << '"' << row.text << '"';
        EXPECT_EQ(result.value, row.value) << '"' << row.text << '"';
    }
    using P = ConversionProblem;
    const std::vector<RefusedRow> refused = {
        {"256", P::OutOfRange, kByteRange},      {"255.5", P::OutOfRange, kByteRange},
        {"-1", P::OutOfRange, kByteRange},       {"-0.6", P::OutOfRange, kByteRange},
        {"1e3", P::OutOfRange, kByteRange},      {"", P::Empty, "empty"},
        {"four", P::NotANumber, "not a number"},
    };
    for (const RefusedRow& row : refused) {
        ExpectRefused(ToByte(row.text, '.'), row, '.');
    }
}

TEST(ToInt16, CoversThePortNumberRange) {
    EXPECT_EQ(ToInt16("3", '.').value, 3);
    EXPECT_EQ(ToInt16("32767", '.').value, 32767);
    EXPECT_EQ(ToInt16("-32768", '.').value, -32768);
    const Conversion<std::int16_t> tooLarge = ToInt16("32768", '.');
    ASSERT_FALSE(tooLarge.ok());
    EXPECT_EQ(tooLarge.error->problem, ConversionProblem::OutOfRange);
    EXPECT_EQ(tooLarge.error->reason, "out of range: the value must lie between -32768 and 32767");
    EXPECT_FALSE(ToInt16("-32769", '.').ok());
}

TEST(ToSingle, TakesTheNearestSingle) {
    struct Row {
        std::string text;
        std::uint32_t bits;
    };
    const std::vector<Row> table = {
        {"0", 0x00000000u},
        {"-0", 0x80000000u},
        {"1", 0x3F800000u},
        {"0.1", 0x3DCCCCCDu},
        {"50", 0x42480000u},
        {"-50", 0xC2480000u},
        {"100", 0x42C80000u},
        {"1e3", 0x447A0000u},
        {"2.5E-1", 0x3E800000u},
        {" -1.5 ", 0xBFC00000u},
        // 1 + 2^-24 lies halfway between 1 and the next single: the tie goes to 1.
        {"1.000000059604644775390625", 0x3F800000u},
        {"1.000000059604644775390626", 0x3F800001u},
        {"16777217", 0x4B800000u}, // 2^24 + 1, a tie, rounds to even 2^24
        {"16777219", 0x4B800002u}, // 2^24 + 3, a tie, rounds to even 2^24 + 4
        {"3.4028234663852886e38", 0x7F7FFFFFu},
        {"340282356779733661637539395458142568447", 0x7F7FFFFFu}, // just under the tie
        {"1e-40", 0x000116C2u},                                   // a denormal
        {"1.401298464324817e-45", 0x00000001u},                   // the smallest denormal
        {"7.1e-46", 0x00000001u},
        {"7e-46", 0x00000000u}, // below half the smallest denormal
        {"-1e-50", 0x80000000u},
        {"1e-99999999999999999999", 0x00000000u},
        {"-0e99999999999999999999", 0x80000000u},
    };
    for (const Row& row : table) {
        const Conversion<float> result = ToSingle(row.text, '.');
        ASSERT_TRUE(result.ok()) << '"' << row.text << "\": " << result.error->reason;
        EXPECT_EQ(Bits(result.value), row.bits) << '"' << row.text << '"';
    }
    EXPECT_EQ(Bits(ToSingle("0,1", ',').value), 0x3DCCCCCDu);
}

TEST(ToSingle, RefusesValuesBeyondSinglePrecisionAndNonNumbers) {
    using P = ConversionProblem;
    const std::vector<RefusedRow> table = {
        {"340282356779733661637539395458142568448", P::OutOfRange, kSingleRange}, // the tie
        {"3.5e38", P::OutOfRange, kSingleRange},
        {"-3.5e38", P::OutOfRange, kSingleRange},
        {"1e39", P::OutOfRange, kSingleRange},
        {"1e40", P::OutOfRange, kSingleRange},
        {"1e99999999999999999999", P::OutOfRange, kSingleRange},
        {"nan", P::NotANumber, ""},
        {"inf", P::NotANumber, ""},
        {"-infinity", P::NotANumber, ""},
        {"0x1p3", P::NotANumber, ""},
        {"", P::Empty, "empty"},
        {"2,5", P::NotANumber, "the decimal separator is '.'"},
    };
    for (const RefusedRow& row : table) {
        ExpectRefused(ToSingle(row.text, '.'), row, '.');
    }
}

TEST(LongTexts, MegabytesOfDigitsStillConvertExactly) {
    const std::string zeros(2'000'000, '0');
    // A tie followed by a far-away 1 is no longer a tie.
    EXPECT_EQ(ToInt32("2.5" + zeros + "1", '.').value, 3);
    EXPECT_EQ(ToInt32("2.5" + zeros, '.').value, 2);
    EXPECT_EQ(ToInt32(zeros + "42", '.').value, 42);
    EXPECT_EQ(ToInt32("0." + zeros + "9", '.').value, 0);
    EXPECT_EQ(ToInt32("1" + zeros, '.').error->problem, ConversionProblem::OutOfRange);
    EXPECT_EQ(ToInt32("1" + zeros + "e-2000000", '.').value, 1);
    EXPECT_EQ(Bits(ToSingle("1.000000059604644775390625" + zeros + "1", '.').value), 0x3F800001u);
    EXPECT_EQ(Bits(ToSingle("1.000000059604644775390624" + std::string(2'000'000, '9'), '.').value),
              0x3F800000u);
    EXPECT_EQ(ToSingle("1" + zeros, '.').error->problem, ConversionProblem::OutOfRange);
    EXPECT_EQ(ToInt32("1" + zeros + "x", '.').error->problem, ConversionProblem::NotANumber);
    EXPECT_EQ(ToInt32("1e1" + zeros, '.').error->problem, ConversionProblem::OutOfRange);
}

} // namespace
