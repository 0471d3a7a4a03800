// The console on a line that misbehaves: a peer that goes away mid-stream,
// a port someone else holds, a peer that says nothing, or too little, or far
// too much, and an operator who closes and reopens the port a thousand times
// while the controller streams. Real Main_frm, real pseudo-terminals, and the
// real simulator where a peer must keep talking on its own.

#include "history_model.h"
#include "lamp.h"
#include "main_frm.h"
#include "port_set.h"
#include "pty_peer.h"
#include "serial_connection.h"
#include "simulator_peer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

constexpr std::uint32_t kRed = 255;
constexpr std::uint32_t kYellow = 65535;

// A status frame whose bytes 29 to 32 (not shown) carry a sequence number,
// so a logged line can be traced to the frame it came from.
QByteArray numberedFrame(std::uint32_t sequence) {
    QByteArray frame(32, '\0');
    frame[0] = 2;
    frame[20] = 50;
    for (int i = 0; i < 4; ++i) {
        frame[28 + i] = static_cast<char>((sequence >> (8 * i)) & 0xFF);
    }
    return frame;
}

// The sequence number in a received line, read from its last two groups.
bool sequenceOfLine(const std::string& line, std::uint32_t& sequence) {
    // "IN < " + 16 groups of "XXXX " : bytes 28..31 are groups 15 and 16.
    if (line.rfind("IN < ", 0) != 0 || line.size() < 89) {
        return false;
    }
    const QByteArray hex =
        QByteArray::fromStdString(line.substr(5 + 14 * 5, 4) + line.substr(5 + 15 * 5, 4));
    const QByteArray bytes = QByteArray::fromHex(hex);
    if (bytes.size() != 4) {
        return false;
    }
    sequence = 0;
    for (int i = 0; i < 4; ++i) {
        sequence |= std::uint32_t(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    return true;
}

int openDescriptorCount() {
    return int(QDir("/proc/self/fd")
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

bool inClosedState(Main_frm& w) {
    return !w.MSComm1.isOpen() && w.ui.Command1->isEnabled() && w.ui.Command1->isDefault() &&
           !w.ui.Command2->isEnabled() && w.ui.Label3->colourValue() == kRed &&
           !w.Timer1.isActive();
}

bool inOpenState(Main_frm& w) {
    return w.MSComm1.isOpen() && !w.ui.Command1->isEnabled() && w.ui.Command2->isEnabled() &&
           w.ui.Command2->isDefault() && w.Timer1.isActive();
}

QString describe(Main_frm& w) {
    return QString("port %1, Open Port %2, Close Port %3, lamp %4, status \"%5\"")
        .arg(w.MSComm1.isOpen() ? "open" : "closed",
             w.ui.Command1->isEnabled() ? "enabled" : "disabled",
             w.ui.Command2->isEnabled() ? "enabled" : "disabled",
             QString::number(w.ui.Label3->colourValue()), w.statusMessage());
}

void openOn(Main_frm& w, const QString& device) {
    w.presetPort(device);
    w.Command1_Click();
}

// Second mode of this program: hold a port open from another process until
// stdin closes, the way another program on the machine would.
int holdPort(char* program, const char* device) {
    int argc = 1;
    char* argv[] = {program, nullptr};
    QCoreApplication app(argc, argv);
    SerialConnection connection;
    if (!connection.setCommPort(QString::fromLocal8Bit(device)).ok || !connection.open().ok) {
        std::puts("refused");
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    connection.close();
    return 0;
}

} // namespace

class FaultTest : public QObject {
    Q_OBJECT
private slots:
    void peerClosingMidStreamClosesThePortAndKeepsTheHistory();
    void peerClosingOnAQuietLineClosesThePort();
    void aPortOpenedTwiceIsBusy();
    void aPortHeldByAnotherProcessIsRefusedUntilReleased();
    void aSilentPeerLeavesTheConsoleOpenAndTheHistoryEmpty();
    void thirtyOneBytesWaitForTheThirtySecond();
    void aFloodingPeerLeavesTheConsoleResponsive();
    void closeAndOpenAThousandTimesWhileStreaming();
};

void FaultTest::peerClosingMidStreamClosesThePortAndKeepsTheHistory() {
    Main_frm w;
    auto peer = std::make_unique<PtyPeer>();
    QVERIFY(peer->isValid());
    openOn(w, peer->devicePath());
    QVERIFY2(inOpenState(w), qPrintable(w.statusMessage()));

    // Frames every 5 ms; after 60 of them the peer closes between two frames.
    std::uint32_t written = 0;
    QElapsedTimer sinceClose;
    QTimer stream;
    stream.setInterval(5);
    connect(&stream, &QTimer::timeout, [&] {
        if (written == 60) {
            stream.stop();
            peer->close();
            sinceClose.start();
            return;
        }
        QVERIFY(peer->write(numberedFrame(written)));
        ++written;
    });
    stream.start();
    QTRY_VERIFY_WITH_TIMEOUT(sinceClose.isValid(), 5000);
    // The whole closed state, buttons and lamp included, not only the port.
    QTRY_VERIFY2_WITH_TIMEOUT(inClosedState(w), qPrintable(describe(w)), 1000);
    const qint64 closedAfterMs = sinceClose.elapsed();
    qInfo("closed state %lld ms after the peer went away", closedAfterMs);
    QVERIFY(closedAfterMs <= 1000);
    QVERIFY2(w.statusMessage().startsWith("Port closed: ") &&
                 w.statusMessage().size() > int(std::strlen("Port closed: ")),
             qPrintable(w.statusMessage()));

    // The history holds what came in, in order, each line whole, and nothing
    // is added or lost once the port is gone.
    const int logged = w.history().count();
    QVERIFY(logged > 0);
    std::uint32_t previous = 0;
    for (int row = 0; row < logged; ++row) {
        const std::string line = w.history().lineAt(row);
        std::uint32_t sequence = 0;
        QVERIFY2(sequenceOfLine(line, sequence), line.c_str());
        QVERIFY(sequence < written);
        QVERIFY(row == 0 || sequence > previous);
        previous = sequence;
        QCOMPARE(line.substr(0, 5 + 16 * 5), std::string("IN < 0200 0000 0000 0000 0000 0000 "
                                                         "0000 0000 0000 0000 3200 0000 0000 "
                                                         "0000 ") +
                                                 line.substr(5 + 14 * 5, 10));
    }
    QTest::qWait(200);
    QCOMPARE(w.history().count(), logged);

    // A new line on a new pseudo-terminal opens and works.
    PtyPeer fresh;
    openOn(w, fresh.devicePath());
    QVERIFY2(inOpenState(w), qPrintable(w.statusMessage()));
    QVERIFY(fresh.write(numberedFrame(1000)));
    QTRY_COMPARE(w.history().count(), logged + 1);
    std::uint32_t sequence = 0;
    QVERIFY(sequenceOfLine(w.history().lineAt(logged), sequence));
    QCOMPARE(sequence, 1000u);
}

void FaultTest::peerClosingOnAQuietLineClosesThePort() {
    PtyPeer peer;
    Main_frm w;
    openOn(w, peer.devicePath());
    QVERIFY(peer.write(numberedFrame(1)));
    QTRY_COMPARE(w.history().count(), 1);
    QTest::qWait(50);
    peer.close();
    QTRY_VERIFY2_WITH_TIMEOUT(inClosedState(w), qPrintable(describe(w)), 1000);
    QVERIFY2(w.statusMessage().startsWith("Port closed: "), qPrintable(w.statusMessage()));
    QCOMPARE(w.history().count(), 1);
}

void FaultTest::aPortOpenedTwiceIsBusy() {
    PtyPeer peer;
    Main_frm w;
    openOn(w, peer.devicePath());
    QVERIFY2(inOpenState(w), qPrintable(w.statusMessage()));

    SerialConnection second;
    QVERIFY(second.setCommPort(peer.devicePath()).ok);
    const SerialResult result = second.open();
    QVERIFY(!result.ok);
    QCOMPARE(result.kind, SerialFailure::Busy);
    QVERIFY2(result.reason.contains(peer.devicePath()), qPrintable(result.reason));
    QVERIFY(!second.isOpen());

    // The console's own port is untouched by the refused opener.
    QVERIFY(inOpenState(w));
    QVERIFY(peer.write(numberedFrame(7)));
    QTRY_COMPARE(w.history().count(), 1);
}

void FaultTest::aPortHeldByAnotherProcessIsRefusedUntilReleased() {
    PtyPeer peer;
    QProcess holder;
    holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holder.start(QCoreApplication::applicationFilePath(), {"--hold-port", peer.devicePath()});
    QVERIFY(holder.waitForStarted(5000));
    QVERIFY(holder.waitForReadyRead(5000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));

    Main_frm w;
    openOn(w, peer.devicePath());
    QVERIFY(inClosedState(w));
    QVERIFY2(w.statusMessage().startsWith("Open Port: ") &&
                 w.statusMessage().contains(peer.devicePath()) &&
                 w.statusMessage().contains("in use"),
             qPrintable(w.statusMessage()));

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(5000));
    QCOMPARE(holder.exitCode(), 0);
    w.Command1_Click();
    QVERIFY2(inOpenState(w), qPrintable(w.statusMessage()));
}

void FaultTest::aSilentPeerLeavesTheConsoleOpenAndTheHistoryEmpty() {
    PtyPeer peer;
    Main_frm w;
    openOn(w, peer.devicePath());
    QVERIFY(inOpenState(w));
    QTest::qWait(1500);
    QVERIFY(inOpenState(w));
    QCOMPARE(w.ui.Label3->colourValue(), kYellow);
    QCOMPARE(w.history().count(), 0);
    QCOMPARE(w.datasets().count(), 0);
}

void FaultTest::thirtyOneBytesWaitForTheThirtySecond() {
    PtyPeer peer;
    Main_frm w;
    w.setTickSource([] { return 700; });
    openOn(w, peer.devicePath());
    QVERIFY(inOpenState(w));

    QByteArray block;
    for (int i = 0; i < 32; ++i) {
        block.append(char(0xE0 + i));
    }
    QVERIFY(peer.write(block.left(31)));
    QTest::qWait(500);
    QCOMPARE(w.history().count(), 0);
    QVERIFY(inOpenState(w));

    QVERIFY(peer.write(block.right(1)));
    QTRY_COMPARE(w.history().count(), 1);
    QTest::qWait(300);
    QCOMPARE(w.history().count(), 1);
    QCOMPARE(w.history().lineAt(0), std::string("IN < E0E1 E2E3 E4E5 E6E7 E8E9 EAEB ECED EEEF "
                                                "F0F1 F2F3 F4F5 F6F7 F8F9 FAFB FCFD FEFF  t- 700"));
}

void FaultTest::aFloodingPeerLeavesTheConsoleResponsive() {
    SimulatorPeer sim({"--stream", "max"});
    QVERIFY2(sim.isReady(), qPrintable(sim.problem()));
    Main_frm w;
    openOn(w, sim.devicePath());
    QVERIFY2(inOpenState(w), qPrintable(w.statusMessage()));

    // A 10 ms timer keeps ticking while the line floods; its longest gap is
    // how long the console stopped answering.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    int ticks = 0;
    QTimer probe;
    probe.setInterval(10);
    connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
        ++ticks;
    });
    probe.start();
    QTest::qWait(2000);
    probe.stop();
    const int logged = w.history().count();
    qInfo("flood for 2 s: %d lines logged, %d ticks of a 10 ms timer, longest gap %lld ms", logged,
          ticks, longestGap);

    QVERIFY(sim.isRunning());
    QVERIFY(inOpenState(w));
    QVERIFY(ticks >= 20); // the event loop kept turning
    QVERIFY(logged > 10);
    for (int row = 0; row < logged; row += std::max(1, logged / 50)) {
        const std::string line = w.history().lineAt(row);
        QVERIFY2(line.rfind("IN < ", 0) == 0 && line.find("  t- ") == 84, line.c_str());
    }

    // Still answering the operator: Close Port works in the flood.
    w.Command2_Click();
    QVERIFY(inClosedState(w));
    const int afterClose = w.history().count();
    QTest::qWait(100);
    QCOMPARE(w.history().count(), afterClose);
}

void FaultTest::closeAndOpenAThousandTimesWhileStreaming() {
    SimulatorPeer sim({"--stream", "2000"});
    QVERIFY2(sim.isReady(), qPrintable(sim.problem()));
    Main_frm w;
    openOn(w, sim.devicePath());
    QVERIFY2(inOpenState(w), qPrintable(w.statusMessage()));
    QTRY_VERIFY(w.history().count() > 0);
    const int descriptors = openDescriptorCount();

    QElapsedTimer clock;
    clock.start();
    for (int cycle = 0; cycle < 1000; ++cycle) {
        w.Command2_Click();
        if (!inClosedState(w)) {
            QFAIL(qPrintable(QString("not closed at cycle %1").arg(cycle)));
        }
        QCoreApplication::processEvents();
        w.Command1_Click();
        if (!inOpenState(w)) {
            QFAIL(
                qPrintable(QString("not open at cycle %1: %2").arg(cycle).arg(w.statusMessage())));
        }
        QCoreApplication::processEvents();
    }
    qInfo("1000 close/open cycles in %lld ms, %d lines logged meanwhile", clock.elapsed(),
          w.history().count());

    QVERIFY(sim.isRunning());
    QVERIFY(inOpenState(w));
    QCOMPARE(openDescriptorCount(), descriptors);
    const int before = w.history().count();
    QTRY_VERIFY(w.history().count() > before + 10);
    const std::string last = w.history().lineAt(w.history().count() - 1);
    QVERIFY2(last.rfind("IN < ", 0) == 0, last.c_str());
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--hold-port") == 0) {
        return holdPort(argv[0], argv[2]);
    }
    QApplication app(argc, argv);
    FaultTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "fault_test.moc"
