#include "controller_model.h"
#include "test_frames.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <vector>

using namespace std::chrono_literals;
using simtest::Decode;
using simtest::Frame;

namespace {

const std::string kStatusRequest = "00 00";

// The console's first "Drive X / Y" frame with its start-up inputs: the
// square of side 100 steps around the origin, four points.
const std::string kSquareInSteps = "02 11 00 00 00 00 04 01"
                                   "32 00 00 00 32 00 00 00 CE FF FF FF 32 00 00 00"
                                   "CE FF FF FF CE FF FF FF 32 00 00 00 CE FF FF FF";

simtest::Status StatusOf(const sim::ControllerModel& model) {
    return Decode(model.statusFrame());
}

TEST(ControllerModel, StartsInModeOneWithEverythingOff) {
    sim::ControllerModel model;
    const sim::StatusFrame frame = model.statusFrame();
    sim::StatusFrame expected{};
    expected[0] = 1;
    EXPECT_EQ(frame, expected);
}

TEST(ControllerModel, AnswersEachStatusRequestWithTheCountOfFramesReceived) {
    sim::ControllerModel model;
    sim::FeedResult first = model.feed(Frame(kStatusRequest));
    ASSERT_EQ(first.replies.size(), 1u);
    EXPECT_EQ(Decode(first.replies[0]).counter, 1);
    EXPECT_EQ(Decode(first.replies[0]).mode, 1);

    // Every frame counts, the ones that ask for no answer too.
    EXPECT_TRUE(model.feed(Frame("02 21 01")).replies.empty());
    EXPECT_TRUE(model.feed(Frame("00 01 01")).replies.empty());
    const sim::FeedResult fourth = model.feed(Frame(kStatusRequest));
    ASSERT_EQ(fourth.replies.size(), 1u);
    EXPECT_EQ(Decode(fourth.replies[0]).counter, 4);
}

TEST(ControllerModel, FrameCounterWrapsAfter256Frames) {
    sim::ControllerModel model;
    for (int i = 0; i < 255; ++i) {
        model.feed(Frame(kStatusRequest));
    }
    EXPECT_EQ(Decode(model.feed(Frame(kStatusRequest)).replies.at(0)).counter, 0);
    EXPECT_EQ(Decode(model.feed(Frame(kStatusRequest)).replies.at(0)).counter, 1);
}

TEST(ControllerModel, FrameSplitAcrossReadsIsAnsweredOnceComplete) {
    sim::ControllerModel model;
    const sim::CommandFrame request = Frame(kStatusRequest);
    const sim::FeedResult head = model.feed(request.data(), 10);
    EXPECT_TRUE(head.frames.empty());
    EXPECT_TRUE(head.replies.empty());
    EXPECT_EQ(model.pendingBytes(), 10u);

    const sim::FeedResult tail = model.feed(request.data() + 10, 54);
    ASSERT_EQ(tail.frames.size(), 1u);
    EXPECT_EQ(tail.frames[0], request);
    EXPECT_EQ(tail.replies.size(), 1u);
    EXPECT_EQ(model.pendingBytes(), 0u);
}

TEST(ControllerModel, RepliesShowTheStateWhenEachRequestArrived) {
    sim::ControllerModel model;
    std::vector<std::uint8_t> bytes;
    for (const auto& hex : {kStatusRequest, std::string("02 21 03"), kStatusRequest}) {
        const sim::CommandFrame frame = Frame(hex);
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    const sim::FeedResult result = model.feed(bytes.data(), bytes.size());
    EXPECT_EQ(result.frames.size(), 3u);
    ASSERT_EQ(result.replies.size(), 2u);
    EXPECT_EQ(Decode(result.replies[0]).auxiliary, 0x00);
    EXPECT_EQ(Decode(result.replies[0]).counter, 1);
    EXPECT_EQ(Decode(result.replies[1]).auxiliary, 0x30);
    EXPECT_EQ(Decode(result.replies[1]).counter, 3);
}

struct MotionPoint {
    std::chrono::microseconds at;
    std::int32_t first, second;
    int fill;
};

// 20,000 steps/s per axis: the square's first leg (50 steps) takes 2.5 ms,
// each side of 100 steps 5 ms. Four points of a 50-entry queue fill 8 %.
TEST(ControllerModel, SquareInStepsRunsCornerToCorner) {
    sim::ControllerModel model;
    model.feed(Frame(kSquareInSteps));
    const std::vector<MotionPoint> path = {
        {0us, 0, 0, 8},       {1000us, 20, 20, 8},   {2500us, 50, 50, 6},
        {5000us, 0, 50, 6},   {7500us, -50, 50, 4},  {10000us, -50, 0, 4},
        {15000us, 0, -50, 2}, {17500us, 50, -50, 0}, {30000us, 50, -50, 0},
    };
    std::chrono::microseconds now{0};
    for (const MotionPoint& point : path) {
        model.advance(point.at - now);
        now = point.at;
        const simtest::Status status = StatusOf(model);
        SCOPED_TRACE(point.at.count());
        EXPECT_EQ(status.x, point.first);
        EXPECT_EQ(status.y, point.second);
        EXPECT_EQ(status.fill, point.fill);
        EXPECT_EQ(status.z, 0);
        EXPECT_EQ(status.c, 0);
    }
}

TEST(ControllerModel, PositionsChangeBetweenTwoStatusFramesWhileMoving) {
    sim::ControllerModel model;
    model.feed(Frame(kSquareInSteps));
    model.advance(4ms);
    const sim::FeedResult earlier = model.feed(Frame(kStatusRequest));
    model.advance(1ms);
    const sim::FeedResult later = model.feed(Frame(kStatusRequest));
    EXPECT_NE(Decode(earlier.replies.at(0)).x, Decode(later.replies.at(0)).x);
}

// Both axes of a pair arrive together: (1000, 250) takes 1000 steps' time,
// y covering a quarter of x's distance all the way.
TEST(ControllerModel, PairIsInterpolatedSoBothAxesArriveTogether) {
    sim::ControllerModel model;
    model.feed(Frame("02 11 00 00 00 00 01 01 E8 03 00 00 FA 00 00 00"));
    const std::vector<MotionPoint> path = {{10000us, 200, 50, 2},
                                           {25000us, 500, 125, 2},
                                           {49990us, 1000, 250, 2},
                                           {50000us, 1000, 250, 0}};
    std::chrono::microseconds now{0};
    for (const MotionPoint& point : path) {
        model.advance(point.at - now);
        now = point.at;
        SCOPED_TRACE(point.at.count());
        EXPECT_EQ(StatusOf(model).x, point.first);
        EXPECT_EQ(StatusOf(model).y, point.second);
        EXPECT_EQ(StatusOf(model).fill, point.fill);
    }
}

TEST(ControllerModel, ZCFrameMovesZAndCOnly) {
    sim::ControllerModel model;
    model.feed(Frame("02 12 00 00 00 00 01 01 64 00 00 00 38 FF FF FF"));
    model.advance(1s);
    const simtest::Status status = StatusOf(model);
    EXPECT_EQ(status.x, 0);
    EXPECT_EQ(status.y, 0);
    EXPECT_EQ(status.z, 100);
    EXPECT_EQ(status.c, -200);
}

TEST(ControllerModel, PointCountAboveSixQueuesSixAndZeroQueuesNone) {
    sim::ControllerModel model;
    model.feed(Frame("02 11 00 00 00 00 09 01"));
    EXPECT_EQ(StatusOf(model).fill, 12);
    EXPECT_EQ(StatusOf(model).error, 0);

    sim::ControllerModel idle;
    idle.feed(Frame("02 11 00 00 00 00 00 01 E8 03 00 00 E8 03 00 00"));
    idle.advance(1s);
    EXPECT_EQ(StatusOf(idle).fill, 0);
    EXPECT_EQ(StatusOf(idle).x, 0);
    EXPECT_EQ(StatusOf(idle).error, 0);
}

struct MillimetreCase {
    double stepsPerMillimetre;
    std::int32_t x, y;
};

// One point of 1 mm, -50 mm (float32 00 00 80 3F, 00 00 48 C2).
TEST(ControllerModel, MillimetreMoveIsScaledToSteps) {
    const std::vector<MillimetreCase> cases = {{100.0, 100, -5000}, {4.0, 4, -200}, {0.5, 1, -25}};
    for (const MillimetreCase& c : cases) {
        SCOPED_TRACE(c.stepsPerMillimetre);
        sim::SimulatorSettings settings;
        settings.stepsPerMillimetre = c.stepsPerMillimetre;
        sim::ControllerModel model(settings);
        model.feed(Frame("02 11 00 00 00 00 01 00 00 00 80 3F 00 00 48 C2"));
        model.advance(10s);
        EXPECT_EQ(StatusOf(model).x, c.x);
        EXPECT_EQ(StatusOf(model).y, c.y);
        EXPECT_EQ(StatusOf(model).error, 0);
    }
}

TEST(ControllerModel, ZeroPointSetsAllFourPositions) {
    sim::ControllerModel model;
    model.feed(Frame("02 41 00 00 00 00 00 01 E8 03 00 00 FF FF FF FF 00 00 00 80 FF FF FF 7F"));
    simtest::Status status = StatusOf(model);
    EXPECT_EQ(status.x, 1000);
    EXPECT_EQ(status.y, -1);
    EXPECT_EQ(status.z, INT32_MIN);
    EXPECT_EQ(status.c, INT32_MAX);

    model.feed(Frame("02 41 00 00 00 00 00 00 00 00 80 3F 00 00 48 C2 00 00 00 00 00 00 48 42"));
    status = StatusOf(model);
    EXPECT_EQ(status.x, 100);
    EXPECT_EQ(status.y, -5000);
    EXPECT_EQ(status.z, 0);
    EXPECT_EQ(status.c, 5000);
    EXPECT_EQ(status.error, 0);
}

TEST(ControllerModel, ZeroPointDuringAMoveKeepsTheTargetInTheNewCoordinates) {
    sim::ControllerModel model;
    model.feed(Frame("02 11 00 00 00 00 01 01 E8 03 00 00 00 00 00 00")); // to x 1000: 50 ms
    model.advance(25ms);
    model.feed(Frame("02 41 00 00 00 00 00 01 00 00 00 00")); // x 500 becomes 0
    EXPECT_EQ(StatusOf(model).x, 0);
    model.advance(25ms);
    EXPECT_EQ(StatusOf(model).x, 500);
    model.advance(25ms);
    EXPECT_EQ(StatusOf(model).x, 1000);
    EXPECT_EQ(StatusOf(model).fill, 0);
}

TEST(ControllerModel, AuxiliaryFrameSwitchesSpindleAndCooling) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"02 21 00", 0x00}, {"02 21 01", 0x10}, {"02 21 02", 0x20},
        {"02 21 03", 0x30}, {"02 21 FC", 0x00}, {"02 21 FF", 0x30},
    };
    sim::ControllerModel model;
    for (const auto& [hex, auxiliary] : cases) {
        SCOPED_TRACE(hex);
        model.feed(Frame(hex));
        EXPECT_EQ(StatusOf(model).auxiliary, auxiliary);
        EXPECT_EQ(StatusOf(model).error, 0);
    }
}

