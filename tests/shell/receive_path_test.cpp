// The receive path over a real pseudo-terminal: the test plays the controller.

#include "float_window.h"
#include "history_model.h"
#include "lamp.h"
#include "main_frm.h"
#include "port_set.h"
#include "pty_peer.h"
#include "worked_status_frame.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {
struct OpenConsole {
    PtyPeer peer;
    Main_frm window;
    std::int32_t tick = 1000;

    OpenConsole() {
        window.setTickSource([this] { return tick; });
        window.presetPort(peer.devicePath());
        window.Command1_Click();
    }
};
} // namespace

class ReceivePathTest : public QObject {
    Q_OBJECT
private slots:
    void openPortGivesTheOpenState();
    void statusFrameIsLoggedAndShown();
    void elapsedTimeBetweenBlocks();
    void twoFramesInOneReadLogOnlyTheFirst();
    void fortyByteReadReachesTheDecoder();
    void datasetListsClearOnTwoLines();
    void lampFallsBackToYellow();
    void closePortAndReopen();
    void openFailureOnAMissingPort();
    void peerClosingEndsInTheClosedState();
    void bytesArrivingWhileTheWindowLogsStartTheNextBlock();
};

void ReceivePathTest::openPortGivesTheOpenState() {
    OpenConsole c;
    QVERIFY(c.peer.isValid());
    QVERIFY2(c.window.MSComm1.isOpen(), qPrintable(c.window.statusMessage()));
    QVERIFY(!c.window.ui.Command1->isEnabled());
    QVERIFY(!c.window.ui.Command1->isDefault());
    QVERIFY(c.window.ui.Command2->isEnabled());
    QVERIFY(c.window.ui.Command2->isDefault());
    QCOMPARE(c.window.ui.Label3->colourValue(), 65535u);
    QVERIFY(c.window.Timer1.isActive());
    QCOMPARE(c.window.MSComm1.settings(), QString("115200,n,8,1"));
}

void ReceivePathTest::statusFrameIsLoggedAndShown() {
    OpenConsole c;
    c.tick = 250;
    QVERIFY(c.peer.write(WorkedStatusFrame()));
    QTRY_COMPARE(c.window.history().count(), 1);
    const std::string expected = "IN < 0211 9010 2700 00CE FFFF FF00 0000 0000 0100 0000 3200 "
                                 "0000 0000 0007 0000 0000  t- 250";
    QCOMPARE(c.window.history().lineAt(0), expected);
    QCOMPARE(c.window.datasets().lineAt(0), expected);
    // The floating window was never opened: it exists now, hidden, with the line.
    QVERIFY(c.window.existingFloatWindow() != nullptr);
    QVERIFY(!c.window.existingFloatWindow()->isVisible());
    QCOMPARE(c.window.existingFloatWindow()->model().lineAt(0), expected);
    c.window.showPendingDisplay();
    QCOMPARE(c.window.ui.Label_posx->text(), QString("10000"));
    QCOMPARE(c.window.ui.Label_framectr->text(), QString("7"));
    QCOMPARE(c.window.ui.Label3->colourValue(), 65280u);
}

void ReceivePathTest::elapsedTimeBetweenBlocks() {
    const std::string zeros = "IN < 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 "
                              "0000 0000 0000 0000  t- ";
    OpenConsole c;
    c.tick = 5000;
    QVERIFY(c.peer.write(QByteArray(32, '\0')));
    QTRY_COMPARE(c.window.history().count(), 1);
    // The first block after start shows the tick count itself.
    QCOMPARE(c.window.history().lineAt(0), zeros + "5000");
    c.tick = 5040;
    QVERIFY(c.peer.write(QByteArray(32, '\0')));
    QTRY_COMPARE(c.window.history().count(), 2);
    QCOMPARE(c.window.history().lineAt(1), zeros + "40");
}

void ReceivePathTest::twoFramesInOneReadLogOnlyTheFirst() {
    OpenConsole c;
    QByteArray two = WorkedStatusFrame();
    two.append(QByteArray(32, char(0xAA)));
    // Both frames reach the line before the console reads it.
    QVERIFY(c.peer.write(two));
    QTRY_COMPARE(c.window.history().count(), 1);
    QTest::qWait(100);
    QCOMPARE(c.window.history().count(), 1);
    QVERIFY(c.window.history().lineAt(0).rfind("IN < 0211 9010", 0) == 0);
}

void ReceivePathTest::fortyByteReadReachesTheDecoder() {
    // Only the first 32 bytes make the line; all 40 reach display_input,
    // which reads only its own positions.
    OpenConsole c;
    QByteArray forty = WorkedStatusFrame();
    forty.append(QByteArray(8, char(0x55)));
    QVERIFY(c.peer.write(forty));
    QTRY_COMPARE(c.window.history().count(), 1);
    QVERIFY(c.window.history().lineAt(0).find("0000 0000  t- ") != std::string::npos);
    c.window.showPendingDisplay();
    QCOMPARE(c.window.ui.Label_posc->text(), QString("256"));
}

