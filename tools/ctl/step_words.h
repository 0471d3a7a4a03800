#pragma once
// The words of one step, as a subcommand on the command line or a line of a
// job file has them, and their check: a step the console would refuse
// (a comma for the decimal point, a value out of range, an unknown axis)
// never becomes a Step.

#include "ctl_steps.h"

#include <CLI/App.hpp>

#include <string>
#include <vector>

// What CLI11 fills in for the frame subcommands and a job's wait and expect.
struct StepWords {
    std::string pair;                // drive: xy or zc
    std::string units = "steps";     // drive, zero-point
    std::vector<std::string> points; // drive: X Y pairs, flat
    std::string endVelocity = "0";
    std::string count;             // empty: as many as points given
    std::string ramp = "00000000"; // bit 7 first, as the console's boxes stand
    std::array<std::string, 4> zero{"0", "0", "0", "0"};
    std::string spindle;
    std::string cooling;
    std::string mode;
    std::string order;
    bool wait = false;
    std::vector<std::string> waitWords;   // job: "idle [LIMIT]" or "TIME"
    std::vector<std::string> expectWords; // job: FIELD OP VALUE
};

// Adds drive, zero-point, aux, mode, reference-run and status to `app`; with
// `inJob`, also wait and expect.
void AddStepSubcommands(CLI::App& app, StepWords& words, bool inJob);

struct StepCheck {
    std::optional<Step> step;
    std::string reason; // why the words were refused
};

// The step of the subcommand parsed into `app`; nothing when none of the
// step subcommands was given.
std::optional<StepCheck> CheckStepWords(const CLI::App& app, const StepWords& words);

// "2s", "250ms", "1.5s", "1m"; a bare number is seconds. The decimal point
// only.
std::optional<Milliseconds> ParseDuration(const std::string& text);