TEST(ControllerModel, ModeChangeAcceptsModesOneAndTwoOnly) {
    struct Step {
        std::string frame;
        int mode, error;
    };
    const std::vector<Step> steps = {
        {"00 01 02", 2, 0}, {"00 01 02", 2, 0}, {"00 01 01", 1, 0},
        {"00 01 03", 1, 3}, {"00 01 00", 1, 3}, {"00 01 02", 2, 0},
    };
    sim::ControllerModel model;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.frame);
        model.feed(Frame(step.frame));
        EXPECT_EQ(StatusOf(model).mode, step.mode);
        EXPECT_EQ(StatusOf(model).error, step.error);
    }
}

// Order c, z, y, x from x 1000, y -2000, z 400, c 0 at 20,000 steps/s with
// a 200 ms rest at each reference: c rests 0-200 ms; z runs 200-220 and
// rests to 420; y runs 420-520 and rests to 720; x runs 720-770, rests to 970.
TEST(ControllerModel, ReferenceRunVisitsAxesInOrderShowingEachEndSwitch) {
    sim::ControllerModel model;
    model.feed(Frame("02 41 00 00 00 00 00 01 E8 03 00 00 30 F8 FF FF 90 01 00 00"));
    model.feed(Frame("02 31 04 03 02 01 00"));
    struct Moment {
        std::chrono::milliseconds at;
        std::int32_t x, y, z, c;
        int switches, fill;
    };
    const std::vector<Moment> moments = {
        {0ms, 1000, -2000, 400, 0, 0x08, 8},   {199ms, 1000, -2000, 400, 0, 0x08, 8},
        {210ms, 1000, -2000, 200, 0, 0x00, 6}, {220ms, 1000, -2000, 0, 0, 0x04, 6},
        {419ms, 1000, -2000, 0, 0, 0x04, 6},   {470ms, 1000, -1000, 0, 0, 0x00, 4},
        {600ms, 1000, 0, 0, 0, 0x02, 4},       {745ms, 500, 0, 0, 0, 0x00, 2},
        {800ms, 0, 0, 0, 0, 0x01, 2},          {970ms, 0, 0, 0, 0, 0x00, 0},
    };
    std::chrono::milliseconds now{0};
    for (const Moment& m : moments) {
        model.advance(m.at - now);
        now = m.at;
        SCOPED_TRACE(m.at.count());
        const simtest::Status status = StatusOf(model);
        EXPECT_EQ(status.x, m.x);
        EXPECT_EQ(status.y, m.y);
        EXPECT_EQ(status.z, m.z);
        EXPECT_EQ(status.c, m.c);
        EXPECT_EQ(status.switches, m.switches);
        EXPECT_EQ(status.fill, m.fill);
    }
}

