#pragma once
// From what an operator types as "the port" to the name the system opens.
//
// A whole number n (blanks around it allowed, a fraction rounded as every
// number box of the console does) means the system's n-th serial port:
// COMn on Windows, /dev/ttyS(n-1) on Linux. A device name or path
// (/dev/ttyUSB0, /dev/pts/5, ttyACM0, COM4, a symlink path) is used as it is.

#include <QString>
#include <QStringList>

struct PortNameResolution {
    QString systemLocation; // what QSerialPort opens; empty when refused
    QString acceptedText;   // the port as the dialog keeps it: "4" or "/dev/ttyUSB0"
    QString reason;         // why the text was refused; empty on success
    bool ok() const { return reason.isEmpty(); }
};

PortNameResolution ResolvePortName(const QString& text);

// The device for the n-th serial port (n >= 1) on this system.
QString NumberedPortLocation(int number);

// The system locations of the serial ports this system reports, sorted.
QStringList AvailablePortNames();

// The decimal separator operators type in number boxes, from the locale.
char OperatorDecimalSeparator();
