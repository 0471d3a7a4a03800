#include "step_frames.h"

namespace {
// Scripts mean the same on every machine: the decimal point.
constexpr char kScriptDecimalPoint = '.';

// The words of the command that carried the box's text ("x_z_3": the third
// --point's first value).
std::string WordsOf(const std::string& control) {
    if (control == "v_end") {
        return "--end-velocity";
    }
    if (control == "num_coord") {
        return "--count";
    }
    if (control.rfind("x_z_", 0) == 0 || control.rfind("y_c_", 0) == 0) {
        return "--point " + control.substr(4) +
               (control[0] == 'x' ? ", first value" : ", second value");
    }
    if (control.rfind("Null_", 0) == 0) {
        return "--" + control.substr(5);
    }
    return control;
}
} // namespace

BuiltFrame BuildStepFrame(const FrameCommand& command, std::uint8_t frameCounter) {
    switch (command.kind) {
    case CommandKind::MoveXY:
        return BuildMoveFrame(command.move, AxisPair::XY, frameCounter, kScriptDecimalPoint);
    case CommandKind::MoveZC:
        return BuildMoveFrame(command.move, AxisPair::ZC, frameCounter, kScriptDecimalPoint);
    case CommandKind::ZeroPoint:
        return BuildZeroPointFrame(command.zeroUnits, command.zero, kScriptDecimalPoint);
    case CommandKind::AuxiliarySignals:
        return {BuildAuxiliarySignalsFrame(command.spindle, command.cooling), std::nullopt};
    case CommandKind::ModeChange:
        return {BuildModeChangeFrame(command.toMode1), std::nullopt};
    case CommandKind::ReferenceRun:
        return {BuildReferenceRunFrame(command.order), std::nullopt};
    case CommandKind::StatusRequest:
    case CommandKind::Unknown:
        break;
    }
    return {BuildStatusRequestFrame(frameCounter), std::nullopt};
}

std::optional<std::string> RefusalOf(const FrameCommand& command) {
    const BuiltFrame frame = BuildStepFrame(command, 0);
    if (frame.ok()) {
        return std::nullopt;
    }
    return WordsOf(frame.error->control) + ": " + frame.error->error.reason;
}