TEST(ControllerModel, MovesQueuedBehindAReferenceRunWaitForIt) {
    sim::SimulatorSettings settings;
    settings.referenceDwell = 100ms;
    sim::ControllerModel model(settings);
    model.feed(Frame("02 31 04 00 01 02 03")); // all at 0: four rests of 100 ms
    model.feed(Frame("02 11 00 00 00 00 01 01 E8 03 00 00 00 00 00 00"));
    model.advance(399ms);
    EXPECT_EQ(StatusOf(model).x, 0);
    EXPECT_EQ(StatusOf(model).switches, 0x08);
    model.advance(26ms);
    EXPECT_EQ(StatusOf(model).x, 500);
    EXPECT_EQ(StatusOf(model).switches, 0);
}

TEST(ControllerModel, RefusedFramesSetTheirErrorCodeAndChangeNothing) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF", 1},
        {"02 51", 1},
        {"01 00", 1},
        {"00 02", 1},
        {"02 11 00 00 00 00 01 05 E8 03 00 00", 2},             // units byte 5
        {"02 11 00 00 00 00 00 07", 2},                         // units wrong, no points
        {"02 11 00 00 00 00 01 00 00 00 C0 7F 00 00 00 00", 2}, // NaN mm
        {"02 12 00 00 00 00 02 00 00 00 00 00 00 00 00 00 CA F2 49 71", 2}, // 1e30 mm
        {"02 41 00 00 00 00 00 02 E8 03 00 00", 2},                         // units byte 2
        {"02 41 00 00 00 00 00 00 00 00 80 7F", 2},                         // infinite mm
        {"02 31 05 00 01 02 03", 2},
        {"02 31 04 00 01 02 04", 2},
        {"00 01 07", 3},
    };
    for (const auto& [hex, code] : cases) {
        SCOPED_TRACE(hex);
        sim::ControllerModel model;
        model.feed(Frame(hex));
        model.advance(10s);
        const simtest::Status status = StatusOf(model);
        EXPECT_EQ(status.error, code);
        EXPECT_EQ(status.mode, 1);
        EXPECT_EQ(status.x, 0);
        EXPECT_EQ(status.y, 0);
        EXPECT_EQ(status.z, 0);
        EXPECT_EQ(status.fill, 0);
        EXPECT_EQ(status.switches, 0);
        EXPECT_EQ(status.auxiliary, 0);
    }
}

