#include "status_report.h"

#include <gtest/gtest.h>

#include "worked_examples.h"

#include <string>
#include <vector>

namespace {

std::string Block(std::initializer_list<int> codes) {
    std::string text;
    for (int code : codes) {
        text += static_cast<char>(code);
    }
    return text;
}

std::string ZeroFrameWith(std::size_t offset, int code) {
    std::string block(kStatusFrameSize, '\0');
    block[offset] = static_cast<char>(code);
    return block;
}

constexpr LampColour R = LampColour::Red;
constexpr LampColour G = LampColour::Green;

using Lamps = std::array<LampColour, kStatusLampCount>; // Boost, Sleep, Cooling, Spindle,
                                                        // Emergency, EndC, EndZ, EndY, EndX

TEST(DecodeStatus, WorkedExample) {
    const StatusReport report = DecodeStatus(worked::kStatusFrame);
    EXPECT_EQ(report.mode, 2);
    EXPECT_EQ(report.positionX, 10000);
    EXPECT_EQ(report.positionY, -50);
    EXPECT_EQ(report.positionZ, 0);
    EXPECT_EQ(report.positionC, 256);
    EXPECT_EQ(report.fillLevel, 50);
    EXPECT_EQ(FillBarValue(report.fillLevel), 50);
    EXPECT_EQ(FillLevelText(report.fillLevel), " 50 %");
    EXPECT_EQ(report.errorCode, 0);
    EXPECT_EQ(report.frameCounter, 7);
    EXPECT_EQ(report.lamps, (Lamps{G, R, R, G, R, G, G, G, R}));
    EXPECT_EQ(report.lamp(StatusLamp::Boost), G);
    EXPECT_EQ(report.lamp(StatusLamp::EndX), R);
}

TEST(DecodeStatus, AllZeroFrame) {
    const StatusReport report = DecodeStatus(std::string(kStatusFrameSize, '\0'));
    EXPECT_EQ(report.mode, 0);
    EXPECT_EQ(report.positionX, 0);
    EXPECT_EQ(report.positionY, 0);
    EXPECT_EQ(report.positionZ, 0);
    EXPECT_EQ(report.positionC, 0);
    EXPECT_EQ(report.errorCode, 0);
    EXPECT_EQ(report.frameCounter, 0);
    EXPECT_EQ(FillBarValue(report.fillLevel), 0);
    EXPECT_EQ(FillLevelText(report.fillLevel), " 0 %");
    EXPECT_EQ(report.lamps, (Lamps{R, R, R, R, G, G, G, G, G}));
}

TEST(DecodeStatus, FlagBytes) {
    struct Row {
        std::size_t offset;
        int code;
        Lamps lamps;
    };
    const std::vector<Row> table = {
        {1, 0xFF, {R, R, R, R, R, R, R, R, R}}, // bits 5 to 7 change nothing else
        {1, 0xE0, {R, R, R, R, G, G, G, G, G}}, {1, 0x04, {R, R, R, R, G, G, R, G, G}},
        {2, 0x0F, {R, R, R, R, G, G, G, G, G}}, {2, 0xF0, {G, G, G, G, G, G, G, G, G}},
        {2, 0x20, {R, R, G, R, G, G, G, G, G}}, {2, 0x40, {R, G, R, R, G, G, G, G, G}},
    };
    for (const Row& row : table) {
        EXPECT_EQ(DecodeStatus(ZeroFrameWith(row.offset, row.code)).lamps, row.lamps)
            << "offset " << row.offset << " code " << row.code;
    }
}

TEST(DecodeStatus, PositionsAndBytesAtTheirOffsets) {
    std::string block(kStatusFrameSize, '\0');
    block.replace(3, 4, Block({0xFF, 0xFF, 0xFF, 0xFF}));
    block.replace(7, 4, Block({0x00, 0x00, 0x00, 0x80}));
    block.replace(11, 4, Block({0xFF, 0xFF, 0xFF, 0x7F}));
    block.replace(15, 4, Block({0x01, 0x02, 0x03, 0x04}));
    block[0] = static_cast<char>(0xFF);
    block[19] = static_cast<char>(0x55); // not shown
    block[26] = static_cast<char>(0xEE);
    block[27] = static_cast<char>(0x80);
    const StatusReport report = DecodeStatus(block);
    EXPECT_EQ(report.positionX, -1);
    EXPECT_EQ(report.positionY, INT32_MIN);
    EXPECT_EQ(report.positionZ, 2147483647);
    EXPECT_EQ(report.positionC, 0x04030201);
    EXPECT_EQ(report.mode, 255);
    EXPECT_EQ(report.fillLevel, 0);
    EXPECT_EQ(report.errorCode, 0xEE);
    EXPECT_EQ(report.frameCounter, 0x80);
}

TEST(DecodeStatus, ShortBlockReadsMissingBytesAsZeroAndLongBlockIgnoresTheRest) {
    const StatusReport shortBlock = DecodeStatus(Block({0x01, 0x00, 0x00, 0x10, 0x27}));
    EXPECT_EQ(shortBlock.mode, 1);
    EXPECT_EQ(shortBlock.positionX, 10000);
    EXPECT_EQ(shortBlock.positionC, 0);
    EXPECT_EQ(shortBlock.frameCounter, 0);
    EXPECT_EQ(DecodeStatus("").lamps, (Lamps{R, R, R, R, G, G, G, G, G}));

    std::string longBlock = ZeroFrameWith(27, 9) + std::string(8, '\x7F');
    EXPECT_EQ(DecodeStatus(longBlock).frameCounter, 9);
}

TEST(FillLevel, BarIsHeldInRangeWhileTheLabelShowsTheRawByte) {
    const std::vector<std::tuple<int, int, std::string>> table = {
        {0, 0, " 0 %"},       {1, 1, " 1 %"},       {100, 100, " 100 %"},
        {101, 100, " 101 %"}, {180, 100, " 180 %"}, {255, 100, " 255 %"}};
    for (const auto& [level, bar, text] : table) {
        EXPECT_EQ(FillBarValue(static_cast<std::uint8_t>(level)), bar) << level;
        EXPECT_EQ(FillLevelText(static_cast<std::uint8_t>(level)), text) << level;
    }
    EXPECT_EQ(DecodeStatus(ZeroFrameWith(20, 180)).fillLevel, 180);
}

} // namespace
