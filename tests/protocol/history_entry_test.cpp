#include "history_entry.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "command_frames.h"
#include "worked_examples.h"

namespace {

TEST(HistoryEntry, WorkedExamplesReadBackToTheirDocumentedValues) {
    const auto move = ParseHistoryEntry(worked::kMoveFrameHex);
    ASSERT_TRUE(move);
    EXPECT_EQ(move->kind, HistoryEntryKind::SentFrame);
    EXPECT_EQ(DescribeHistoryEntry(*move),
              "Drive X / Y in steps: 4 points (50, 50) (-50, 50) (-50, -50) (50, -50), unused "
              "(0, 0) (0, 0); end velocity 0 steps/s; ramp bits 00000000; counter 0");

    const auto status = ParseHistoryEntry(worked::kStatusLine);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->kind, HistoryEntryKind::Received);
    EXPECT_EQ(DescribeHistoryEntry(*status),
              "Status: mode 2; x 10000, y -50, z 0, c 256; buffer 50 %; error code 0; frame "
              "counter 7; set: End X, Emergency, Spindle, Boost; 250 ms after the previous block");

    // The start-up reference run keeps three characters: step 1 ended the
    // line with axis code 0, the other three steps are not in it.
    const std::string startUp =
        ReferenceRunLogLine(BuildReferenceRunFrame({Axis::X, Axis::Y, Axis::Z, Axis::C}));
    EXPECT_EQ(DescribeHistoryLine(startUp),
              "Reference run order: x, ?, ?, ? (? not kept in the history line)");
    EXPECT_EQ(DescribeHistoryLine("IN < 0211"), "Not a line the console logs");
}

