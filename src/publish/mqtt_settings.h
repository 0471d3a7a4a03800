#pragma once
// Where and as whom the status is published: the broker's URL, the machine's
// name and topic prefix, the CA file for TLS, the user and the file holding
// the password. Read from a settings file of "key = value" lines and from
// command-line options; the password itself is only ever read from its file,
// so it never shows in a process list.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct MqttUrl {
    bool tls = false; // mqtts://
    std::string host; // a name or an address; IPv6 without its brackets
    int port = 1883;
};

struct MqttUrlOutcome {
    std::optional<MqttUrl> url;
    std::string reason; // why not, when refused
};

// "mqtt://host[:port]" (1883) or "mqtts://host[:port]" (8883). A user or
// password in the URL is refused: those belong in the settings file.
MqttUrlOutcome ParseMqttUrl(std::string_view text);

// The keys of a settings file, each at most once; all optional.
struct MqttSettingsText {
    std::optional<std::string> url;
    std::optional<std::string> machine;
    std::optional<std::string> prefix;
    std::optional<std::string> caFile;
    std::optional<std::string> user;
    std::optional<std::string> passwordFile;
    // "mqtt.conf:3: ..." for each line refused; any refusal refuses the file.
    std::vector<std::string> problems;
};

// Reads the text of a settings file: "key = value" lines, blank lines and
// lines starting with '#'. Keys: url, machine, prefix, ca_file, user,
// password_file. `fileName` only names the file in the problems.
MqttSettingsText ParseMqttSettingsText(std::string_view text, std::string_view fileName);

struct MqttSettings {
    MqttUrl broker;
    std::string url;     // as given
    std::string machine; // the host name unless named
    std::string prefix;  // ends in '/': "kelmora/<machine>/" unless given
    std::string caFile;  // empty: the system's CAs (mqtts only)
    std::string user;
    std::string password; // read from the password file
};

// Where the settings come from: a file (may be empty: none), and the URL and
// machine name given on the command line, which win over the file's.
struct MqttSettingsRequest {
    std::string configFile;
    bool configFileGiven = false; // a missing file given by name is an error
    std::string url;
    std::string machine;
};

struct MqttSettingsOutcome {
    std::optional<MqttSettings> settings; // none: no URL anywhere, or refused
    std::string problem;                  // set when refused
};

// Reads the file (relative paths in it are taken from its directory) and
// the password file, and checks everything: any fault refuses the whole.
// Without a URL in either place there are no settings and no problem.
MqttSettingsOutcome LoadMqttSettings(const MqttSettingsRequest& request);

// ~/.config/kelmora/mqtt.conf (XDG_CONFIG_HOME when set).
std::string DefaultMqttConfigFile();

// This computer's host name, for the default machine name.
std::string HostMachineName();

// Why a machine name cannot be a topic level, or empty when it can.
std::string MachineNameProblem(std::string_view machine);
