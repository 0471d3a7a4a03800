#include "command_frames.h"

#include <gtest/gtest.h>

#include "worked_examples.h"

#include <functional>
#include <string>
#include <vector>

namespace {

// Hex digits written with blanks between bytes, then zero bytes up to a whole frame.
std::string Frame(const std::string& spacedBytes) {
    std::string hex;
    for (char c : spacedBytes) {
        if (c != ' ') {
            hex += c;
        }
    }
    hex.resize(kCommandHexLength, '0');
    return hex;
}

std::string ByteOf(const std::string& hexText, std::size_t offset) {
    return hexText.substr(2 * offset, 2);
}

std::string BytesOf(const std::string& hexText, std::size_t offset, std::size_t count) {
    return hexText.substr(2 * offset, 2 * count);
}

std::string Characters(std::initializer_list<int> codes) {
    std::string text;
    for (int code : codes) {
        text += static_cast<char>(code);
    }
    return text;
}

BuiltFrame BuildOk(const MoveSetup& setup, AxisPair pair = AxisPair::XY, std::uint8_t counter = 0) {
    BuiltFrame frame = BuildMoveFrame(setup, pair, counter, '.');
    EXPECT_TRUE(frame.ok()) << (frame.ok() ? "" : frame.error->control);
    return frame;
}

TEST(MoveFrame, InitialSetupGivesTheWorkedExampleByteByByte) {
    const BuiltFrame frame = BuildOk(MoveSetup{});
    EXPECT_EQ(frame.hexText, worked::kMoveFrameHex);
    EXPECT_EQ(frame.hexText.size(), 128u);
}

TEST(MoveFrame, ZcDiffersOnlyInTheCommandByte) {
    MoveSetup setup;
    setup.rampChecked[2] = true;
    const std::string xy = BuildOk(setup, AxisPair::XY, 5).hexText;
    std::string zc = BuildOk(setup, AxisPair::ZC, 5).hexText;
    EXPECT_EQ(ByteOf(xy, 1), "11");
    EXPECT_EQ(ByteOf(zc, 1), "12");
    zc.replace(2, 2, "11");
    EXPECT_EQ(zc, xy);
}

TEST(MoveFrame, CarriesTheCounterInByte59) {
    EXPECT_EQ(ByteOf(BuildOk(MoveSetup{}, AxisPair::XY, 0x07).hexText, 59), "07");
    EXPECT_EQ(ByteOf(BuildOk(MoveSetup{}, AxisPair::XY, 0xFF).hexText, 59), "FF");
}

TEST(MoveFrame, MillimetresSendSinglesAndUnitsByteZero) {
    MoveSetup setup;
    setup.units = Units::Millimetres;
    setup.v_end = "1";
    const std::string hex = BuildOk(setup).hexText;
    EXPECT_EQ(BytesOf(hex, 2, 4), "0000803F");
    EXPECT_EQ(ByteOf(hex, 6), "04");
    EXPECT_EQ(ByteOf(hex, 7), "00");
    EXPECT_EQ(BytesOf(hex, 8, 4), "00004842");  // x_z_1 50
    EXPECT_EQ(BytesOf(hex, 16, 4), "000048C2"); // x_z_2 -50
    EXPECT_EQ(BytesOf(hex, 40, 16), std::string(32, '0'));
}

TEST(MoveFrame, SendsAnyPointCountUnchangedWithAllSixPoints) {
    for (const auto& [count, hex] : std::vector<std::pair<std::string, std::string>>{
             {"0", "00"}, {"9", "09"}, {"255", "FF"}}) {
        MoveSetup setup;
        setup.num_coord = count;
        setup.x_z[5] = "7";
        const std::string frame = BuildOk(setup).hexText;
        EXPECT_EQ(ByteOf(frame, 6), hex);
        EXPECT_EQ(BytesOf(frame, 48, 4), "07000000"); // x_z_6
    }
}

TEST(MoveFrame, PointsAlternateBetweenTheColumns) {
    MoveSetup setup;
    for (std::size_t row = 0; row < 6; ++row) {
        setup.x_z[row] = std::to_string(row + 1);
        setup.y_c[row] = std::to_string(row + 0x11);
    }
    const std::string hex = BuildOk(setup).hexText;
    EXPECT_EQ(BytesOf(hex, 8, 48), "01000000110000000200000012000000030000001300000004000000"
                                   "1400000005000000150000000600000016000000");
}

TEST(GetRampenbits, BoxIndexIsBitIndex) {
    std::array<bool, 8> boxes{};
    EXPECT_EQ(GetRampenbits(boxes), 0x00);
    boxes[0] = true;
    EXPECT_EQ(GetRampenbits(boxes), 0x01);
    boxes = {};
    boxes[7] = true;
    EXPECT_EQ(GetRampenbits(boxes), 0x80);
    boxes = {true, false, true, false, false, true, false, false};
    EXPECT_EQ(GetRampenbits(boxes), 0x25);
    boxes.fill(true);
    EXPECT_EQ(GetRampenbits(boxes), 0xFF);

    MoveSetup setup;
    setup.rampChecked.fill(true);
    EXPECT_EQ(ByteOf(BuildOk(setup).hexText, 56), "FF");
}

TEST(MoveFrame, NamesTheFirstBoxThatDidNotConvert) {
    struct Row {
        std::function<void(MoveSetup&)> edit;
        std::string control;
        std::string label;
        ConversionProblem problem;
    };
    const std::vector<Row> table = {
        {[](MoveSetup& s) { s.v_end = "fast"; }, "v_end", "V - end", ConversionProblem::NotANumber},
        {[](MoveSetup& s) { s.num_coord = "256"; }, "num_coord", "Number of Coordinates",
         ConversionProblem::OutOfRange},
        {[](MoveSetup& s) { s.x_z[0] = ""; }, "x_z_1", "X / Z 1", ConversionProblem::Empty},
        {[](MoveSetup& s) { s.y_c[0] = "1,000"; }, "y_c_1", "Y / C 1",
         ConversionProblem::NotANumber},
        {[](MoveSetup& s) { s.x_z[5] = "3e9"; }, "x_z_6", "X / Z 6", ConversionProblem::OutOfRange},
        {[](MoveSetup& s) { s.y_c[5] = "x"; }, "y_c_6", "Y / C 6", ConversionProblem::NotANumber},
        // Byte order decides which failure is reported: y_c_2 comes before x_z_3.
        {[](MoveSetup& s) {
             s.x_z[2] = "a";
             s.y_c[1] = "b";
         },
         "y_c_2", "Y / C 2", ConversionProblem::NotANumber},
        {[](MoveSetup& s) {
             s.x_z[0] = "a";
             s.num_coord = "-1";
         },
         "num_coord", "Number of Coordinates", ConversionProblem::OutOfRange},
    };
    for (const Row& row : table) {
        MoveSetup setup;
        row.edit(setup);
        const BuiltFrame frame = BuildMoveFrame(setup, AxisPair::XY, 0, '.');
        ASSERT_FALSE(frame.ok()) << row.control;
        EXPECT_EQ(frame.error->control, row.control);
        EXPECT_EQ(frame.error->label, row.label);
        EXPECT_EQ(frame.error->error.problem, row.problem) << row.control;
        EXPECT_TRUE(frame.hexText.empty());
    }
}

TEST(MoveFrame, MillimetresRefuseValuesBeyondSinglePrecision) {
    MoveSetup setup;
    setup.units = Units::Millimetres;
    setup.y_c[3] = "1e39";
    const BuiltFrame frame = BuildMoveFrame(setup, AxisPair::ZC, 0, '.');
    ASSERT_FALSE(frame.ok());
    EXPECT_EQ(frame.error->control, "y_c_4");
    EXPECT_EQ(frame.error->error.problem, ConversionProblem::OutOfRange);
    // 3e9 does not fit a step count, but it is an ordinary single.
    setup.y_c[3] = "3e9";
    EXPECT_TRUE(BuildMoveFrame(setup, AxisPair::ZC, 0, '.').ok());
}

TEST(ZeroPointFrame, StepsAndMillimetres) {
    const std::array<std::string, 4> zeros{"0", "0", "0", "0"};
    EXPECT_EQ(BuildZeroPointFrame(Units::Steps, zeros, '.').hexText,
              Frame("02 41 00 00 00 00 00 01"));
    EXPECT_EQ(BuildZeroPointFrame(Units::Millimetres, zeros, '.').hexText,
              Frame("02 41 00 00 00 00 00 00"));

    struct Row {
        Units units;
        std::string x;
        std::string bytes;
    };
    const std::vector<Row> table = {
        {Units::Steps, "1000", "E8030000"},    {Units::Steps, "-1", "FFFFFFFF"},
        {Units::Steps, "2.5", "02000000"},     {Units::Steps, "3.5", "04000000"},
        {Units::Millimetres, "1", "0000803F"}, {Units::Millimetres, "0", "00000000"},
    };
    for (const Row& row : table) {
        const BuiltFrame frame = BuildZeroPointFrame(row.units, {row.x, "0", "0", "0"}, '.');
        ASSERT_TRUE(frame.ok()) << row.x;
        EXPECT_EQ(BytesOf(frame.hexText, 8, 4), row.bytes) << row.x;
    }

    const BuiltFrame all = BuildZeroPointFrame(Units::Steps, {"1", "2", "3", "-4"}, '.');
    EXPECT_EQ(all.hexText, Frame("02 41 00 00 00 00 00 01 01000000 02000000 03000000 FCFFFFFF"));
}

TEST(ZeroPointFrame, NamesTheFirstBoxThatDidNotConvert) {
    const BuiltFrame frame = BuildZeroPointFrame(Units::Steps, {"0", "abc", "", "0"}, '.');
    ASSERT_FALSE(frame.ok());
    EXPECT_EQ(frame.error->control, "Null_y");
    EXPECT_EQ(frame.error->label, "Zero y");

    const BuiltFrame c = BuildZeroPointFrame(Units::Millimetres, {"0", "0", "0", "-1e40"}, '.');
    ASSERT_FALSE(c.ok());
    EXPECT_EQ(c.error->control, "Null_c");
    EXPECT_EQ(c.error->label, "Zero c");
}

TEST(AuxiliarySignalsFrame, StatesBothOutputs) {
    EXPECT_EQ(BuildAuxiliarySignalsFrame(false, false), Frame("02 21 00"));
    EXPECT_EQ(BuildAuxiliarySignalsFrame(true, false), Frame("02 21 01"));
    EXPECT_EQ(BuildAuxiliarySignalsFrame(false, true), Frame("02 21 02"));
    EXPECT_EQ(BuildAuxiliarySignalsFrame(true, true), "022103" + std::string(122, '0'));
}

TEST(ModeChangeFrame, TargetModeInByte2) {
    EXPECT_EQ(BuildModeChangeFrame(true), Frame("00 01 01"));
    EXPECT_EQ(BuildModeChangeFrame(false), Frame("00 01 02"));
}

TEST(StatusRequestFrame, AllZeroButTheCounter) {
    EXPECT_EQ(BuildStatusRequestFrame(0), std::string(128, '0'));
    const std::string hex = BuildStatusRequestFrame(0xA5);
    EXPECT_EQ(hex, std::string(118, '0') + "A5" + std::string(8, '0'));
}

TEST(ReferenceRunFrame, AxisCodesAfterTheHeader) {
    struct Row {
        std::array<Axis, 4> order;
        std::string head;
    };
    const std::vector<Row> table = {
        {{Axis::X, Axis::Y, Axis::Z, Axis::C}, Characters({0x02, 0x31, 0x04, 0, 1, 2, 3})},
        {{Axis::X, Axis::X, Axis::X, Axis::X}, Characters({0x02, 0x31, 0x04, 0, 0, 0, 0})},
        {{Axis::C, Axis::Z, Axis::Y, Axis::X}, Characters({0x02, 0x31, 0x04, 3, 2, 1, 0})},
    };
    for (const Row& row : table) {
        const std::string frame = BuildReferenceRunFrame(row.order);
        EXPECT_EQ(frame, row.head + std::string(57, '\0'));
        EXPECT_EQ(frame.size(), 64u);
    }
}

TEST(ReferenceRunLogLine, EndsAtTheFirstZeroCode) {
    EXPECT_EQ(ReferenceRunLogLine(BuildReferenceRunFrame({Axis::X, Axis::Y, Axis::Z, Axis::C})),
              Characters({0x02, 0x31, 0x04}));
    EXPECT_EQ(ReferenceRunLogLine(BuildReferenceRunFrame({Axis::Y, Axis::Z, Axis::C, Axis::Y})),
              Characters({0x02, 0x31, 0x04, 1, 2, 3, 1}));
    EXPECT_EQ(ReferenceRunLogLine(BuildReferenceRunFrame({Axis::C, Axis::Z, Axis::X, Axis::Y})),
              Characters({0x02, 0x31, 0x04, 3, 2}));
    EXPECT_EQ(ReferenceRunLogLine("abc"), "abc");
}

} // namespace
