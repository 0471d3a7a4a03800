#pragma once
// What the serial connection makes of the errors QSerialPort reports: which
// failure an unsuccessful open is, and whether an error on an open port means
// the port is gone. Pure: the facts about the device are gathered by the
// caller, so every decision can be pinned without a port.

#include "serial_result.h"

#include <QSerialPort>
#include <QString>

// What was known about the device when opening it failed.
struct OpenFailureFacts {
    QSerialPort::SerialPortError error = QSerialPort::UnknownError;
    QString systemLocation;
    QString errorText;           // QSerialPort's errorString(), for the cases without a better word
    bool nodeExists = true;      // the device node is there (always true where unknown)
    bool accessible = true;      // the user may read and write the node
    bool characterDevice = true; // the node is a device, not a plain file
    QString settingsText;        // the line settings the open applied
    bool membershipHint = true;  // name the dialout group in a permission reason
    QString holder;              // who holds the port ("kelmora-ctl (process 1234)"), if known
};

SerialResult DecideOpenFailure(const OpenFailureFacts& facts);

// What was known about the line when QSerialPort reported an error on it.
struct LineErrorFacts {
    bool hangUpSeen = false;       // the descriptor reports a hang-up or an error state
    bool nodeExists = true;        // the device node is still there
    int consecutiveReadErrors = 0; // read errors since the last successful read, this one included
};

enum class LineErrorReaction {
    Ignore,   // nothing happened to the line (cleared error, timeout of a wait)
    Notify,   // the line is still there: raise an error notification
    PortLost, // the port is gone: close it and tell the owner
};

// Reads that keep failing with the line still reporting itself healthy are
// taken as a lost port after this many in a row, so a line that fails every
// read cannot keep the event loop busy.
inline constexpr int MaxConsecutiveReadErrors = 64;

LineErrorReaction DecideLineError(QSerialPort::SerialPortError error, const LineErrorFacts& facts);

// The notification kind (CommEvent) for an error that is notified.
int CommEventForError(QSerialPort::SerialPortError error);

// The operator-facing reason given when an open port is lost.
QString PortLostReason(const QString& systemLocation, const LineErrorFacts& facts);
