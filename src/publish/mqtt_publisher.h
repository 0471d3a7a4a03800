#pragma once
// Publishes a machine's status, port, online state and logged lines to an
// MQTT broker through libmosquitto, entirely on a thread of its own: the
// name lookup, the connection, TLS, the JSON and the network. A caller's
// publish call only puts its text on a bounded queue and returns, so a
// broker that is down, slow, stopped or refusing never holds up the line.
//
// Topics under the settings' prefix: status (retained; the newest only, at
// most every 100 ms and never later), port (retained), online (retained;
// "false" as the will and on stop), frames (QoS 0, not retained, beyond
// kFrameQueueLimit waiting they are dropped and counted). Nothing is
// subscribed: nothing that comes from the broker reaches the line.

#include "mqtt_messages.h"
#include "mqtt_settings.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

enum class BrokerPhase {
    Connecting, // the name lookup, the connection or the broker's answer
    Connected,
    Retrying, // the connection failed or was lost; the next try in retryInSeconds
    Refused,  // the broker refused us (reason); the next try in retryInSeconds
    Stopped,
};

struct BrokerState {
    BrokerPhase phase = BrokerPhase::Connecting;
    std::string reason;     // why the last try failed, when it did
    int retryInSeconds = 0; // Retrying, Refused
    // The broker refused the user name or password, or is not authorising
    // us: another try cannot help until the settings change.
    bool credentialsRefused = false;
};

// "connecting to mqtt://host:1883", "connected to ...", "retrying in 4 s:
// connection refused", "refused: not authorised; retrying in 30 s", "stopped".
std::string BrokerStateText(const BrokerState& state, const MqttSettings& settings);

struct PublisherCounts {
    std::uint64_t statusGiven = 0;     // publishStatus calls
    std::uint64_t statusPublished = 0; // handed to the broker (the rest coalesced)
    std::uint64_t framesGiven = 0;
    std::uint64_t framesPublished = 0;
    std::uint64_t framesDropped = 0; // queue full, or no connection
    std::uint64_t connections = 0;   // successful connections so far
};

class MqttPublisher {
public:
    // The broker's state, each time it changes. Called on the publisher's
    // own thread, never the caller's: hand it over to your own thread (a
    // queued Qt call, a flag) and do not call stop() from it.
    using StateCallback = std::function<void(const BrokerState&)>;

    static constexpr std::size_t kFrameQueueLimit = 1024;

    explicit MqttPublisher(MqttSettings settings, StateCallback onState = {});
    // Stops as stop() does.
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Starts the publisher's thread; it connects and keeps reconnecting
    // (1 s, doubling to 30 s) until stop().
    void start();

    // A received block's history line ("IN < ... t- 12") and when it came:
    // the newest one is published as the status.
    void publishStatus(std::string receivedLine, WallClock::time_point receivedAt);
    // Any line logged, sent or received.
    void publishFrame(std::string line, WallClock::time_point at);
    void publishPort(bool open, std::string device, std::string reason);

    // Publishes what waits and online = false when connected (waiting for the
    // broker to take it, at most `limit`), disconnects and ends the thread.
    // Later calls do nothing.
    void stop(std::chrono::milliseconds limit = std::chrono::milliseconds(2000));

    BrokerState state() const; // any thread
    PublisherCounts counts() const;
    const MqttSettings& settings() const;

private:
    class Worker;
    std::unique_ptr<Worker> worker_;
};
