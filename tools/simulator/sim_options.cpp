#include "sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace sim {

namespace {

constexpr double kMaxStreamRate = 1e6;
constexpr double kMaxStepsPerMillimetre = 1e6;

// The whole text as a finite number within [low, high].
std::optional<double> ParseNumber(const std::string& text, double low, double high) {
    if (text.empty()) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value) || value < low ||
        value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint64_t> ParseCount(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || value == 0) {
        return std::nullopt;
    }
    return value;
}

} // namespace

OptionsResult ParseOptions(const std::vector<std::string>& arguments) {
    OptionsResult result;
    SimOptions& options = result.options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('=');
            name.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        const auto takeValue = [&]() -> std::optional<std::string> {
            if (inlineValue) {
                return inlineValue;
            }
            if (i + 1 < arguments.size()) {
                return arguments[++i];
            }
            return std::nullopt;
        };
        const auto fail = [&](const std::string& why) {
            result.error = name + ": " + why;
            return result;
        };

        const bool isFlag =
            name == "--help" || name == "-h" || name == "--hex" || name == "--stamp";
        if (isFlag && inlineValue) {
            return fail("takes no value");
        }

        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--hex") {
            options.hex = true;
        } else if (name == "--stamp") {
            options.stamp = true;
        } else if (name == "--link") {
            const auto value = takeValue();
            if (!value || value->empty()) {
                return fail("needs a path");
            }
            options.linkPath = *value;
        } else if (name == "--stream") {
            const auto value = takeValue();
            if (!value) {
                return fail("needs a rate (frames per second, 0 or \"max\")");
            }
            options.stream = true;
            if (*value == "max") {
                options.streamRate = 0.0;
            } else if (const auto rate = ParseNumber(*value, 0.0, kMaxStreamRate)) {
                options.streamRate = *rate;
            } else {
                return fail("rate must be 0 to 1000000 frames per second, or \"max\"");
            }
        } else if (name == "--frames") {
            const auto value = takeValue();
            const auto count = value ? ParseCount(*value) : std::nullopt;
            if (!count) {
                return fail("needs a whole number of frames, at least 1");
            }
            options.frameLimit = *count;
        } else if (name == "--steps-per-mm") {
            const auto value = takeValue();
            const auto factor =
                value ? ParseNumber(*value, 0.0, kMaxStepsPerMillimetre) : std::nullopt;
            if (!factor || *factor <= 0.0) {
                return fail("needs a factor above 0, at most 1000000");
            }
            options.settings.stepsPerMillimetre = *factor;
        } else if (name == "--speed") {
            const auto value = takeValue();
            const auto speed = value ? ParseNumber(*value, MotionQueue::kMinStepsPerSecond,
                                                   MotionQueue::kMaxStepsPerSecond)
                                     : std::nullopt;
            if (!speed) {
                return fail("needs steps per second from 1 to 1000000000");
            }
            options.settings.stepsPerSecond = *speed;
        } else {
            return fail("unknown option");
        }
    }
    return result;
}

std::string UsageText() {
    return "Usage: kelmora-sim [options]\n"
           "Plays the Kelmora motion controller on a pseudo-terminal. The first line on\n"
           "stdout is the terminal's device name, for the console or a test to open.\n"
           "\n"
           "  --link PATH          also make PATH a symbolic link to it (an old link\n"
           "                       there is replaced; removed again on exit)\n"
           "  --stream RATE        send status frames unasked, RATE per second;\n"
           "                       0 or \"max\": as fast as the line takes them\n"
           "  --frames N           exit after N status frames have been sent\n"
           "  --hex                print each received command frame as one line of\n"
           "                       128 upper-case hex digits\n"
           "  --stamp              put the CLOCK_MONOTONIC time of writing, in\n"
           "                       microseconds (uint32, little-endian, wrapping), into\n"
           "                       bytes 28 to 31 of every status frame\n"
           "  --steps-per-mm F     steps per millimetre for frames in mm (default 100)\n"
           "  --speed STEPS_PER_S  speed of every axis (default 20000)\n"
           "  --help               this text\n"
           "\n"
           "Error codes in status byte 26: 1 unknown command, 2 bad parameter (units,\n"
           "axis code, value out of range), 3 mode other than 1 or 2, 4 queue full.\n"
           "A code stays until a mode change to mode 1 or 2 clears it.\n";
}

} // namespace sim