// Every frame the console can build, from random box contents, reads back as
// what was typed; every received line as its block and elapsed time; and a
// line one character off the console's forms is refused.
TEST(HistoryEntry, RandomFramesAndBlocksReadBackAndNearMissesAreRefused) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    auto anyInt = [&] { return static_cast<std::int32_t>(random()); };

    for (int round = 0; round < 2000; ++round) {
        // A move frame in steps or millimetres.
        MoveSetup setup;
        const bool mm = pick(0, 1) == 1;
        setup.units = mm ? Units::Millimetres : Units::Steps;
        std::array<std::array<std::int32_t, 2>, 6> values{};
        for (auto& point : values) {
            point = {anyInt() % (mm ? 100000 : INT32_MAX), anyInt()};
            if (mm) {
                point[1] %= 1000;
            }
        }
        for (std::size_t n = 0; n < 6; ++n) {
            setup.x_z[n] = std::to_string(values[n][0]);
            setup.y_c[n] = std::to_string(values[n][1]);
        }
        const std::int32_t velocity = pick(-1000, 1000);
        setup.v_end = std::to_string(velocity);
        const int count = pick(0, 255);
        setup.num_coord = std::to_string(count);
        for (bool& box : setup.rampChecked) {
            box = pick(0, 1) == 1;
        }
        const AxisPair pair = pick(0, 1) ? AxisPair::XY : AxisPair::ZC;
        const auto counter = static_cast<std::uint8_t>(pick(0, 255));
        const BuiltFrame built = BuildMoveFrame(setup, pair, counter, '.');
        ASSERT_TRUE(built.ok());
        const auto move = ParseHistoryEntry(built.hexText);
        ASSERT_TRUE(move);
        const DecodedCommand& c = move->command;
        EXPECT_EQ(c.kind, pair == AxisPair::XY ? CommandKind::MoveXY : CommandKind::MoveZC);
        EXPECT_EQ(c.pointCount, count);
        EXPECT_EQ(c.rampBits, GetRampenbits(setup.rampChecked));
        EXPECT_EQ(c.counter, counter);
        EXPECT_EQ(FrameValueText(c.endVelocity), std::to_string(velocity));
        for (std::size_t n = 0; n < 6; ++n) {
            for (std::size_t k = 0; k < 2; ++k) {
                EXPECT_EQ(c.points[n][k].millimetres, mm);
                // Values this small are exact singles, so the text is the number typed.
                EXPECT_EQ(FrameValueText(c.points[n][k]), std::to_string(values[n][k]));
            }
        }

        // The frames with no numeric box, and the zero point.
        const bool spindle = pick(0, 1), cooling = pick(0, 1), toMode1 = pick(0, 1);
        const auto aux = ParseHistoryEntry(BuildAuxiliarySignalsFrame(spindle, cooling));
        ASSERT_TRUE(aux);
        EXPECT_EQ(aux->command.kind, CommandKind::AuxiliarySignals);
        EXPECT_EQ(aux->command.signalBits, (spindle ? 1 : 0) | (cooling ? 2 : 0));
        const auto mode = ParseHistoryEntry(BuildModeChangeFrame(toMode1));
        ASSERT_TRUE(mode);
        EXPECT_EQ(mode->command.kind, CommandKind::ModeChange);
        EXPECT_EQ(mode->command.targetMode, toMode1 ? 1 : 2);
        const auto request = ParseHistoryEntry(BuildStatusRequestFrame(counter));
        ASSERT_TRUE(request);
        EXPECT_EQ(request->command.kind, CommandKind::StatusRequest);
        EXPECT_EQ(request->command.counter, counter);
        std::array<std::string, 4> zero;
        for (std::size_t i = 0; i < 4; ++i) {
            zero[i] = std::to_string(values[i][1]);
        }
        const auto zeroPoint =
            ParseHistoryEntry(BuildZeroPointFrame(setup.units, zero, '.').hexText);
        ASSERT_TRUE(zeroPoint);
        EXPECT_EQ(zeroPoint->command.kind, CommandKind::ZeroPoint);
        EXPECT_FALSE(zeroPoint->command.counter);
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(FrameValueText(zeroPoint->command.zeroPoint[i]), zero[i]);
        }

        // The reference run: steps up to the first x are kept, that x ends the line.
        std::array<Axis, 4> order{};
        for (Axis& axis : order) {
            axis = static_cast<Axis>(pick(0, 3));
        }
        const auto reference =
            ParseHistoryEntry(ReferenceRunLogLine(BuildReferenceRunFrame(order)));
        ASSERT_TRUE(reference);
        EXPECT_EQ(reference->command.kind, CommandKind::ReferenceRun);
        bool lost = false;
        for (std::size_t step = 0; step < 4; ++step) {
            if (lost) {
                EXPECT_FALSE(reference->command.referenceOrder[step]);
            } else {
                EXPECT_EQ(reference->command.referenceOrder[step], static_cast<int>(order[step]));
            }
            lost = lost || order[step] == Axis::X;
        }

        // A received block, and near misses of both hex forms.
        ReceivedBlock block{};
        for (auto& byte : block) {
            byte = static_cast<std::uint8_t>(pick(0, 255));
        }
        const std::int32_t elapsed = pick(0, 3) == 0 ? anyInt() : pick(0, 2000);
        const std::string line = ReceivedLine(block, elapsed);
        const auto received = ParseHistoryEntry(line);
        ASSERT_TRUE(received);
        EXPECT_EQ(received->block, block);
        EXPECT_EQ(received->elapsedMs, elapsed);

        for (std::string text : {line, built.hexText}) {
            const std::size_t hexEnd = text.size() == 128 ? 128 : text.find(" t- ");
            const auto at = static_cast<std::size_t>(pick(0, static_cast<int>(hexEnd) - 1));
            switch (pick(0, 2)) {
            case 0:
                text.erase(at, 1);
                break;
            case 1:
                text.insert(at, 1, text[at]);
                break;
            default:
                text[at] = "abcdefG-"[pick(0, 7)];
                break;
            }
            EXPECT_FALSE(ParseHistoryEntry(text)) << text;
        }
    }
}

} // namespace
