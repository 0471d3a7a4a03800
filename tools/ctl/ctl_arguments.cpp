#include "ctl_arguments.h"

#include "step_words.h"

#include <CLI/CLI.hpp>

namespace {

constexpr Milliseconds kDefaultIdleLimit{60000};

ArgumentsOutcome Stop(ExitStatus exit, std::string text) {
    return {std::nullopt, exit, std::move(text)};
}

} // namespace

ArgumentsOutcome ParseArguments(int argc, const char* const* argv) {
    CtlOptions options;
    StepWords words;
    std::string timeout;
    std::string every;
    bool json = false;
    bool csv = false;
    bool version = false;

    CLI::App app("", "kelmora-ctl");
    app.footer("Drives and watches the Kelmora motion controller from a shell: the console's\n"
               "frames, byte for byte, without its window. Exit status: 0 done, 1 usage,\n"
               "2 bad input (nothing sent), 3 the line failed or is in use, 4 no answer in\n"
               "time, 5 the controller reported an error or an expect failed, 6 the MQTT\n"
               "broker refused the user or password. See kelmora-ctl(1).");
    app.fallthrough();
    app.require_subcommand(0, 1);
    app.add_option("--port,-p", options.port,
                   "the serial port: a device (/dev/ttyUSB0) or a number");
    app.add_option("--baud", options.baud, "line speed in bits per second (default 115200)");
    app.add_option("--timeout", timeout,
                   "how long to wait for an answer (default 1s); with --wait or wait idle, for "
                   "the machine to become idle (default 60s)");
    CLI::Option* jsonFlag =
        app.add_flag("--json", json, "JSON Lines: one object per status, frame or step");
    app.add_flag("--csv", csv, "kelmora-history's CSV columns")->excludes(jsonFlag);
    app.add_option("--record", options.record,
                   "also write the history (.his, .txt, any name) or a capture (.pcapng)");
    app.add_flag("--version", version, "print the version");

    app.add_subcommand("ports", "List the serial ports, their stable names and holders");
    CLI::App* watch = app.add_subcommand("watch", "Print one line per status until Ctrl+C");
    watch->add_option("--every", every, "request a status this often (default 1s)");
    CLI::Option* streamFlag =
        watch->add_flag("--stream", options.stream, "only listen: the controller reports unasked");
    watch->get_option("--every")->excludes(streamFlag);
    watch->add_option("--mqtt", options.mqttUrl,
                      "also publish to this MQTT broker: mqtt://host[:port] or mqtts://...");
    watch->add_option("--mqtt-machine", options.mqttMachine,
                      "the machine's name in the topics (default: the host name)");
    watch->add_option("--mqtt-config", options.mqttConfig,
                      "the MQTT settings file (default ~/.config/kelmora/mqtt.conf)");
    app.add_subcommand("run", "Run a job file, one command a line")
        ->add_option("job", options.jobPath, "the job file")
        ->required();
    AddStepSubcommands(app, words, false);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return Stop(ExitStatus::Done, app.help());
    } catch (const CLI::ParseError& error) {
        // A subcommand's --help lands here too, as a success.
        if (error.get_exit_code() == 0) {
            const CLI::App* asked = app.get_subcommands().empty() ? &app : app.get_subcommands()[0];
            return Stop(ExitStatus::Done, asked->help());
        }
        return Stop(ExitStatus::Usage, std::string(error.what()) + "\nRun with --help for more.");
    }
    if (version) {
        return Stop(ExitStatus::Done,
                    "kelmora-ctl " KELMORA_VERSION_TEXT " (" KELMORA_PACKAGE_VERSION ")");
    }
    if (app.get_subcommands().empty()) {
        return Stop(ExitStatus::Usage, "A subcommand is required.\n" + app.help());
    }
    options.format = json ? OutputFormat::Json : csv ? OutputFormat::Csv : OutputFormat::Text;
    // A time given: above zero, with the decimal point.
    const std::pair<const char*, const std::string&> times[] = {{"--timeout", timeout},
                                                                {"--every", every}};
    for (const auto& [option, text] : times) {
        const auto time = text.empty() ? std::nullopt : ParseDuration(text);
        if (!text.empty() && (!time || time->count() == 0)) {
            return Stop(ExitStatus::BadInput, std::string(option) +
                                                  ": a time such as 2s or 500ms, not \"" + text +
                                                  "\"; nothing was sent");
        }
    }
    if (!timeout.empty()) {
        options.timeout = *ParseDuration(timeout);
        options.timeoutGiven = true;
    }
    if (!every.empty()) {
        options.every = *ParseDuration(every);
    }

    const std::string name = app.get_subcommands()[0]->get_name();
    if (name == "ports") {
        options.mode = RunMode::Ports;
        return {options, ExitStatus::Done, {}};
    }
    if (options.port.empty()) {
        return Stop(ExitStatus::Usage, name + " needs --port DEVICE");
    }
    if (name == "watch" || name == "run") {
        options.mode = name == "watch" ? RunMode::Watch : RunMode::Job;
        return {options, ExitStatus::Done, {}};
    }
    const std::optional<StepCheck> check = CheckStepWords(app, words);
    if (!check->step) {
        return Stop(ExitStatus::BadInput, check->reason + "; nothing was sent");
    }
    options.step = *check->step;
    options.mode = name == "status" && !options.step.waitIdle ? RunMode::Status : RunMode::Step;
    std::string written;
    for (int i = 1; i < argc; ++i) {
        written += (i > 1 ? " " : "") + std::string(argv[i]);
    }
    options.step.words = written;
    return {options, ExitStatus::Done, {}};
}

Milliseconds IdleLimit(const CtlOptions& options) {
    return options.timeoutGiven ? options.timeout : kDefaultIdleLimit;
}
