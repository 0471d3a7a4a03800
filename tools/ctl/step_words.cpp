#include "step_words.h"

#include "status_fields.h"
#include "step_frames.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const char* const kStepNames[] = {"drive",         "zero-point", "aux",  "mode",
                                  "reference-run", "status",     "wait", "expect"};

StepCheck Refuse(std::string reason) {
    return {std::nullopt, std::move(reason)};
}

std::optional<bool> OnOff(const std::string& text) {
    if (text == "on") {
        return true;
    }
    if (text == "off") {
        return false;
    }
    return std::nullopt;
}

std::optional<Units> UnitsOf(const std::string& text) {
    if (text == "steps") {
        return Units::Steps;
    }
    if (text == "mm") {
        return Units::Millimetres;
    }
    return std::nullopt;
}

// A plain decimal number: digits with at most one decimal point, a sign.
std::optional<double> ParseNumber(const std::string& text) {
    const std::size_t start = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    const std::string body = text.substr(start);
    if (body.empty() || body.find_first_not_of("0123456789.") != std::string::npos ||
        std::count(body.begin(), body.end(), '.') > 1 || body == ".") {
        return std::nullopt;
    }
    return std::strtod(text.c_str(), nullptr);
}

std::string NumberReason(const std::string& text) {
    if (text.find(',') != std::string::npos) {
        return "\"" + text + "\" has a comma: scripts take the decimal point";
    }
    return "\"" + text + "\" is not a number";
}

StepCheck CheckDrive(const StepWords& words, Step step) {
    FrameCommand& frame = step.frame;
    if (words.pair != "xy" && words.pair != "zc") {
        return Refuse("drive: the axis pair is xy or zc, not \"" + words.pair + "\"");
    }
    frame.kind = words.pair == "xy" ? CommandKind::MoveXY : CommandKind::MoveZC;
    const auto units = UnitsOf(words.units);
    if (!units) {
        return Refuse("--units: steps or mm, not \"" + words.units + "\"");
    }
    frame.move.units = *units;
    const std::size_t pointCount = words.points.size() / 2;
    if (pointCount > frame.move.x_z.size()) {
        return Refuse("--point: at most 6 points, not " + std::to_string(pointCount));
    }
    for (std::size_t row = 0; row < frame.move.x_z.size(); ++row) {
        frame.move.x_z[row] = row < pointCount ? words.points[2 * row] : "0";
        frame.move.y_c[row] = row < pointCount ? words.points[2 * row + 1] : "0";
    }
    frame.move.v_end = words.endVelocity;
    frame.move.num_coord = words.count.empty() ? std::to_string(pointCount) : words.count;
    if (words.ramp.size() != 8 || words.ramp.find_first_not_of("01") != std::string::npos) {
        return Refuse("--ramp: eight digits 0 or 1, bit 7 first, not \"" + words.ramp + "\"");
    }
    for (std::size_t i = 0; i < 8; ++i) {
        frame.move.rampChecked[7 - i] = words.ramp[i] == '1';
    }
    if (auto refusal = RefusalOf(frame)) {
        return Refuse(*refusal);
    }
    return {step, {}};
}

StepCheck CheckFrame(const std::string& name, const StepWords& words, Step step) {
    FrameCommand& frame = step.frame;
    step.waitIdle = words.wait;
    if (name == "drive") {
        return CheckDrive(words, step);
    }
    if (name == "zero-point") {
        const auto units = UnitsOf(words.units);
        if (!units) {
            return Refuse("--units: steps or mm, not \"" + words.units + "\"");
        }
        frame.kind = CommandKind::ZeroPoint;
        frame.zeroUnits = *units;
        frame.zero = words.zero;
    } else if (name == "aux") {
        const auto spindle = OnOff(words.spindle);
        const auto cooling = OnOff(words.cooling);
        if (!spindle || !cooling) {
            return Refuse(std::string(spindle ? "--cooling" : "--spindle") + ": on or off, not \"" +
                          (spindle ? words.cooling : words.spindle) + "\"");
        }
        frame.kind = CommandKind::AuxiliarySignals;
        frame.spindle = *spindle;
        frame.cooling = *cooling;
    } else if (name == "mode") {
        if (words.mode != "1" && words.mode != "2") {
            return Refuse("mode: 1 or 2, not \"" + words.mode + "\"");
        }
        frame.kind = CommandKind::ModeChange;
        frame.toMode1 = words.mode == "1";
    } else if (name == "reference-run") {
        static const std::string kAxes = "xyzc";
        if (words.order.size() != 4 || words.order.find_first_not_of(kAxes) != std::string::npos) {
            return Refuse("reference-run: the order is four axes of x, y, z, c (as \"xyzc\"), "
                          "not \"" +
                          words.order + "\"");
        }
        frame.kind = CommandKind::ReferenceRun;
        for (std::size_t k = 0; k < 4; ++k) {
            frame.order[k] = static_cast<Axis>(kAxes.find(words.order[k]));
        }
    } else {
        frame.kind = CommandKind::StatusRequest;
    }
    if (auto refusal = RefusalOf(frame)) {
        return Refuse(*refusal);
    }
    return {step, {}};
}

StepCheck CheckWait(const std::vector<std::string>& words, Step step) {
    if (words[0] == "idle") {
        step.kind = StepKind::WaitIdle;
        if (words.size() == 2) {
            step.limit = ParseDuration(words[1]);
            if (!step.limit) {
                return Refuse("wait idle: the limit is a time such as 30s, not \"" + words[1] +
                              "\"");
            }
        }
        return {step, {}};
    }
    const auto duration = ParseDuration(words[0]);
    if (!duration || words.size() != 1) {
        return Refuse("wait: \"idle\" or a time such as 2s or 500ms, not \"" + words[0] + "\"");
    }
    step.kind = StepKind::WaitTime;
    step.duration = *duration;
    return {step, {}};
}

