#include "mqtt_settings.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool StartsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

MqttUrlOutcome RefuseUrl(std::string_view text, const std::string& why) {
    return {std::nullopt, "the broker URL \"" + std::string(text) + "\" " + why};
}

// Reads a whole file; nothing when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return text.str();
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FromDirectory(const std::string& directory, const std::string& path) {
    return path.empty() || path[0] == '/' ? path : directory + path;
}

} // namespace

MqttUrlOutcome ParseMqttUrl(std::string_view text) {
    MqttUrl url;
    std::string_view rest;
    if (StartsWith(text, "mqtt://")) {
        rest = text.substr(7);
    } else if (StartsWith(text, "mqtts://")) {
        rest = text.substr(8);
        url.tls = true;
        url.port = 8883;
    } else {
        return RefuseUrl(text, "does not start with mqtt:// or mqtts://");
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    if (rest.find('@') != std::string_view::npos) {
        return RefuseUrl(text, "holds a user: name the user and a password_file in the "
                               "settings file instead");
    }
    if (rest.find_first_of("/?# \t") != std::string_view::npos) {
        return RefuseUrl(text, "has more than a host and a port");
    }
    std::string_view portText;
    if (StartsWith(rest, "[")) {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) {
            return RefuseUrl(text, "opens a [ it does not close");
        }
        url.host = std::string(rest.substr(1, close - 1));
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty() && after[0] != ':') {
            return RefuseUrl(text, "has something after the ]");
        }
        portText = after.empty() ? after : after.substr(1);
        if (after == ":") {
            return RefuseUrl(text, "has no port after the colon");
        }
    } else {
        const auto colon = rest.find(':');
        url.host = std::string(rest.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = rest.substr(colon + 1);
            if (portText.empty()) {
                return RefuseUrl(text, "has no port after the colon");
            }
        }
    }
    if (url.host.empty()) {
        return RefuseUrl(text, "names no host");
    }
    if (!portText.empty()) {
        if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos ||
            std::atoi(std::string(portText).c_str()) < 1 ||
            std::atoi(std::string(portText).c_str()) > 65535) {
            return RefuseUrl(text, "has no port from 1 to 65535");
        }
        url.port = std::atoi(std::string(portText).c_str());
    }
    return {url, {}};
}

MqttSettingsText ParseMqttSettingsText(std::string_view text, std::string_view fileName) {
    MqttSettingsText parsed;
    const std::pair<const char*, std::optional<std::string>*> keys[] = {
        {"url", &parsed.url},       {"machine", &parsed.machine},
        {"prefix", &parsed.prefix}, {"ca_file", &parsed.caFile},
        {"user", &parsed.user},     {"password_file", &parsed.passwordFile}};
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::string where = std::string(fileName) + ":" + std::to_string(lineNumber) + ": ";
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            parsed.problems.push_back(where + "not a \"key = value\" line");
            continue;
        }
        const std::string key(Trim(line.substr(0, equals)));
        const std::string value(Trim(line.substr(equals + 1)));
        std::optional<std::string>* slot = nullptr;
        for (const auto& [name, field] : keys) {
            if (key == name) {
                slot = field;
            }
        }
        if (slot == nullptr) {
            parsed.problems.push_back(where + "unknown key \"" + key + "\"" +
                                      (key == "password"
                                           ? " (a password is kept in its own file: password_file)"
                                           : " (known: url, machine, prefix, ca_file, user, "
                                             "password_file)"));
        } else if (value.empty()) {
            parsed.problems.push_back(where + key + " has no value");
        } else if (slot->has_value()) {
            parsed.problems.push_back(where + key + " is given a second time");
        } else {
            *slot = value;
        }
    }
    return parsed;
}

std::string MachineNameProblem(std::string_view machine) {
    if (machine.empty()) {
        return "the machine name is empty";
    }
    if (machine.find_first_of("/+#") != std::string_view::npos ||
        machine.find('\0') != std::string_view::npos) {
        return "the machine name \"" + std::string(machine) +
               "\" holds a character a topic level cannot (/, + or #)";
    }
    return {};
}

std::string DefaultMqttConfigFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + "/kelmora/mqtt.conf";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config/kelmora/mqtt.conf";
}

std::string HostMachineName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "kelmora";
    }
    return name;
}

MqttSettingsOutcome LoadMqttSettings(const MqttSettingsRequest& request) {
    MqttSettingsText file;
    std::string directory;
    if (!request.configFile.empty()) {
        const std::optional<std::string> text = ReadFile(request.configFile);
        if (!text && request.configFileGiven) {
            return {std::nullopt, "cannot read the MQTT settings file " + request.configFile};
        }
        if (text) {
            file = ParseMqttSettingsText(*text, request.configFile);
            directory = DirectoryOf(request.configFile);
        }
    }
    if (!file.problems.empty()) {
        std::string all;
        for (const std::string& problem : file.problems) {
            all += (all.empty() ? "" : "; ") + problem;
        }
        return {std::nullopt, all};
    }
    MqttSettings settings;
    settings.url = !request.url.empty() ? request.url : file.url.value_or("");
    if (settings.url.empty()) {
        return {};
    }
    const MqttUrlOutcome url = ParseMqttUrl(settings.url);
    if (!url.url) {
        return {std::nullopt, url.reason};
    }
    settings.broker = *url.url;
    settings.machine =
        !request.machine.empty() ? request.machine : file.machine.value_or(HostMachineName());
    if (const std::string problem = MachineNameProblem(settings.machine); !problem.empty()) {
        return {std::nullopt, problem};
    }
    settings.prefix = file.prefix.value_or("kelmora/" + settings.machine + "/");
    if (settings.prefix.back() != '/') {
        settings.prefix += '/';
    }
    if (settings.prefix.find_first_of("+#") != std::string::npos || settings.prefix[0] == '$' ||
        settings.prefix[0] == '/') {
        return {std::nullopt, "the prefix \"" + settings.prefix +
                                  "\" cannot lead a topic (no +, #, leading $ or /)"};
    }
    settings.caFile = FromDirectory(directory, file.caFile.value_or(""));
    if (!settings.caFile.empty() && !ReadFile(settings.caFile)) {
        return {std::nullopt, "cannot read the CA file " + settings.caFile};
    }
    settings.user = file.user.value_or("");
    if (file.passwordFile) {
        if (settings.user.empty()) {
            return {std::nullopt, "a password_file needs a user"};
        }
        const std::string path = FromDirectory(directory, *file.passwordFile);
        const std::optional<std::string> password = ReadFile(path);
        if (!password) {
            return {std::nullopt, "cannot read the password file " + path};
        }
        // The first line, without its line end.
        settings.password = password->substr(0, password->find_first_of("\r\n"));
    }
    return {settings, {}};
}
