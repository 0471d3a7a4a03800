// The serial connection on a real pseudo-terminal: the test holds the far end
// of the line and checks what arrives on either side.

#include "comm_event.h"
#include "pty_pair.h"
#include "serial_connection.h"

#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

namespace {

QByteArray AllByteValues() {
    QByteArray bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<char>(i);
    return bytes;
}

// 64 bytes with the values a terminal likes to change: NUL, line ends,
// XON/XOFF, interrupt and end-of-file characters, DEL and 0xFF.
QByteArray TerminalHostileFrame() {
    const char special[] = {0x00, 0x0A,   0x0D,   0x11, 0x13, 0x03, 0x04, 0x1A,
                            0x7F, '\xFF', '\x80', 0x1C, 0x15, 0x17, 0x12, 0x16};
    QByteArray frame;
    for (int i = 0; i < 64; ++i)
        frame.append(i % 2 == 0 ? special[(i / 2) % 16] : static_cast<char>(0xA0 + i));
    return frame;
}

} // namespace

class SerialConnectionTest : public QObject {
    Q_OBJECT

private:
    // Opens conn on the pty, failing the test if it does not open.
    static bool openOn(SerialConnection& conn, const PtyPair& pty) {
        if (!conn.setCommPort(pty.deviceName()).ok)
            return false;
        const SerialResult result = conn.open();
        if (!result.ok)
            qWarning() << "open failed:" << result.reason;
        return result.ok;
    }

private slots:
    void opensAndClosesAPty() {
        PtyPair pty;
        QVERIFY(pty.ok());
        SerialConnection conn;
        QVERIFY(!conn.isOpen());
        QVERIFY(conn.setSettings(QStringLiteral("115200,n,8,1")).ok);
        QVERIFY(openOn(conn, pty));
        QVERIFY(conn.isOpen());
        QCOMPARE(conn.portLocation(), pty.deviceName());
        conn.close();
        QVERIFY(!conn.isOpen());
        QCOMPARE(conn.output("x", 1), qint64(-1));
    }

    void everyByteValueArrivesUnchanged() {
        PtyPair pty;
        SerialConnection conn;
        QVERIFY(openOn(conn, pty));
        QVERIFY(pty.writeFromPeer(AllByteValues()));
        QTRY_COMPARE(conn.bytesWaiting(), qint64(256));
        QCOMPARE(conn.input(), AllByteValues());
        QCOMPARE(conn.bytesWaiting(), qint64(0));
    }

    void notifiesOnlyOnceThirtyTwoBytesWait() {
        PtyPair pty;
        SerialConnection conn;
        QSignalSpy notifications(&conn, &SerialConnection::onComm);
        QVERIFY(openOn(conn, pty));

        QVERIFY(pty.writeFromPeer(QByteArray(31, '\x55')));
        QTRY_COMPARE(conn.bytesWaiting(), qint64(31));
        QTest::qWait(100);
        QCOMPARE(notifications.count(), 0);

        QVERIFY(pty.writeFromPeer(QByteArray(1, '\xAA')));
        QTRY_COMPARE(notifications.count(), 1);
        QCOMPARE(conn.commEvent(), CommEvent::Receive);
        QCOMPARE(conn.bytesWaiting(), qint64(32));
        QTest::qWait(100);
        QCOMPARE(notifications.count(), 1);
        QCOMPARE(conn.input(), QByteArray(31, '\x55') + QByteArray(1, '\xAA'));
    }

    void aBlockCanBeReadInsideTheNotification() {
        PtyPair pty;
        SerialConnection conn;
        QByteArray block;
        connect(&conn, &SerialConnection::onComm, this, [&] {
            block = conn.input();
            conn.discardInput();
        });
        QVERIFY(openOn(conn, pty));
        QVERIFY(pty.writeFromPeer(AllByteValues().left(32)));
        QTRY_COMPARE(block, AllByteValues().left(32));
        QCOMPARE(conn.bytesWaiting(), qint64(0));
    }

    void outputReachesThePeerByteExact() {
        PtyPair pty;
        SerialConnection conn;
        QVERIFY(openOn(conn, pty));
        const QByteArray frame = TerminalHostileFrame();
        QCOMPARE(conn.output(frame), qint64(64));
        QCOMPARE(pty.readAtPeer(64), frame);
        QCOMPARE(pty.readAtPeer(1, 100), QByteArray()); // nothing added, nothing repeated
    }

