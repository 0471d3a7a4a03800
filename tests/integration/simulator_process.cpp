#include "simulator_process.h"

namespace {
constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 2000;
} // namespace

SimulatorProcess::SimulatorProcess(const QStringList& arguments) {
    // Its complaints (a refused option, no pseudo-terminal) belong in the
    // test's output.
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

SimulatorProcess::~SimulatorProcess() {
    if (process_.state() == QProcess::NotRunning) {
        return;
    }
    process_.terminate();
    if (!process_.waitForFinished(kStopTimeoutMs)) {
        process_.kill();
        process_.waitForFinished(kStopTimeoutMs);
    }
}

QByteArray SimulatorProcess::nextLine(int timeoutMs) {
    while (!process_.canReadLine()) {
        if (!process_.waitForReadyRead(timeoutMs)) {
            return {};
        }
    }
    return process_.readLine().trimmed();
}

QList<QByteArray> SimulatorProcess::linesUntilQuiet(int quietMs) {
    QList<QByteArray> lines;
    for (QByteArray line = nextLine(quietMs); !line.isEmpty(); line = nextLine(quietMs)) {
        lines << line;
    }
    return lines;
}