StepCheck CheckExpect(const std::vector<std::string>& words, Step step) {
    static const std::pair<const char*, CompareOp> kOps[] = {
        {"==", CompareOp::Equal},     {"!=", CompareOp::NotEqual}, {"<", CompareOp::Less},
        {"<=", CompareOp::LessEqual}, {">", CompareOp::Greater},   {">=", CompareOp::GreaterEqual}};
    const auto& fields = StatusFieldNames();
    if (std::find(fields.begin(), fields.end(), words[0]) == fields.end()) {
        return Refuse("expect: no status field \"" + words[0] + "\"");
    }
    const auto* op = std::find_if(std::begin(kOps), std::end(kOps),
                                  [&](const auto& entry) { return words[1] == entry.first; });
    if (op == std::end(kOps)) {
        return Refuse("expect: the comparison is ==, !=, <, <=, > or >=, not \"" + words[1] + "\"");
    }
    std::optional<double> value = ParseNumber(words[2]);
    if (const auto onOff = OnOff(words[2])) {
        value = *onOff ? 1.0 : 0.0;
    }
    if (!value) {
        return Refuse("expect: " + NumberReason(words[2]));
    }
    step.kind = StepKind::Expect;
    step.expectation = {words[0], op->second, *value};
    return {step, {}};
}

} // namespace

void AddStepSubcommands(CLI::App& app, StepWords& words, bool inJob) {
    const auto withWait = [&](CLI::App* command) {
        command->add_flag("--wait", words.wait,
                          "after the frame, poll the status until the machine is idle (fill "
                          "level 0, position unchanged over two reports)");
        return command;
    };
    CLI::App* drive = withWait(
        app.add_subcommand("drive", "Drive the x/y or z/c axis pair through up to six points"));
    drive->add_option("pair", words.pair, "xy or zc")->required();
    drive->add_option("--point", words.points, "a target point, X Y (up to six)")
        ->expected(2)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    drive->add_option("--units", words.units, "steps or mm (default steps)");
    drive->add_option("--end-velocity", words.endVelocity, "end velocity (default 0)");
    drive->add_option("--count", words.count, "point count sent (default: the points given)");
    drive->add_option("--ramp", words.ramp, "the eight ramp bits, bit 7 first (default 00000000)");

    CLI::App* zero =
        withWait(app.add_subcommand("zero-point", "Set the zero point of all four axes"));
    zero->add_option("--units", words.units, "steps or mm (default steps)");
    static const char* const kAxes[] = {"--x", "--y", "--z", "--c"};
    for (std::size_t axis = 0; axis < 4; ++axis) {
        zero->add_option(kAxes[axis], words.zero[axis], "zero point of this axis (default 0)");
    }

    CLI::App* aux = withWait(app.add_subcommand("aux", "Switch the spindle and the cooling"));
    aux->add_option("--spindle", words.spindle, "on or off")->required();
    aux->add_option("--cooling", words.cooling, "on or off")->required();

    CLI::App* mode = withWait(app.add_subcommand("mode", "Switch the controller to mode 1 or 2"));
    mode->add_option("mode", words.mode, "1 or 2")->required();

    CLI::App* reference = withWait(app.add_subcommand(
        "reference-run", "Send the order in which the axes run to their references"));
    reference->add_option("order", words.order, "four axes, as xyzc")->required();

    app.add_subcommand("status", "Request one status and print it");

    if (inJob) {
        app.add_subcommand("wait", "wait idle [LIMIT], or wait TIME")
            ->add_option("what", words.waitWords, "idle [LIMIT] or TIME")
            ->required()
            ->expected(1, 2);
        app.add_subcommand("expect", "expect FIELD OP VALUE")
            ->add_option("check", words.expectWords, "FIELD OP VALUE")
            ->required()
            ->expected(3);
    }
}

std::optional<StepCheck> CheckStepWords(const CLI::App& app, const StepWords& words) {
    const std::vector<CLI::App*> parsed = app.get_subcommands();
    if (parsed.empty()) {
        return std::nullopt;
    }
    const std::string name = parsed.front()->get_name();
    if (std::find(std::begin(kStepNames), std::end(kStepNames), name) == std::end(kStepNames)) {
        return std::nullopt;
    }
    if (name == "wait") {
        return CheckWait(words.waitWords, Step{});
    }
    if (name == "expect") {
        return CheckExpect(words.expectWords, Step{});
    }
    return CheckFrame(name, words, Step{});
}

std::optional<Milliseconds> ParseDuration(const std::string& text) {
    static const std::pair<const char*, double> kUnits[] = {
        {"ms", 1.0}, {"s", 1000.0}, {"m", 60000.0}};
    std::string number = text;
    double scale = 1000.0;
    for (const auto& [suffix, factor] : kUnits) {
        const std::string unit(suffix);
        if (number.size() > unit.size() &&
            number.compare(number.size() - unit.size(), unit.size(), unit) == 0) {
            number.resize(number.size() - unit.size());
            scale = factor;
            break;
        }
    }
    const auto value = ParseNumber(number);
    if (!value || *value < 0 || number[0] == '-' || *value * scale > 1e9) {
        return std::nullopt;
    }
    return Milliseconds(static_cast<long long>(std::llround(*value * scale)));
}
