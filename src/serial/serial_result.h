#pragma once
// The outcome of an operation on the serial connection: what went wrong, as a
// kind the caller can act on, and a reason an operator can read.

#include <QString>

enum class SerialFailure {
    None,
    NoSuchPort,       // the port text names no port this system has
    Busy,             // another program (or another connection) holds the port
    PermissionDenied, // the user may not open the device
    BadSettings,      // the settings text, or the port, refused the line settings
    NotASerialPort,   // the path exists but is not a serial device
    NotOpen,          // an operation that needs an open port
    WriteFailed,      // the block did not reach the port
    Other,
};

struct SerialResult {
    bool ok = true;
    SerialFailure kind = SerialFailure::None;
    QString reason; // empty on success

    static SerialResult success() { return {}; }
    static SerialResult failure(SerialFailure kind, QString reason) {
        return {false, kind, std::move(reason)};
    }
};
