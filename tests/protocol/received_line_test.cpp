#include "received_line.h"

#include <gtest/gtest.h>

#include "worked_examples.h"

#include <cstdint>
#include <string>

namespace {

std::string Codes(std::initializer_list<int> codes) {
    std::string text;
    for (int code : codes) {
        text += static_cast<char>(code);
    }
    return text;
}

TEST(ReceivedLine, CountingBytesAt125Ms) {
    std::string block;
    for (int i = 0; i < 32; ++i) {
        block += static_cast<char>(i);
    }
    EXPECT_EQ(ReceivedLine(FirstBlockBytes(block), 125),
              "IN < 0001 0203 0405 0607 0809 0A0B 0C0D 0E0F 1011 1213 1415 1617 1819 1A1B "
              "1C1D 1E1F  t- 125");
}

TEST(ReceivedLine, StatusFrameAt250Ms) {
    EXPECT_EQ(ReceivedLine(FirstBlockBytes(worked::kStatusFrame), 250), worked::kStatusLine);
}

TEST(ReceivedLine, ZeroBlockAndElapsedTexts) {
    const std::string zeros = "IN < " + [] {
        std::string groups;
        for (int i = 0; i < 16; ++i) {
            groups += "0000 ";
        }
        return groups;
    }();
    const ReceivedBlock block = FirstBlockBytes(std::string(32, '\0'));
    EXPECT_EQ(ReceivedLine(block, 40), zeros + " t- 40");
    EXPECT_EQ(ReceivedLine(block, 0), zeros + " t- 0");
    EXPECT_EQ(ReceivedLine(block, -5), zeros + " t- -5");
    EXPECT_EQ(ReceivedLine(block, INT32_MIN), zeros + " t- -2147483648");
    EXPECT_EQ(ReceivedLine(block, 2147483647), zeros + " t- 2147483647");
    EXPECT_EQ(ReceivedLine(block, 40).size(), 89u + 2u);
}

TEST(FirstBlockBytes, TakesOnlyTheFirst32AndFillsMissingWithZero) {
    std::string forty(32, '\x11');
    forty += std::string(8, '\x7E');
    const ReceivedBlock fromForty = FirstBlockBytes(forty);
    for (std::uint8_t byte : fromForty) {
        EXPECT_EQ(byte, 0x11);
    }
    const ReceivedBlock fromThree = FirstBlockBytes(Codes({0xFF, 0x80, 0x01}));
    EXPECT_EQ(fromThree[0], 0xFF);
    EXPECT_EQ(fromThree[1], 0x80);
    EXPECT_EQ(fromThree[2], 0x01);
    for (std::size_t i = 3; i < fromThree.size(); ++i) {
        EXPECT_EQ(fromThree[i], 0) << i;
    }
}

TEST(ElapsedTicks, DifferenceModulo2To32) {
    struct Row {
        std::int32_t previous;
        std::int32_t current;
        std::int32_t elapsed;
    };
    const Row table[] = {
        {0, 123456, 123456}, // first block after start: the count itself
        {1000, 1040, 40},
        {2147483600, INT32_MIN + 50, 98}, // the signed count passes its maximum
        {-10, 30, 40},                    // the unsigned count wraps to 0
        {INT32_MIN, 2147483647, -1},
        {0, INT32_MIN, INT32_MIN},
        {5, 5, 0},
        {1040, 1000, -40},
    };
    for (const Row& row : table) {
        EXPECT_EQ(ElapsedTicks(row.previous, row.current), row.elapsed)
            << row.previous << " -> " << row.current;
    }
}

} // namespace
