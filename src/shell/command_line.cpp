#include "command_line.h"

#include "kelmora_version.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

// QGuiApplication's and QApplication's documented options. Qt takes them
// with one dash or two.
constexpr std::array<std::string_view, 13> kQtOptionsWithValue = {
    "platform",    "platformpluginpath", "platformtheme",
    "plugin",      "qmljsdebugger",      "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",
    "display",     "geometry",           "style",
    "stylesheet",
};
constexpr std::array<std::string_view, 2> kQtFlags = {"reverse", "widgetcount"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// "-style" and "--style" both name Qt's "style"; anything else gives "".
std::string_view QtOptionName(std::string_view argument) {
    if (argument.rfind("--", 0) == 0) {
        argument.remove_prefix(2);
    } else if (argument.rfind('-', 0) == 0) {
        argument.remove_prefix(1);
    } else {
        return {};
    }
    if (const auto equals = argument.find('='); equals != std::string_view::npos) {
        argument = argument.substr(0, equals);
    }
    return argument;
}

using OptionValue = std::string; // empty when missing

// The value of `name` given as "NAME VALUE" (i then moves past it) or as
// "NAME=VALUE"; nothing when the argument is another one.
std::optional<OptionValue> ValueOf(std::string_view name, const std::vector<std::string>& arguments,
                                   std::size_t& i) {
    const std::string& argument = arguments[i];
    if (argument == name) {
        return i + 1 < arguments.size() ? arguments[++i] : OptionValue();
    }
    if (argument.size() > name.size() && argument.compare(0, name.size(), name) == 0 &&
        argument[name.size()] == '=') {
        return argument.substr(name.size() + 1);
    }
    return std::nullopt;
}

// The console's own options that take a value, and what the value is.
struct ValueOption {
    const char* name;
    std::optional<std::string> ConsoleCommandLine::*field;
    const char* what;
};
constexpr ValueOption kValueOptions[] = {
    {"--port", &ConsoleCommandLine::port, "a port number or a device name"},
    {"--record", &ConsoleCommandLine::record, "a file name"},
    {"--mqtt", &ConsoleCommandLine::mqttUrl, "a broker URL such as mqtt://host:1883"},
    {"--mqtt-machine", &ConsoleCommandLine::mqttMachine, "a name"},
    {"--mqtt-config", &ConsoleCommandLine::mqttConfig, "a file name"},
};

ConsoleCommandLine Refused(std::string why) {
    ConsoleCommandLine refused;
    refused.action = ConsoleCommandLine::Action::Refuse;
    refused.error = std::move(why);
    return refused;
}

} // namespace

ConsoleCommandLine ParseConsoleCommandLine(const std::vector<std::string>& arguments) {
    ConsoleCommandLine result;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            result.action = ConsoleCommandLine::Action::ShowHelp;
            return result;
        }
        if (argument == "--version" || argument == "-v") {
            result.action = ConsoleCommandLine::Action::ShowVersion;
            return result;
        }
        bool taken = false;
        for (const ValueOption& option : kValueOptions) {
            if (const std::optional<OptionValue> value = ValueOf(option.name, arguments, i)) {
                if (value->empty()) {
                    return Refused(std::string(option.name) + " needs " + option.what);
                }
                result.*option.field = *value;
                taken = true;
                break;
            }
        }
        if (taken) {
            continue;
        }
        const std::string_view qtName = QtOptionName(argument);
        if (Contains(kQtFlags, qtName)) {
            result.qtArguments.push_back(argument);
            continue;
        }
        if (Contains(kQtOptionsWithValue, qtName)) {
            result.qtArguments.push_back(argument);
            if (argument.find('=') == std::string::npos) {
                if (i + 1 == arguments.size()) {
                    return Refused(argument + " needs a value");
                }
                result.qtArguments.push_back(arguments[++i]);
            }
            continue;
        }
        if (argument.rfind('-', 0) == 0) {
            return Refused("unknown option " + argument);
        }
        return Refused("unexpected argument " + argument);
    }
    return result;
}

std::string ConsoleUsageText() {
    return "Usage: kelmora [--port NAME] [--record FILE] [--mqtt URL] [--mqtt-machine NAME]\n"
           "               [--mqtt-config FILE] [Qt options]\n"
           "Operator console for a four-axis motion controller on one serial line.\n"
           "\n"
           "  --port NAME    preset the Com Port box: a port number (n is /dev/ttyS(n-1))\n"
           "                 or a device name such as /dev/ttyUSB0; the port opens only\n"
           "                 when Open Port is pressed\n"
           "  --record FILE  record the history into FILE from the start, as File >\n"
           "                 Record History to File... does: a .his or .txt file gets\n"
           "                 the header lines, a .pcapng file is a Wireshark capture\n"
           "  --mqtt URL     publish the machine's status, port state and every logged\n"
           "                 line to an MQTT broker (mqtt://host:1883, mqtts://host:8883);\n"
           "                 nothing is subscribed to, so no remote command reaches the line\n"
           "  --mqtt-machine NAME\n"
           "                 the machine's name in the topics (kelmora/NAME/...); the\n"
           "                 host name by default\n"
           "  --mqtt-config FILE\n"
           "                 the publishing settings (URL, machine, prefix, CA file, user,\n"
           "                 password file); ~/.config/kelmora/mqtt.conf is read when it\n"
           "                 exists; the options above override it\n"
           "  -h, --help     this text\n"
           "  -v, --version  the console's version\n"
           "\n"
           "Qt's window system options (-platform, -style, -display, ...) are passed on.\n"
           "The console needs a display; --help and --version do not.\n";
}

std::string ConsoleVersionText() {
    return std::string("Kelmora ") + kelmora::kVersionText + " (" + kelmora::kPackageVersion +
           ")\n";
}
