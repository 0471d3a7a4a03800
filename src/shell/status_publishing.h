#pragma once
// The console's feed to the plant's MQTT broker: every line the history
// logs, the newest status and the port's state go to a publisher that runs
// on a thread of its own (src/publish), so a broker that is down, slow or
// refusing never holds up the line or the window. A permanent label in the
// status bar tells the broker's state.
//
// A logged line waits until the event loop runs again before it is handed
// on, as the recording's lines do: by then the send path has settled, and a
// frame the port refused (taken back from the history) is never published.

#include <mqtt_publisher.h>

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class HistoryModel;
class Main_frm;
class QLabel;
class QStatusBar;

class StatusPublishing : public QObject {
    Q_OBJECT

public:
    StatusPublishing(const HistoryModel& history, MqttSettings settings, QStatusBar* bar,
                     QObject* parent);
    // Publishes online = false and disconnects (as stop()).
    ~StatusPublishing() override;

    // The port opened or closed (`failure` says why it closed or would not
    // open).
    void portStateChanged(bool open, const QString& device, const QString& failure);
    // Publishes what waits and online = false, then disconnects; a clean
    // exit calls it before the window goes.
    void stop();

    QString stateText() const;
    const MqttPublisher& publisher() const { return publisher_; }

signals:
    // The broker's state changed; `text` is what the status bar shows.
    void brokerStateChanged(const QString& text);

private:
    void lineAppended();
    void lastLineRemoved();
    void handOn();
    void showState(const BrokerState& state);

    const HistoryModel& history_;
    MqttPublisher publisher_;
    QLabel* label_ = nullptr;
    QTimer handOnTimer_;
    bool portOpen_ = false;
    std::string device_;
    // Lines logged since the event loop last ran, with when they were logged.
    std::vector<std::pair<std::string, WallClock::time_point>> pending_;
};

// The label's text for a broker state: "MQTT: connected to ...".
QString BrokerLabelText(const BrokerState& state, const MqttSettings& settings);

// The publishing the command line asks for: --mqtt URL, --mqtt-machine NAME
// and --mqtt-config FILE, else the default settings file. Options that
// cannot be followed refuse the start (exit 2), as any bad option does; a
// fault in the default settings file, which nobody named this time, leaves
// publishing off and is said (`problem`) without stopping the console.
struct PublishingChoice {
    std::optional<MqttSettings> settings;
    std::string problem;
    bool refuse = false;
};
PublishingChoice ChoosePublishing(const std::optional<std::string>& url,
                                  const std::optional<std::string>& machine,
                                  const std::optional<std::string>& configFile);

// Starts publishing for the window as chosen (nothing when not chosen; a
// problem is then shown in the status bar). Destroy it before the window.
std::unique_ptr<StatusPublishing> StartPublishing(Main_frm& window, const PublishingChoice& choice);
