#include "serial_error_decisions.h"

#include "comm_event.h"

SerialResult DecideOpenFailure(const OpenFailureFacts& facts) {
    const QString& port = facts.systemLocation;
    if (!facts.nodeExists || facts.error == QSerialPort::DeviceNotFoundError) {
        return SerialResult::failure(SerialFailure::NoSuchPort,
                                     QStringLiteral("There is no port %1").arg(port));
    }
    switch (facts.error) {
    case QSerialPort::PermissionError:
        // Qt reports a lock held by someone else, an exclusive open and a
        // refused access alike; only the access check tells them apart.
        if (facts.accessible) {
            return SerialResult::failure(SerialFailure::Busy,
                                         QStringLiteral("Port %1 is in use by %2")
                                             .arg(port, facts.holder.isEmpty()
                                                            ? QStringLiteral("another program")
                                                            : facts.holder));
        }
        return SerialResult::failure(
            SerialFailure::PermissionDenied,
            facts.membershipHint
                ? QStringLiteral("No permission to open %1: the user must be a member of the "
                                 "dialout group (log in again after joining it)")
                      .arg(port)
                : QStringLiteral("No permission to open %1").arg(port));
    case QSerialPort::OpenError:
        if (!facts.holder.isEmpty()) {
            return SerialResult::failure(
                SerialFailure::Busy,
                QStringLiteral("Port %1 is in use by %2").arg(port, facts.holder));
        }
        return SerialResult::failure(SerialFailure::Busy,
                                     QStringLiteral("Port %1 is already open").arg(port));
    case QSerialPort::UnsupportedOperationError:
        if (!facts.characterDevice) {
            return SerialResult::failure(SerialFailure::NotASerialPort,
                                         QStringLiteral("%1 is not a serial port").arg(port));
        }
        return SerialResult::failure(
            SerialFailure::BadSettings,
            QStringLiteral("Port %1 refused the line settings %2").arg(port, facts.settingsText));
    default:
        return SerialResult::failure(
            SerialFailure::Other,
            QStringLiteral("Port %1 could not be opened: %2").arg(port, facts.errorText));
    }
}

LineErrorReaction DecideLineError(QSerialPort::SerialPortError error, const LineErrorFacts& facts) {
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
    case QSerialPort::NotOpenError:
        return LineErrorReaction::Ignore;
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError:
        return LineErrorReaction::PortLost;
    case QSerialPort::ReadError:
        // A hung-up tty stays readable and every read returns nothing; Qt
        // calls that a read error, not a lost resource.
        if (facts.hangUpSeen || !facts.nodeExists ||
            facts.consecutiveReadErrors >= MaxConsecutiveReadErrors)
            return LineErrorReaction::PortLost;
        return LineErrorReaction::Notify;
    case QSerialPort::WriteError:
        if (facts.hangUpSeen || !facts.nodeExists)
            return LineErrorReaction::PortLost;
        return LineErrorReaction::Notify;
    default:
        return LineErrorReaction::Notify;
    }
}

int CommEventForError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ReadError:
        return CommEvent::ReadError;
    case QSerialPort::WriteError:
        return CommEvent::WriteError;
    default:
        return CommEvent::OtherError;
    }
}

QString PortLostReason(const QString& systemLocation, const LineErrorFacts& facts) {
    if (facts.hangUpSeen) {
        return QStringLiteral("Port %1 was lost: the line hung up (device unplugged or its "
                              "other end closed)")
            .arg(systemLocation);
    }
    if (!facts.nodeExists) {
        return QStringLiteral("Port %1 was lost: the device was removed").arg(systemLocation);
    }
    return QStringLiteral("Port %1 was lost: the device stopped answering reads and writes")
        .arg(systemLocation);
}
