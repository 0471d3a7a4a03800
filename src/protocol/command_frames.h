#pragma once
// Builders for every command frame the console sends. Each returns the frame
// as 128 upper-case hex digits (the reference run: as 64 characters of text),
// or the first input that did not convert.

#include "number_text.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

enum class Units { Steps, Millimetres };

enum class AxisPair : std::uint8_t { XY = 0x11, ZC = 0x12 };

enum class Axis : std::uint8_t { X = 0, Y = 1, Z = 2, C = 3 };

constexpr std::size_t kCommandFrameSize = 64;
constexpr std::size_t kCommandHexLength = 2 * kCommandFrameSize;
constexpr std::size_t kFrameCounterOffset = 59;

// A numeric box whose text did not convert: the control's name ("x_z_3"),
// what the operator sees beside it ("X / Z 3") and why. Boxes are read in
// the frame's byte order and the first failure is the one reported.
struct InputError {
    std::string control;
    std::string label;
    ConversionError error;
};

struct BuiltFrame {
    std::string hexText;
    std::optional<InputError> error;
    bool ok() const { return !error.has_value(); }
};

// The texts and choices of the drive setup at the moment of a click.
struct MoveSetup {
    Units units = Units::Steps;
    std::string v_end = "0";
    std::string num_coord = "4";
    std::array<std::string, 6> x_z{"50", "-50", "-50", "50", "0", "0"};
    std::array<std::string, 6> y_c{"50", "50", "-50", "-50", "0", "0"};
    std::array<bool, 8> rampChecked{}; // index i is Check1(i); 7 is the leftmost box
};

std::uint8_t GetRampenbits(const std::array<bool, 8>& rampChecked);

BuiltFrame BuildMoveFrame(const MoveSetup& setup, AxisPair pair, std::uint8_t frameCounter,
                          char decimalSeparator);

// Zero point of x, y, z, c in that order.
BuiltFrame BuildZeroPointFrame(Units units, const std::array<std::string, 4>& values,
                               char decimalSeparator);

std::string BuildAuxiliarySignalsFrame(bool spindle, bool cooling);

std::string BuildModeChangeFrame(bool toMode1);

std::string BuildStatusRequestFrame(std::uint8_t frameCounter);

// The reference run order as the frame's own 64 characters (codes 2, 0x31, 4,
// the four axis codes, then 57 zero codes).
std::string BuildReferenceRunFrame(const std::array<Axis, 4>& order);

// What the lists keep of a reference run frame: its text up to the first
// zero code.
std::string ReferenceRunLogLine(std::string_view frameText);
