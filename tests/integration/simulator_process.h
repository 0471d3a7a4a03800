#pragma once
// The real kelmora-sim program, started for one test and stopped with it. Its
// first line on stdout names the pseudo-terminal the console is to open.

#include <QProcess>
#include <QString>
#include <QStringList>

class SimulatorProcess {
public:
    explicit SimulatorProcess(const QStringList& arguments);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // True once the program runs and has named its device.
    bool isReady() const { return !devicePath_.isEmpty(); }
    QString devicePath() const { return devicePath_; }
    // Why the program is not ready, for a test's failure message.
    QString problem() const { return problem_; }
    // The next line it printed (with --hex: a frame it received), or an
    // empty text when none came within the time.
    QByteArray nextLine(int timeoutMs = 2000);
    // Every line it printed within `quietMs` of the last one.
    QList<QByteArray> linesUntilQuiet(int quietMs = 300);
    qint64 pid() const { return process_.processId(); }

private:
    QProcess process_;
    QString devicePath_;
    QString problem_;
};
