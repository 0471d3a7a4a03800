#pragma once
// The command line of kelmora-sim.

#include "controller_model.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct SimOptions {
    SimulatorSettings settings;
    std::string linkPath;         // empty: no symbolic link
    bool stream = false;          // status frames unasked
    double streamRate = 0.0;      // frames per second; 0: as fast as the line takes them
    std::uint64_t frameLimit = 0; // stop after this many status frames; 0: never
    bool hex = false;             // each received frame as a hex line on stdout
    bool stamp = false;           // write time in status bytes 28 to 31
    bool help = false;
};

struct OptionsResult {
    SimOptions options;
    std::string error; // empty when the command line was understood
    bool ok() const { return error.empty(); }
};

// The arguments after the program name. Options take their value as the
// next argument or after "=" ("--speed 5000", "--speed=5000").
OptionsResult ParseOptions(const std::vector<std::string>& arguments);

std::string UsageText();

} // namespace sim
