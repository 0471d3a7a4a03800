#pragma once
// The real kelmora-sim as the console's peer, for the tests and the soak
// driver that need a controller which keeps talking on its own (streaming,
// flooding). Its first line on stdout names the pseudo-terminal to open.

#include <QProcess>
#include <QString>
#include <QStringList>

class SimulatorPeer {
public:
    explicit SimulatorPeer(const QStringList& arguments);
    ~SimulatorPeer();
    SimulatorPeer(const SimulatorPeer&) = delete;
    SimulatorPeer& operator=(const SimulatorPeer&) = delete;

    bool isReady() const { return !devicePath_.isEmpty(); }
    QString devicePath() const { return devicePath_; }
    QString problem() const { return problem_; }
    bool isRunning() const { return process_.state() == QProcess::Running; }

    // Ends the simulator (SIGTERM, then SIGKILL) and waits for it; closing
    // its end of the line is what the console then sees.
    void stop();

private:
    QProcess process_;
    QString devicePath_;
    QString problem_;
};
