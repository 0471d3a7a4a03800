#include "command_frames.h"
#include "frames/command_channel.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

// Records every call of both interfaces in one sequence, so the order of
// logging and writing can be checked.
struct Recorder {
    std::vector<std::string> events;
    std::vector<CommandFrame> sentFrames;
    std::vector<std::string> referenceLines;
    std::vector<std::vector<std::uint8_t>> writes;
};

class RecordingLink : public FrameLink {
public:
    explicit RecordingLink(Recorder& recorder) : recorder_(recorder) {}
    bool open = true;
    // The bytes the driver takes of each block.
    std::size_t takes = 64;
    bool isOpen() const override { return open; }
    std::size_t writeBlock(const std::uint8_t* data, std::size_t size) override {
        recorder_.events.push_back(takes >= size ? "write" : "refused");
        if (takes >= size) {
            recorder_.writes.emplace_back(data, data + size);
        }
        return std::min(takes, size);
    }

private:
    Recorder& recorder_;
};

class RecordingLog : public FrameLog {
public:
    explicit RecordingLog(Recorder& recorder) : recorder_(recorder) {}
    void clearDatasets() override { recorder_.events.push_back("clear"); }
    void appendSentFrame(const CommandFrame& frame) override {
        recorder_.events.push_back("sent");
        recorder_.sentFrames.push_back(frame);
    }
    void appendReferenceRun(std::string_view line) override {
        recorder_.events.push_back("reference");
        recorder_.referenceLines.emplace_back(line);
    }
    void withdrawLastLine() override { recorder_.events.push_back("withdraw"); }

private:
    Recorder& recorder_;
};

struct Channel {
    Recorder recorder;
    RecordingLink link{recorder};
    RecordingLog log{recorder};
    CommandChannel channel{link, log};

    void sendStatusRequest() {
        channel.SendCommandFrame(BuildStatusRequestFrame(channel.frame_counter()));
    }
};

std::vector<std::uint8_t> Bytes(std::initializer_list<int> codes, std::size_t size) {
    std::vector<std::uint8_t> bytes;
    for (int code : codes) {
        bytes.push_back(static_cast<std::uint8_t>(code));
    }
    bytes.resize(size, 0);
    return bytes;
}

TEST(FrameFromHex, PairByPairWithMissingPairsZero) {
    const CommandFrame frame = FrameFromHex("0211FFa0A");
    EXPECT_EQ(frame[0], 0x02);
    EXPECT_EQ(frame[1], 0x11);
    EXPECT_EQ(frame[2], 0xFF);
    EXPECT_EQ(frame[3], 0x00); // lower case is no digit
    EXPECT_EQ(frame[4], 0xA0); // a lone last digit is a high digit
    for (std::size_t k = 5; k < frame.size(); ++k) {
        EXPECT_EQ(frame[k], 0) << k;
    }
    const CommandFrame tooLong = FrameFromHex(std::string(128, 'F') + "0102");
    EXPECT_EQ(tooLong[63], 0xFF);
}

TEST(SendCommandFrame, LogsThenWritesExactly64Bytes) {
    Channel c;
    c.channel.SendCommandFrame(BuildAuxiliarySignalsFrame(true, true));
    EXPECT_EQ(c.recorder.events, (std::vector<std::string>{"clear", "sent", "write"}));
    ASSERT_EQ(c.recorder.writes.size(), 1u);
    EXPECT_EQ(c.recorder.writes[0], Bytes({0x02, 0x21, 0x03}, 64));
    ASSERT_EQ(c.recorder.sentFrames.size(), 1u);
    EXPECT_EQ(
        std::vector<std::uint8_t>(c.recorder.sentFrames[0].begin(), c.recorder.sentFrames[0].end()),
        c.recorder.writes[0]);
    EXPECT_EQ(c.channel.frame_counter(), 1);
}

TEST(SendCommandFrame, StatusRequestsCarryTheCounterAndItWrapsAt256) {
    Channel c;
    c.sendStatusRequest();
    EXPECT_EQ(c.recorder.writes[0], Bytes({}, 64));
    EXPECT_EQ(c.channel.frame_counter(), 1);
    c.sendStatusRequest();
    EXPECT_EQ(c.recorder.writes[1][59], 0x01);

    for (int i = 2; i < 256; ++i) {
        c.sendStatusRequest();
    }
    EXPECT_EQ(c.recorder.writes[255][59], 0xFF);
    EXPECT_EQ(c.channel.frame_counter(), 0);
    c.sendStatusRequest();
    EXPECT_EQ(c.recorder.writes[256][59], 0x00);
    EXPECT_EQ(c.channel.frame_counter(), 1);
}

TEST(SendCommandFrame, ClosedPortDropsTheFrameAndKeepsTheCounter) {
    Channel c;
    c.sendStatusRequest();
    c.sendStatusRequest();
    c.link.open = false;
    const std::string refused = BuildStatusRequestFrame(c.channel.frame_counter());
    c.channel.SendCommandFrame(refused);
    c.channel.SendCommandFrame(BuildModeChangeFrame(true));
    EXPECT_EQ(c.recorder.events.size(), 6u);
    EXPECT_EQ(c.recorder.writes.size(), 2u);
    EXPECT_EQ(c.channel.frame_counter(), 2);

    c.link.open = true;
    c.sendStatusRequest();
    ASSERT_EQ(c.recorder.writes.size(), 3u);
    EXPECT_EQ(c.recorder.writes[2][59], 0x02); // the value the refused frame held
    const CommandFrame refusedBytes = FrameFromHex(refused);
    EXPECT_EQ(c.recorder.writes[2],
              std::vector<std::uint8_t>(refusedBytes.begin(), refusedBytes.end()));
}

