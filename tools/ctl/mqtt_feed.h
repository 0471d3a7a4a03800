#pragma once
// watch --mqtt: every status and frame of the line handed to the publisher,
// the port's state around the run, and the broker's state on standard
// error as it changes. The publisher's thread reports its state here
// through the event loop, so everything printed or stopped happens on the
// loop's thread.

#include "ctl_output.h"
#include "line_session.h"

#include <mqtt_publisher.h>

#include <QObject>

#include <memory>

class MqttFeed : public QObject {
    Q_OBJECT

public:
    MqttFeed(MqttSettings settings, LineSession& session, CtlOutput& output);
    ~MqttFeed() override;

    // Starts connecting (off this thread): before the line opens, so that a
    // failure to open it is published too once connected.
    void start();
    void portOpened(const std::string& device);
    void portClosed(const std::string& device, const std::string& reason);
    // Publishes online = false and disconnects; prints what was published.
    void stop();
    // The broker refused the user or password: the run is stopped.
    bool credentialsRefused() const { return credentialsRefused_; }

private:
    void showState(const BrokerState& state);

    LineSession& session_;
    CtlOutput& output_;
    std::unique_ptr<MqttPublisher> publisher_;
    bool credentialsRefused_ = false;
    bool saidConnecting_ = false;
};
