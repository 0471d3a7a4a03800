#include "simulator_peer.h"

namespace {
constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 3000;
} // namespace

SimulatorPeer::SimulatorPeer(const QStringList& arguments) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(KELMORA_SIM_PATH), arguments);
    if (!process_.waitForStarted(kStartTimeoutMs)) {
        problem_ = "kelmora-sim did not start: " + process_.errorString();
        return;
    }
    while (!process_.canReadLine()) {
        if (!process_.waitForReadyRead(kStartTimeoutMs)) {
            problem_ = "kelmora-sim named no device (exit code " +
                       QString::number(process_.exitCode()) + ")";
            return;
        }
    }
    devicePath_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    if (devicePath_.isEmpty()) {
        problem_ = "kelmora-sim printed an empty device name";
    }
}

SimulatorPeer::~SimulatorPeer() {
    stop();
}

void SimulatorPeer::stop() {
    if (process_.state() == QProcess::NotRunning) {
        return;
    }
    process_.terminate();
    if (!process_.waitForFinished(kStopTimeoutMs)) {
        process_.kill();
        process_.waitForFinished(kStopTimeoutMs);
    }
}
