#pragma once
// What kelmora-ctl is asked to do, as plain values: the steps of a job (a
// subcommand on the command line is a job of one step) and the statuses it
// ends with.

#include <command_decoding.h>
#include <command_frames.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

using Milliseconds = std::chrono::milliseconds;

// Stable and documented: scripts act on them.
enum class ExitStatus : int {
    Done = 0,
    Usage = 1,           // the command line is not understood
    BadInput = 2,        // a value or a job line is refused; nothing was sent
    LineFailed = 3,      // the port cannot be opened, is in use, or failed
    NoAnswer = 4,        // the controller did not answer in time
    ControllerError = 5, // an error code, the emergency stop, an end switch, a failed expect
    BrokerRefused = 6,   // watch --mqtt: the broker refused the user name or password
    Interrupted = 130,   // Ctrl+C (SIGTERM and SIGHUP: 143 and 129, 128 + the signal)
};

// One command frame's inputs, as the console's boxes and buttons would hold
// them at the click.
struct FrameCommand {
    CommandKind kind = CommandKind::StatusRequest;
    MoveSetup move;                                      // MoveXY, MoveZC
    Units zeroUnits = Units::Steps;                      // ZeroPoint
    std::array<std::string, 4> zero{"0", "0", "0", "0"}; // ZeroPoint: x, y, z, c
    bool spindle = false;                                // AuxiliarySignals
    bool cooling = false;                                // AuxiliarySignals
    bool toMode1 = true;                                 // ModeChange
    std::array<Axis, 4> order{};                         // ReferenceRun
};

enum class CompareOp { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

// "expect x == 50": a field of the status, a comparison and a number (a
// switch or lamp compares as 1 when set, 0 when clear).
struct Expectation {
    std::string field;
    CompareOp op = CompareOp::Equal;
    double value = 0.0;
};

enum class StepKind { Frame, WaitIdle, WaitTime, Expect };

struct Step {
    StepKind kind = StepKind::Frame;
    FrameCommand frame;                // Frame
    bool waitIdle = false;             // Frame: --wait
    Milliseconds duration{0};          // WaitTime
    std::optional<Milliseconds> limit; // WaitIdle: how long at most
    Expectation expectation;           // Expect
    std::string words;                 // the step as written
    std::size_t line = 0;              // its line in the job file; 0 on the command line
};
