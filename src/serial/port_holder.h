#pragma once
// Who holds a serial port: the process named in the port's lock file (the
// "LCK.." file in the lock folder that Qt's serial port, like most serial
// programs, creates while it has the port open), else any other process
// that has the device open. For the word an operator gets when a port is
// in use, and for the list of ports.

#include <QString>
#include <optional>

struct PortHolder {
    qint64 pid = 0;
    QString program; // the process's name, as the system knows it ("kelmora-ctl")
};

// Nothing when no live process other than this one holds the port.
std::optional<PortHolder> FindPortHolder(const QString& systemLocation);

// "kelmora-ctl (process 1234)".
QString PortHolderText(const PortHolder& holder);
