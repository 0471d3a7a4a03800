#pragma once
// kelmora-ctl's command line (CLI11): the options that hold for the whole
// run, and which subcommand it is. The frame subcommands share their words
// with the lines of a job file (step_words.h).

#include "ctl_steps.h"

#include <optional>
#include <string>

enum class OutputFormat { Text, Json, Csv };

enum class RunMode { Ports, Status, Watch, Job, Step };

struct CtlOptions {
    std::string port;
    std::string baud = "115200";
    Milliseconds timeout{1000}; // for an answer
    bool timeoutGiven = false;  // --timeout also limits waiting for idle
    OutputFormat format = OutputFormat::Text;
    std::string record; // a .his (or other history) or .pcapng file
    RunMode mode = RunMode::Status;
    Milliseconds every{1000}; // watch
    bool stream = false;      // watch: only listen
    std::string mqttUrl;      // watch: publish to this broker
    std::string mqttMachine;  // watch: the machine's name in the topics
    std::string mqttConfig;   // watch: the MQTT settings file
    std::string jobPath;      // run
    Step step;                // a frame subcommand
};

struct ArgumentsOutcome {
    std::optional<CtlOptions> options; // set when the run goes on
    ExitStatus exit = ExitStatus::Done;
    std::string text; // help or version (stdout), or why not (stderr)
};

ArgumentsOutcome ParseArguments(int argc, const char* const* argv);

// How long to wait for the machine to become idle: --timeout when given,
// else a minute (a drive takes longer than an answer).
Milliseconds IdleLimit(const CtlOptions& options);