TEST(SendCommandFrame, AFrameTheLineTookOnlyInPartIsTakenBackAndSaysHowMuchWentOut) {
    struct Case {
        std::size_t takes;
        SendOutcome outcome;
    };
    for (const Case& k : {Case{0, SendOutcome::WriteFailed}, Case{1, SendOutcome::PartlyWritten},
                          Case{63, SendOutcome::PartlyWritten}, Case{64, SendOutcome::Sent}}) {
        Channel c;
        c.sendStatusRequest();
        c.link.takes = k.takes;
        for (const bool reference : {false, true}) {
            const SendResult result =
                reference ? c.channel.SendReferenceRunFrame(BuildReferenceRunFrame({}))
                          : c.channel.SendCommandFrame(BuildModeChangeFrame(true));
            EXPECT_EQ(result.outcome, k.outcome) << k.takes;
            EXPECT_EQ(result.bytesTaken, k.takes);
            EXPECT_EQ(c.recorder.events.back(), k.takes == 64 ? "write" : "withdraw");
        }
        EXPECT_EQ(c.channel.frame_counter(), k.takes == 64 ? 2 : 1) << k.takes;
    }
}

TEST(SendCommandFrame, EveryCommandFrameAdvancesTheCounter) {
    Channel c;
    c.sendStatusRequest();
    MoveSetup setup;
    c.channel.SendCommandFrame(
        BuildMoveFrame(setup, AxisPair::XY, c.channel.frame_counter(), '.').hexText);
    c.channel.SendCommandFrame(
        BuildMoveFrame(setup, AxisPair::ZC, c.channel.frame_counter(), '.').hexText);
    c.channel.SendCommandFrame(
        BuildZeroPointFrame(Units::Steps, {"0", "0", "0", "0"}, '.').hexText);
    c.channel.SendCommandFrame(BuildModeChangeFrame(false));
    c.sendStatusRequest();
    ASSERT_EQ(c.recorder.writes.size(), 6u);
    EXPECT_EQ(c.recorder.writes[1][59], 1);
    EXPECT_EQ(c.recorder.writes[2][59], 2);
    EXPECT_EQ(c.recorder.writes[5][59], 5);
    // The two move frames differ in the command byte and the counter only.
    std::vector<std::uint8_t> zc = c.recorder.writes[2];
    zc[1] = 0x11;
    zc[59] = 1;
    EXPECT_EQ(zc, c.recorder.writes[1]);
}

TEST(SendReferenceRunFrame, LogsTheTextWritesItsCharactersAndLeavesTheCounter) {
    Channel c;
    c.sendStatusRequest();
    c.channel.SendReferenceRunFrame(BuildReferenceRunFrame({Axis::Y, Axis::Z, Axis::C, Axis::Y}));
    EXPECT_EQ(c.channel.frame_counter(), 1);
    EXPECT_EQ(c.recorder.events,
              (std::vector<std::string>{"clear", "sent", "write", "clear", "reference", "write"}));
    ASSERT_EQ(c.recorder.referenceLines.size(), 1u);
    EXPECT_EQ(c.recorder.referenceLines[0], std::string("\x02\x31\x04\x01\x02\x03\x01"));
    EXPECT_EQ(c.recorder.writes[1], Bytes({0x02, 0x31, 0x04, 1, 2, 3, 1}, 64));

    c.sendStatusRequest();
    EXPECT_EQ(c.recorder.writes[2][59], 0x01); // consecutive with the request before
}

TEST(SendReferenceRunFrame, StartUpDiagonalLogsThreeCharacters) {
    Channel c;
    c.channel.SendReferenceRunFrame(BuildReferenceRunFrame({Axis::X, Axis::Y, Axis::Z, Axis::C}));
    ASSERT_EQ(c.recorder.referenceLines.size(), 1u);
    EXPECT_EQ(c.recorder.referenceLines[0], std::string("\x02\x31\x04"));
    EXPECT_EQ(c.recorder.writes[0], Bytes({0x02, 0x31, 0x04, 0, 1, 2, 3}, 64));
}

TEST(SendReferenceRunFrame, ClosedPortDoesNothing) {
    Channel c;
    c.link.open = false;
    c.channel.SendReferenceRunFrame(BuildReferenceRunFrame({Axis::X, Axis::Y, Axis::Z, Axis::C}));
    EXPECT_TRUE(c.recorder.events.empty());
}

TEST(SendReferenceRunFrame, AlwaysWritesAWholeFrame) {
    Channel c;
    c.channel.SendReferenceRunFrame("\x02\x31\x04\x03");
    c.channel.SendReferenceRunFrame(std::string(70, 'A'));
    ASSERT_EQ(c.recorder.writes.size(), 2u);
    EXPECT_EQ(c.recorder.writes[0], Bytes({0x02, 0x31, 0x04, 0x03}, 64));
    EXPECT_EQ(c.recorder.writes[1], std::vector<std::uint8_t>(64, 'A'));
    EXPECT_EQ(c.recorder.referenceLines[1], std::string(64, 'A'));
}

} // namespace