    void discardDropsWaitingAndSystemBufferedBytes() {
        PtyPair pty;
        SerialConnection conn;
        QSignalSpy notifications(&conn, &SerialConnection::onComm);
        QVERIFY(openOn(conn, pty));

        QVERIFY(pty.writeFromPeer(QByteArray(40, '\x01')));
        QTRY_COMPARE(conn.bytesWaiting(), qint64(40));
        conn.discardInput();
        QCOMPARE(conn.bytesWaiting(), qint64(0));

        // Bytes the system holds but the connection has not read yet.
        QVERIFY(pty.writeFromPeer(QByteArray(40, '\x02')));
        QVERIFY(pty.waitUntilQueuedForDevice(40));
        conn.discardInput();
        QTest::qWait(100);
        QCOMPARE(conn.bytesWaiting(), qint64(0));

        QVERIFY(pty.writeFromPeer("fresh"));
        QTRY_COMPARE(conn.bytesWaiting(), qint64(5));
        QCOMPARE(conn.input(), QByteArray("fresh"));
        QCOMPARE(notifications.count(), 1); // the first 40 bytes only
    }

    void lineSettingsAreCheckedAndKept() {
        PtyPair pty;
        SerialConnection conn;
        QCOMPARE(conn.settings(), QStringLiteral("115200,n,8,1"));
        const SerialResult refused = conn.setSettings(QStringLiteral("fast,n,8,1"));
        QVERIFY(!refused.ok);
        QCOMPARE(refused.kind, SerialFailure::BadSettings);
        QVERIFY(refused.reason.contains(QStringLiteral("fast")));
        QCOMPARE(conn.settings(), QStringLiteral("115200,n,8,1"));

        QVERIFY(conn.setSettings(QStringLiteral("9600,e,7,2")).ok);
        QVERIFY(openOn(conn, pty));
        QVERIFY(conn.setSettings(QStringLiteral("57600,n,8,1")).ok); // on the open port
        QVERIFY(conn.isOpen());
    }

    void aRefusedSettingLeavesTheLineAsItWas() {
        // The line takes the speed, then refuses 1.5 stop bits: what it took
        // must be put back, or the line would run at a speed that neither the
        // settings nor the port text show.
        PtyPair pty;
        SerialConnection conn;
        QVERIFY(openOn(conn, pty));
        QVERIFY(!conn.setSettings(QStringLiteral("9600,e,7,1.5")).ok);
        QCOMPARE(conn.settings(), QStringLiteral("115200,n,8,1"));
        const termios line = pty.lineSettings();
        QCOMPARE(cfgetospeed(&line), speed_t(B115200));
        QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(line.c_cflag & PARENB, tcflag_t(0));
        QVERIFY(conn.isOpen());
    }

    void scatteredReadErrorsDoNotLoseThePort() {
        // Only an unbroken run of failed reads means the line is gone; a
        // read that works in between starts the count again.
        PtyPair pty;
        SerialConnection conn;
        QSignalSpy lost(&conn, &SerialConnection::portLost);
        int blocks = 0;
        connect(&conn, &SerialConnection::onComm, this, [&] {
            if (conn.commEvent() == CommEvent::Receive) {
                ++blocks;
                conn.discardInput();
            }
        });
        QVERIFY(openOn(conn, pty));
        for (int run = 1; run <= 3; ++run) {
            for (int i = 0; i < 40; ++i)
                conn.reportLineError(QSerialPort::ReadError);
            QVERIFY(pty.writeFromPeer(QByteArray(32, 'r')));
            QTRY_COMPARE(blocks, run);
            QVERIFY(conn.isOpen());
        }
        QTest::qWait(20);
        QCOMPARE(lost.count(), 0);
    }

