#pragma once
// The console's command line, read before the window system starts so that
// --help, --version and a mistyped option answer without a display.

#include <optional>
#include <string>
#include <vector>

struct ConsoleCommandLine {
    enum class Action {
        Run,         // start the console
        ShowHelp,    // print the usage text, exit 0
        ShowVersion, // print the version, exit 0
        Refuse,      // print error and usage text, exit 2
    };
    Action action = Action::Run;
    std::optional<std::string> port;   // --port NAME: the Com Port box's preset
    std::optional<std::string> record; // --record FILE: record the history into FILE
    // Publishing the machine's status to an MQTT broker: --mqtt URL,
    // --mqtt-machine NAME, --mqtt-config FILE (the settings file; a password
    // only ever comes from the password file it names).
    std::optional<std::string> mqttUrl;
    std::optional<std::string> mqttMachine;
    std::optional<std::string> mqttConfig;
    std::vector<std::string> qtArguments; // Qt's options with their values, in order
    std::string error;                    // why the line was refused
};

// The arguments after the program name, in order: the first --help,
// --version or fault decides. Qt's own window system options (-platform,
// -style, -display, ...) are accepted and collected for QApplication, which
// is given nothing else: a port named "-style" stays a port name.
ConsoleCommandLine ParseConsoleCommandLine(const std::vector<std::string>& arguments);

std::string ConsoleUsageText();
std::string ConsoleVersionText();