TEST(ControllerModel, ErrorCodeStaysUntilAModeChangeAndRequestsAreStillAnswered) {
    sim::ControllerModel model;
    sim::CommandFrame garbage;
    for (std::size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<std::uint8_t>(0xA5 ^ (i * 37));
    }
    model.feed(garbage);

    sim::FeedResult answer = model.feed(Frame(kStatusRequest));
    ASSERT_EQ(answer.replies.size(), 1u);
    EXPECT_EQ(Decode(answer.replies[0]).error, 1);
    EXPECT_EQ(Decode(answer.replies[0]).counter, 2);

    model.feed(Frame("02 21 01"));
    model.feed(Frame(kSquareInSteps));
    EXPECT_EQ(StatusOf(model).error, 1);
    EXPECT_EQ(StatusOf(model).auxiliary, 0x10);
    EXPECT_EQ(StatusOf(model).fill, 8);

    model.feed(Frame("00 01 01"));
    EXPECT_EQ(StatusOf(model).error, 0);
}

TEST(ControllerModel, FullQueueRefusesWholeFrames) {
    sim::ControllerModel model;
    const std::string sixPoints = "02 11 00 00 00 00 06 01 E8 03 00 00";
    for (int i = 0; i < 8; ++i) {
        model.feed(Frame(sixPoints));
    }
    EXPECT_EQ(StatusOf(model).fill, 96);
    EXPECT_EQ(StatusOf(model).error, 0);

    model.feed(Frame(sixPoints));              // needs 6, 2 free
    model.feed(Frame("02 31 04 00 01 02 03")); // needs 4, 2 free
    EXPECT_EQ(StatusOf(model).fill, 96);
    EXPECT_EQ(StatusOf(model).error, 4);

    model.feed(Frame("02 11 00 00 00 00 02 01"));
    EXPECT_EQ(StatusOf(model).fill, 100);
}