    void openFailuresSayWhy_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("kind");
        QTest::newRow("missing device")
            << QStringLiteral("/dev/kelmora-no-such-tty") << int(SerialFailure::NoSuchPort);
        QTest::newRow("missing numbered port")
            << QStringLiteral("31000") << int(SerialFailure::NoSuchPort);
    }

    void openFailuresSayWhy() {
        QFETCH(QString, port);
        QFETCH(int, kind);
        SerialConnection conn;
        QVERIFY(conn.setCommPort(port).ok);
        const SerialResult result = conn.open();
        QVERIFY(!result.ok);
        QCOMPARE(int(result.kind), kind);
        QVERIFY(result.reason.contains(conn.portLocation()));
        QVERIFY(!conn.isOpen());
    }

    void aPlainFileIsNotASerialPort() {
        QTemporaryFile file;
        QVERIFY(file.open());
        SerialConnection conn;
        QVERIFY(conn.setCommPort(file.fileName()).ok);
        const SerialResult result = conn.open();
        QVERIFY(!result.ok);
        QCOMPARE(result.kind, SerialFailure::NotASerialPort);
    }

    void openWithoutAPortFails() {
        SerialConnection conn;
        const SerialResult result = conn.open();
        QCOMPARE(result.kind, SerialFailure::NoSuchPort);
        QVERIFY(!result.reason.isEmpty());
    }

    void aRefusedPortTextKeepsThePreviousPort() {
        SerialConnection conn;
        QVERIFY(conn.setCommPort(QStringLiteral("/dev/ttyUSB0")).ok);
        const SerialResult refused = conn.setCommPort(QStringLiteral("3x"));
        QVERIFY(!refused.ok);
        QCOMPARE(refused.kind, SerialFailure::NoSuchPort);
        QCOMPARE(conn.portLocation(), QStringLiteral("/dev/ttyUSB0"));
    }

    void aPortHeldByAnotherConnectionIsBusy() {
        // QSerialPort locks the device (a lock file under /var/lock or the
        // temporary folder) and opens it exclusively, so a second opener, in
        // this process or another, is refused.
        PtyPair pty;
        SerialConnection first;
        SerialConnection second;
        QVERIFY(openOn(first, pty));
        QVERIFY(second.setCommPort(pty.deviceName()).ok);
        const SerialResult result = second.open();
        QVERIFY(!result.ok);
        QCOMPARE(result.kind, SerialFailure::Busy);
        QVERIFY(result.reason.contains(pty.deviceName()));
        QVERIFY(first.isOpen());

        first.close();
        QVERIFY(second.open().ok);
    }

    void peerHangUpLosesThePort() {
        PtyPair pty;
        SerialConnection conn;
        QSignalSpy lost(&conn, &SerialConnection::portLost);
        QSignalSpy notifications(&conn, &SerialConnection::onComm);
        QVERIFY(openOn(conn, pty));

        pty.closePeer();
        QVERIFY(lost.wait(1000));
        QCOMPARE(lost.count(), 1);
        const QString reason = lost.at(0).at(0).toString();
        QVERIFY2(reason.contains(pty.deviceName()), qPrintable(reason));
        QVERIFY2(reason.contains(QStringLiteral("hung up")), qPrintable(reason));
        QVERIFY(!conn.isOpen());
        QCOMPARE(conn.output("x", 1), qint64(-1));
        QTest::qWait(100);
        QCOMPARE(lost.count(), 1);
        QCOMPARE(notifications.count(), 0);
    }

    void writingToAHungUpLineFailsAndLosesThePort() {
        PtyPair pty;
        SerialConnection conn;
        QSignalSpy lost(&conn, &SerialConnection::portLost);
        QVERIFY(openOn(conn, pty));

        pty.closePeer();
        // No event loop pass in between: the write itself meets the hang-up,
        // and the owner hears of it only afterwards.
        QCOMPARE(conn.output(TerminalHostileFrame()), qint64(-1));
        QCOMPARE(lost.count(), 0);
        QVERIFY(!conn.isOpen());
        QVERIFY(lost.wait(1000));
        QVERIFY(!conn.isOpen());
    }

    void reopensOnANewPtyAfterALoss() {
        SerialConnection conn;
        QSignalSpy lost(&conn, &SerialConnection::portLost);
        {
            PtyPair first;
            QVERIFY(openOn(conn, first));
            first.closePeer();
            QVERIFY(lost.wait(1000));
        }
        PtyPair second;
        QVERIFY(openOn(conn, second));
        QVERIFY(second.writeFromPeer(AllByteValues().left(32)));
        QTRY_COMPARE(conn.bytesWaiting(), qint64(32));
        QCOMPARE(conn.output("ok", 2), qint64(2));
        QCOMPARE(second.readAtPeer(2), QByteArray("ok"));
    }

    void closingByTheOwnerIsNotALoss() {
        PtyPair pty;
        SerialConnection conn;
        QSignalSpy lost(&conn, &SerialConnection::portLost);
        QVERIFY(openOn(conn, pty));
        conn.close();
        pty.closePeer();
        QTest::qWait(100);
        QCOMPARE(lost.count(), 0);
    }
};

QTEST_GUILESS_MAIN(SerialConnectionTest)
#include "serial_connection_test.moc"
