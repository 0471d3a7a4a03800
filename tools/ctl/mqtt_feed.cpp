#include "mqtt_feed.h"

#include <received_line.h>

#include <csignal>

MqttFeed::MqttFeed(MqttSettings settings, LineSession& session, CtlOutput& output)
    : session_(session), output_(output) {
    publisher_ = std::make_unique<MqttPublisher>(std::move(settings), [this](BrokerState state) {
        QMetaObject::invokeMethod(
            this, [this, state] { showState(state); }, Qt::QueuedConnection);
    });
    connect(&session_, &LineSession::statusReceived, this,
            [this](const StatusReport&, const ReceivedBlock& block, std::int32_t elapsedMs) {
                const auto now = WallClock::now();
                std::string line = ReceivedLine(block, elapsedMs);
                publisher_->publishFrame(line, now);
                publisher_->publishStatus(std::move(line), now);
            });
    connect(&session_, &LineSession::frameLogged, this, [this](const SentFrame& frame) {
        publisher_->publishFrame(frame.line, WallClock::now());
    });
}

MqttFeed::~MqttFeed() {
    stop();
}

void MqttFeed::start() {
    publisher_->start();
}

void MqttFeed::portOpened(const std::string& device) {
    publisher_->publishPort(true, device, {});
}

void MqttFeed::portClosed(const std::string& device, const std::string& reason) {
    publisher_->publishPort(false, device, reason);
}

void MqttFeed::stop() {
    if (!publisher_) {
        return;
    }
    publisher_->stop();
    const PublisherCounts counts = publisher_->counts();
    output_.notice("MQTT: " + std::to_string(counts.statusPublished) + " of " +
                   std::to_string(counts.statusGiven) + " statuses and " +
                   std::to_string(counts.framesPublished) + " of " +
                   std::to_string(counts.framesGiven) + " frames published, " +
                   std::to_string(counts.framesDropped) + " frames dropped");
    publisher_.reset();
}

void MqttFeed::showState(const BrokerState& state) {
    if (!publisher_) {
        return;
    }
    // Each try starts by connecting: said once, the outcomes every time.
    if (state.phase != BrokerPhase::Connecting || !saidConnecting_) {
        output_.notice("MQTT: " + BrokerStateText(state, publisher_->settings()));
    }
    saidConnecting_ = true;
    if (state.credentialsRefused && !credentialsRefused_) {
        credentialsRefused_ = true;
        session_.requestStop(SIGTERM);
    }
}