// Random byte streams, with command bytes made likely so that every kind of
// frame and every parameter check is reached; the model must keep a sane
// status frame throughout. Run under the sanitizers to catch undefined
// behaviour as well.
TEST(ControllerModel, RandomByteStreamsKeepAValidStatus) {
    std::mt19937 rng(20240611u);
    const std::uint8_t commands[][2] = {{0x00, 0x00}, {0x00, 0x01}, {0x02, 0x11}, {0x02, 0x12},
                                        {0x02, 0x21}, {0x02, 0x31}, {0x02, 0x41}};
    for (int run = 0; run < 40; ++run) {
        sim::SimulatorSettings settings;
        settings.stepsPerSecond = 1.0 + rng() % 1'000'000;
        settings.stepsPerMillimetre = (rng() % 10'000) / 7.0 + 0.001;
        sim::ControllerModel model(settings);
        std::size_t framesFed = 0;
        std::size_t requestsAnswered = 0;
        std::vector<std::uint8_t> stream;
        for (int frame = 0; frame < 300; ++frame) {
            sim::CommandFrame bytes;
            for (auto& b : bytes) {
                b = static_cast<std::uint8_t>(rng());
            }
            if (rng() % 4 != 0) {
                const auto& command = commands[rng() % 7];
                bytes[0] = command[0];
                bytes[1] = command[1];
                bytes[2] = static_cast<std::uint8_t>(rng() % 2 ? rng() % 6 : bytes[2]);
                bytes[7] = static_cast<std::uint8_t>(rng() % 3);
                for (std::size_t i = 3; i < 7; ++i) {
                    bytes[i] = static_cast<std::uint8_t>(rng() % 2 ? rng() % 5 : bytes[i]);
                }
            }
            stream.insert(stream.end(), bytes.begin(), bytes.end());
        }
        std::size_t offset = 0;
        while (offset < stream.size()) {
            const std::size_t chunk =
                std::min<std::size_t>(1 + rng() % 200, stream.size() - offset);
            const sim::FeedResult result = model.feed(stream.data() + offset, chunk);
            offset += chunk;
            framesFed += result.frames.size();
            requestsAnswered += result.replies.size();
            model.advance(std::chrono::microseconds(rng() % 3 == 0 ? rng() : rng() % 5000));
            const simtest::Status status = StatusOf(model);
            ASSERT_TRUE(status.mode == 1 || status.mode == 2);
            ASSERT_LE(status.fill, 100);
            ASSERT_LE(status.error, 4);
            ASSERT_EQ(status.switches & ~0x0F, 0);
            ASSERT_LE(__builtin_popcount(static_cast<unsigned>(status.switches)), 1);
            ASSERT_EQ(status.auxiliary & 0xCF, 0);
            ASSERT_EQ(status.counter, static_cast<int>(framesFed % 256));
        }
        EXPECT_EQ(framesFed, 300u);
        EXPECT_GT(requestsAnswered, 0u);
    }
}

TEST(ControllerModel, NullOrEmptyInputIsIgnored) {
    sim::ControllerModel model;
    EXPECT_TRUE(model.feed(nullptr, 64).frames.empty());
    EXPECT_TRUE(model.feed(Frame("").data(), 0).frames.empty());
    EXPECT_EQ(model.pendingBytes(), 0u);
}

} // namespace
