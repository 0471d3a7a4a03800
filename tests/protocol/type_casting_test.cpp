#include "type_casting.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace TypeCasting;

namespace {

std::string Bytes(std::initializer_list<int> codes) {
    std::string text;
    for (int code : codes) {
        text += static_cast<char>(code);
    }
    return text;
}

TEST(ByteToHex, WritesTwoUpperCaseDigits) {
    const std::vector<std::pair<int, std::string>> table = {{0, "00"},  {10, "0A"},  {15, "0F"},
                                                            {16, "10"}, {171, "AB"}, {255, "FF"}};
    for (const auto& [byte, hex] : table) {
        EXPECT_EQ(ByteToHex(static_cast<std::uint8_t>(byte)), hex) << byte;
    }
}

TEST(LongToHex, PutsTheLeastSignificantPairFirst) {
    const std::vector<std::pair<std::int32_t, std::string>> table = {
        {0, "00000000"},         {1, "01000000"},          {256, "00010000"},
        {-1, "FFFFFFFF"},        {50, "32000000"},         {-50, "CEFFFFFF"},
        {305419896, "78563412"}, {2147483647, "FFFFFF7F"}, {INT32_MIN, "00000080"},
        {10000, "10270000"},
    };
    for (const auto& [value, hex] : table) {
        EXPECT_EQ(LongToHex(value), hex) << value;
    }
}

TEST(HexToByte, ReadsOnlyUpperCaseDigitsAndNeverFails) {
    const std::vector<std::pair<std::string, int>> table = {
        {"FF", 255}, {"0A", 10}, {"A0", 160}, {"a0", 0},  {"0a", 0}, {"1G", 16},
        {"A", 160},  {"", 0},    {"3F7", 63}, {"G1", 1},  {"00", 0}, {"7F", 127},
        {"  ", 0},   {"-1", 1},  {"ff", 0},   {"9Z", 144}};
    for (const auto& [text, value] : table) {
        EXPECT_EQ(HexToByte(text), value) << '"' << text << '"';
    }
}

TEST(StringToLong, ReadsFourBytesLittleEndianTwosComplement) {
    const std::vector<std::pair<std::string, std::int32_t>> table = {
        {Bytes({0x10, 0x27, 0x00, 0x00}), 10000},
        {Bytes({0xCE, 0xFF, 0xFF, 0xFF}), -50},
        {Bytes({0xFF, 0xFF, 0xFF, 0x7F}), 2147483647},
        {Bytes({0x00, 0x00, 0x00, 0x80}), INT32_MIN},
        {Bytes({0xFF, 0xFF, 0xFF, 0xFF}), -1},
        {Bytes({0x00, 0x01, 0x00, 0x00}), 256},
        {Bytes({0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF}), 305419896}, // characters after the fourth
    };
    for (const auto& [text, value] : table) {
        EXPECT_EQ(StringToLong(text), value) << value;
    }
}

TEST(StringToLong, ShortTextReadsMissingBytesAsZero) {
    EXPECT_EQ(StringToLong(""), 0);
    EXPECT_EQ(StringToLong(Bytes({0x34})), 0x34);
    EXPECT_EQ(StringToLong(Bytes({0xFF, 0xFF, 0xFF})), 0x00FFFFFF);
}

TEST(MyFloatHex, GivesTheBinary32PatternLeastSignificantByteFirst) {
    const std::vector<std::pair<float, std::string>> table = {
        {0.0f, "00000000"}, {-0.0f, "00000080"},  {0.1f, "CDCCCC3D"},  {100.0f, "0000C842"},
        {1.0f, "0000803F"}, {-50.0f, "000048C2"}, {50.0f, "00004842"},
    };
    for (const auto& [value, hex] : table) {
        EXPECT_EQ(myfloathex(value), hex) << value;
    }
}

TEST(IsBitSet, TestsOneBitOfTheValue) {
    struct Row {
        std::int16_t value;
        std::int16_t bit;
        bool set;
    };
    const std::vector<Row> table = {
        {128, 7, true},   {127, 7, false},   {1, 0, true},   {0, 0, false},  {255, 4, true},
        {0x0F, 4, false}, {16384, 14, true}, {-1, 14, true}, {-2, 0, false},
    };
    for (const Row& row : table) {
        EXPECT_EQ(IsBitSet(row.value, row.bit), row.set) << row.value << " bit " << row.bit;
    }
}

TEST(IsBitSet, IndexOutsideZeroToFourteenIsFalse) {
    EXPECT_FALSE(IsBitSet(-1, 15));
    EXPECT_FALSE(IsBitSet(-1, -1));
    EXPECT_FALSE(IsBitSet(-1, 31));
    EXPECT_FALSE(IsBitSet(-1, 32767));
    EXPECT_FALSE(IsBitSet(-1, -32768));
}

TEST(RoundTrip, EveryByteThroughItsHexText) {
    for (int b = 0; b <= 255; ++b) {
        EXPECT_EQ(HexToByte(ByteToHex(static_cast<std::uint8_t>(b))), b);
    }
}

TEST(RoundTrip, Int32ThroughHexPairsAndBlockText) {
    std::vector<std::int32_t> values = {0, 1, -1, INT32_MIN, INT32_MAX, 255, 256, -256};
    // A sweep with a stride coprime to 2^32, so every byte position takes many values.
    std::uint32_t pattern = 0;
    for (int i = 0; i < 20000; ++i) {
        pattern += 2654435761u;
        values.push_back(static_cast<std::int32_t>(pattern));
    }
    for (std::int32_t v : values) {
        const std::string hex = LongToHex(v);
        ASSERT_EQ(hex.size(), 8u);
        std::string block;
        for (std::size_t k = 0; k < 4; ++k) {
            block += static_cast<char>(HexToByte(hex.substr(2 * k, 2)));
        }
        ASSERT_EQ(StringToLong(block), v) << hex;
    }
}

} // namespace
