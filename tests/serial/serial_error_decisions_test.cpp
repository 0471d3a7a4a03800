// The error decisions of the serial connection, as tables of facts.

#include "comm_event.h"
#include "serial_error_decisions.h"

#include <QtTest>

Q_DECLARE_METATYPE(SerialFailure)
Q_DECLARE_METATYPE(LineErrorReaction)

class SerialErrorDecisionsTest : public QObject {
    Q_OBJECT

private slots:
    void openFailureKinds_data() {
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<bool>("nodeExists");
        QTest::addColumn<bool>("accessible");
        QTest::addColumn<bool>("characterDevice");
        QTest::addColumn<SerialFailure>("kind");
        QTest::addColumn<QString>("reasonPart");

        QTest::newRow("not found")
            << QSerialPort::DeviceNotFoundError << false << false << false
            << SerialFailure::NoSuchPort << QStringLiteral("There is no port /dev/ttyS2");
        QTest::newRow("node gone, other error")
            << QSerialPort::ResourceError << false << true << true << SerialFailure::NoSuchPort
            << QStringLiteral("no port");
        QTest::newRow("locked by another") << QSerialPort::PermissionError << true << true << true
                                           << SerialFailure::Busy << QStringLiteral("in use");
        QTest::newRow("no access")
            << QSerialPort::PermissionError << true << false << true
            << SerialFailure::PermissionDenied << QStringLiteral("dialout group");
        QTest::newRow("already open here") << QSerialPort::OpenError << true << true << true
                                           << SerialFailure::Busy << QStringLiteral("already open");
        QTest::newRow("plain file")
            << QSerialPort::UnsupportedOperationError << true << true << false
            << SerialFailure::NotASerialPort << QStringLiteral("not a serial port");
        QTest::newRow("settings refused")
            << QSerialPort::UnsupportedOperationError << true << true << true
            << SerialFailure::BadSettings << QStringLiteral("115200,n,8,1.5");
        QTest::newRow("unknown") << QSerialPort::UnknownError << true << true << true
                                 << SerialFailure::Other << QStringLiteral("Strange thing");
        QTest::newRow("resource, node there")
            << QSerialPort::ResourceError << true << true << true << SerialFailure::Other
            << QStringLiteral("Strange thing");
    }

    void openFailureKinds() {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(bool, nodeExists);
        QFETCH(bool, accessible);
        QFETCH(bool, characterDevice);
        QFETCH(SerialFailure, kind);
        QFETCH(QString, reasonPart);

        OpenFailureFacts facts;
        facts.error = error;
        facts.systemLocation = QStringLiteral("/dev/ttyS2");
        facts.errorText = QStringLiteral("Strange thing");
        facts.nodeExists = nodeExists;
        facts.accessible = accessible;
        facts.characterDevice = characterDevice;
        facts.settingsText = QStringLiteral("115200,n,8,1.5");
        const SerialResult result = DecideOpenFailure(facts);
        QVERIFY(!result.ok);
        QCOMPARE(result.kind, kind);
        QVERIFY2(result.reason.contains(reasonPart), qPrintable(result.reason));
        QVERIFY2(result.reason.contains(QStringLiteral("/dev/ttyS2")), qPrintable(result.reason));
    }

    void permissionHintOnlyWhereTheGroupExists() {
        OpenFailureFacts facts;
        facts.error = QSerialPort::PermissionError;
        facts.systemLocation = QStringLiteral("COM3");
        facts.accessible = false;
        facts.membershipHint = false;
        const SerialResult result = DecideOpenFailure(facts);
        QCOMPARE(result.kind, SerialFailure::PermissionDenied);
        QVERIFY(!result.reason.contains(QStringLiteral("dialout")));
    }

    void lineErrorReactions_data() {
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<bool>("hangUp");
        QTest::addColumn<bool>("nodeExists");
        QTest::addColumn<int>("readErrors");
        QTest::addColumn<LineErrorReaction>("reaction");

        QTest::newRow("cleared error")
            << QSerialPort::NoError << false << true << 0 << LineErrorReaction::Ignore;
        QTest::newRow("timeout") << QSerialPort::TimeoutError << false << true << 0
                                 << LineErrorReaction::Ignore;
        QTest::newRow("not open") << QSerialPort::NotOpenError << false << true << 0
                                  << LineErrorReaction::Ignore;
        QTest::newRow("resource error: unplugged")
            << QSerialPort::ResourceError << false << true << 0 << LineErrorReaction::PortLost;
        QTest::newRow("device vanished") << QSerialPort::DeviceNotFoundError << false << false << 0
                                         << LineErrorReaction::PortLost;
        QTest::newRow("read error, line healthy")
            << QSerialPort::ReadError << false << true << 1 << LineErrorReaction::Notify;
        QTest::newRow("read error on hung-up pty")
            << QSerialPort::ReadError << true << true << 1 << LineErrorReaction::PortLost;
        QTest::newRow("read error, node removed")
            << QSerialPort::ReadError << false << false << 1 << LineErrorReaction::PortLost;
        QTest::newRow("read errors just below the limit")
            << QSerialPort::ReadError << false << true << MaxConsecutiveReadErrors - 1
            << LineErrorReaction::Notify;
        QTest::newRow("read errors at the limit")
            << QSerialPort::ReadError << false << true << MaxConsecutiveReadErrors
            << LineErrorReaction::PortLost;
        QTest::newRow("write error, line healthy")
            << QSerialPort::WriteError << false << true << 0 << LineErrorReaction::Notify;
        QTest::newRow("write error, hung up")
            << QSerialPort::WriteError << true << true << 0 << LineErrorReaction::PortLost;
        QTest::newRow("unknown error")
            << QSerialPort::UnknownError << false << true << 0 << LineErrorReaction::Notify;
        QTest::newRow("unsupported setting") << QSerialPort::UnsupportedOperationError << false
                                             << true << 0 << LineErrorReaction::Notify;
    }

    void lineErrorReactions() {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(bool, hangUp);
        QFETCH(bool, nodeExists);
        QFETCH(int, readErrors);
        QFETCH(LineErrorReaction, reaction);
        QCOMPARE(DecideLineError(error, LineErrorFacts{hangUp, nodeExists, readErrors}), reaction);
    }

    void notifiedErrorsAreNotDataReceived() {
        QCOMPARE(CommEventForError(QSerialPort::ReadError), CommEvent::ReadError);
        QCOMPARE(CommEventForError(QSerialPort::WriteError), CommEvent::WriteError);
        QCOMPARE(CommEventForError(QSerialPort::UnknownError), CommEvent::OtherError);
        QVERIFY(CommEvent::ReadError != CommEvent::Receive);
    }

    void lostReasonsNameThePortAndTheCause() {
        const QString port = QStringLiteral("/dev/ttyUSB0");
        QVERIFY(PortLostReason(port, {false, false, 0}).contains(QStringLiteral("removed")));
        QVERIFY(PortLostReason(port, {true, true, 0}).contains(QStringLiteral("hung up")));
        QVERIFY(PortLostReason(port, {true, false, 0}).contains(QStringLiteral("unplugged")));
        QVERIFY(PortLostReason(port, {false, true, 64}).contains(port));
    }
};

QTEST_GUILESS_MAIN(SerialErrorDecisionsTest)
#include "serial_error_decisions_test.moc"