void ReceivePathTest::datasetListsClearOnTwoLines() {
    OpenConsole c;
    c.window.Com_Refresh_Click(); // one sent line in both dataset lists
    QCOMPARE(c.window.datasets().count(), 1);
    QCOMPARE(c.peer.read(64).size(), 64);
    QVERIFY(c.peer.write(WorkedStatusFrame()));
    QTRY_COMPARE(c.window.datasets().count(), 2); // request and answer
    QVERIFY(c.peer.write(WorkedStatusFrame()));
    QTRY_COMPARE(c.window.history().count(), 3);
    QCOMPARE(c.window.datasets().count(), 1); // replaced by the answer alone
    QCOMPARE(c.window.existingFloatWindow()->model().count(), 1);
}

void ReceivePathTest::lampFallsBackToYellow() {
    OpenConsole c;
    QVERIFY(c.peer.write(QByteArray(32, '\x01')));
    QTRY_COMPARE(c.window.ui.Label3->colourValue(), 65280u);
    QTRY_COMPARE_WITH_TIMEOUT(c.window.ui.Label3->colourValue(), 65535u, 1000);
}

void ReceivePathTest::closePortAndReopen() {
    OpenConsole c;
    c.window.Command2_Click();
    QVERIFY(!c.window.MSComm1.isOpen());
    QVERIFY(c.window.ui.Command1->isEnabled());
    QVERIFY(c.window.ui.Command1->isDefault());
    QVERIFY(!c.window.ui.Command2->isEnabled());
    QCOMPARE(c.window.ui.Label3->colourValue(), 255u);
    QVERIFY(!c.window.Timer1.isActive());
    c.window.Command1_Click();
    QVERIFY(c.window.MSComm1.isOpen());
}

void ReceivePathTest::openFailureOnAMissingPort() {
    Main_frm w;
    w.presetPort("/dev/kelmora-missing-port");
    w.Command1_Click();
    QVERIFY(!w.MSComm1.isOpen());
    QVERIFY(w.ui.Command1->isEnabled());
    QCOMPARE(w.ui.Label3->colourValue(), 255u);
    QVERIFY(!w.Timer1.isActive());
    QVERIFY2(w.statusMessage().contains("no port", Qt::CaseInsensitive),
             qPrintable(w.statusMessage()));
}

void ReceivePathTest::peerClosingEndsInTheClosedState() {
    OpenConsole c;
    QVERIFY(c.peer.write(WorkedStatusFrame()));
    QTRY_COMPARE(c.window.history().count(), 1);
    c.peer.close();
    // The connection notes the loss at once and closes one event loop pass
    // later; the window's closed state comes with that second step.
    QTRY_VERIFY_WITH_TIMEOUT(!c.window.MSComm1.isOpen() && c.window.ui.Command1->isEnabled(), 1000);
    QVERIFY(c.window.ui.Command1->isEnabled());
    QCOMPARE(c.window.ui.Label3->colourValue(), 255u);
    QVERIFY(!c.window.Timer1.isActive());
    QVERIFY(c.window.statusMessage().startsWith("Port closed:"));
    QCOMPARE(c.window.history().count(), 1);
}

void ReceivePathTest::bytesArrivingWhileTheWindowLogsStartTheNextBlock() {
    // Ten bytes land while the window is logging the first block. The block
    // was cut from its input on the receiving thread before that, so they
    // are the first bytes of the next input: the next block is theirs and
    // the first 22 of the following 32; the 10 after those are dropped.
    OpenConsole c;
    bool sentLate = false;
    const auto sendLate = [&] {
        if (!sentLate) {
            sentLate = true;
            c.peer.write(QByteArray(10, '\x55'));
            QTest::qSleep(50); // no event processing: the window is still logging
        }
    };
    QObject::connect(&c.window.history(), &HistoryModel::waitingForAnnouncement, sendLate);
    QObject::connect(&c.window.history(), &QAbstractItemModel::rowsInserted, sendLate);
    QVERIFY(c.peer.write(WorkedStatusFrame()));
    QTRY_COMPARE(c.window.history().count(), 1);
    QVERIFY(sentLate);
    QVERIFY(c.peer.write(QByteArray(32, '\x11')));
    QTRY_COMPARE(c.window.history().count(), 2);
    QVERIFY(QByteArray::fromStdString(c.window.history().lineAt(1))
                .startsWith("IN < 5555 5555 5555 5555 5555 1111 1111 1111 1111 1111 1111"));
    QTest::qWait(100);
    QCOMPARE(c.window.history().count(), 2);
}

QTEST_MAIN(ReceivePathTest)
#include "receive_path_test.moc"
