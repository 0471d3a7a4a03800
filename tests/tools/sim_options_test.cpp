#include "sim_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(SimOptions, DefaultsServeRequestsOnlyAtTwentyThousandStepsPerSecond) {
    const sim::OptionsResult result = sim::ParseOptions({});
    ASSERT_TRUE(result.ok());
    EXPECT_FALSE(result.options.stream);
    EXPECT_FALSE(result.options.hex);
    EXPECT_FALSE(result.options.stamp);
    EXPECT_EQ(result.options.frameLimit, 0u);
    EXPECT_TRUE(result.options.linkPath.empty());
    EXPECT_DOUBLE_EQ(result.options.settings.stepsPerSecond, 20000.0);
    EXPECT_DOUBLE_EQ(result.options.settings.stepsPerMillimetre, 100.0);
    EXPECT_EQ(result.options.settings.referenceDwell.count(), 200);
}

TEST(SimOptions, AcceptedCommandLines) {
    struct Case {
        std::vector<std::string> arguments;
        bool stream;
        double rate;
        std::uint64_t frames;
        double speed, stepsPerMm;
        std::string link;
    };
    const std::vector<Case> cases = {
        {{"--stream", "max"}, true, 0.0, 0, 20000, 100, ""},
        {{"--stream", "0"}, true, 0.0, 0, 20000, 100, ""},
        {{"--stream=50", "--frames", "1000"}, true, 50.0, 1000, 20000, 100, ""},
        {{"--stream", "2.5", "--frames=3"}, true, 2.5, 3, 20000, 100, ""},
        {{"--speed", "5000", "--steps-per-mm", "2.5"}, false, 0.0, 0, 5000, 2.5, ""},
        {{"--speed=1", "--steps-per-mm=0.001"}, false, 0.0, 0, 1, 0.001, ""},
        {{"--link", "/tmp/kelmora-tty"}, false, 0.0, 0, 20000, 100, "/tmp/kelmora-tty"},
        {{"--link=ttyKELMORA"}, false, 0.0, 0, 20000, 100, "ttyKELMORA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        const sim::OptionsResult result = sim::ParseOptions(c.arguments);
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.options.stream, c.stream);
        EXPECT_DOUBLE_EQ(result.options.streamRate, c.rate);
        EXPECT_EQ(result.options.frameLimit, c.frames);
        EXPECT_DOUBLE_EQ(result.options.settings.stepsPerSecond, c.speed);
        EXPECT_DOUBLE_EQ(result.options.settings.stepsPerMillimetre, c.stepsPerMm);
        EXPECT_EQ(result.options.linkPath, c.link);
    }
}

TEST(SimOptions, FlagsSetOnlyThemselves) {
    const sim::OptionsResult result = sim::ParseOptions({"--hex", "--stamp"});
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(result.options.hex);
    EXPECT_TRUE(result.options.stamp);
    EXPECT_FALSE(result.options.help);
    EXPECT_TRUE(sim::ParseOptions({"--help"}).options.help);
}

TEST(SimOptions, RefusedCommandLinesNameTheOption) {
    const std::vector<std::vector<std::string>> cases = {
        {"--stream"},
        {"--stream", "fast"},
        {"--stream", "-1"},
        {"--frames", "0"},
        {"--frames", "-3"},
        {"--frames", "1.5"},
        {"--frames", "99999999999999999999999"},
        {"--speed", "0"},
        {"--speed", "nan"},
        {"--speed", "2e9"},
        {"--speed", "100x"},
        {"--steps-per-mm", "0"},
        {"--steps-per-mm", "inf"},
        {"--steps-per-mm", ""},
        {"--link", ""},
        {"--link"},
        {"--hex=1"},
        {"--verbose"},
        {"/dev/ttyS0"},
    };
    for (const auto& arguments : cases) {
        SCOPED_TRACE(arguments.front() + (arguments.size() > 1 ? " " + arguments[1] : ""));
        const sim::OptionsResult result = sim::ParseOptions(arguments);
        EXPECT_FALSE(result.ok());
        const std::string name = arguments.front().substr(0, arguments.front().find('='));
        EXPECT_EQ(result.error.rfind(name, 0), 0u) << result.error;
    }
}

} // namespace
