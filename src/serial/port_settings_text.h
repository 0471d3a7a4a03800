#pragma once
// The port settings as the dialog accepts them: the texts of its two boxes
// turned into the accepted port and speed, and the port text shown for them.

#include <QString>

struct PortSettingsAcceptance {
    QString port;     // "4", or a device name such as "/dev/ttyUSB0"
    qint32 speed = 0; // bits per second
    QString reason;   // why the texts were refused; empty when accepted
    bool ok() const { return reason.isEmpty(); }
};

// The port box takes a port number (1 to 32767) or a device name; the speed
// box a positive whole number (a fraction rounds) that fits 32 bits.
PortSettingsAcceptance AcceptPortSettings(const QString& portText, const QString& speedText);

// "Com 4 115200,8,n,1": the port text the main window shows after OK.
QString AcceptedPortText(const QString& port, qint32 speed);
