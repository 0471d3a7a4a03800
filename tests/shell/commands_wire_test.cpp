// Every command, from the operator's click to the bytes on the wire. The test
// plays the controller on a real pseudo-terminal and reads what is written.

#include "float_window.h"
#include "history_model.h"
#include "main_frm.h"
#include "port_set.h"
#include "pty_peer.h"
#include "typed_decimal.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {
QByteArray hex(const char* digits) {
    return QByteArray::fromHex(digits);
}

QByteArray padded(QByteArray head) {
    head.append(QByteArray(64 - head.size(), '\0'));
    return head;
}

struct OpenConsole {
    PtyPeer peer;
    Main_frm window;

    OpenConsole() {
        window.presetPort(peer.devicePath());
        window.Command1_Click();
    }
    QByteArray next() { return peer.read(64); }
};

const QByteArray kWorkedMove = hex("0211000000000401"
                                   "3200000032000000CEFFFFFF32000000"
                                   "CEFFFFFFCEFFFFFF32000000CEFFFFFF"
                                   "00000000000000000000000000000000"
                                   "0000000000000000");
} // namespace

class CommandsWireTest : public QObject {
    Q_OBJECT
private slots:
    void firstDriveAfterStartIsTheWorkedExample();
    void driveXYThenZCDifferOnlyInCommandAndCounter();
    void millimetreMode();
    void pointCountsAndRampBits();
    void counterWrapsAfter256Frames();
    void closedPortDropsSilentlyAndKeepsTheCounter();
    void refusedFrameKeepsItsCounterValue();
    void referenceRunFrames();
    void zeroPointFrames();
    void auxiliaryAndModeFrames();
    void statusRequestsCarryTheCounter();
    void autorefreshSendsOneRequestPerSecond();
    void keysOnAButtonSendTextBoxesDoNot();
};

void CommandsWireTest::firstDriveAfterStartIsTheWorkedExample() {
    OpenConsole c;
    QVERIFY(c.window.MSComm1.isOpen());
    c.window.ui.com_move_xy->click();
    QCOMPARE(c.next(), kWorkedMove);
    const std::string line = c.window.history().lineAt(0);
    QCOMPARE(QByteArray::fromStdString(line), kWorkedMove.toHex().toUpper());
    QCOMPARE(c.window.datasets().lineAt(0), line);
    QCOMPARE(c.window.existingFloatWindow()->model().lineAt(0), line);
}

void CommandsWireTest::driveXYThenZCDifferOnlyInCommandAndCounter() {
    OpenConsole c;
    c.window.com_move_xy_Click();
    c.window.com_move_zc_Click();
    const QByteArray first = c.next();
    const QByteArray second = c.next();
    QCOMPARE(first.size(), 64);
    QCOMPARE(second.size(), 64);
    for (int i = 0; i < 64; ++i) {
        if (i == 1) {
            QCOMPARE(quint8(first[i]), quint8(0x11));
            QCOMPARE(quint8(second[i]), quint8(0x12));
        } else if (i == 59) {
            QCOMPARE(quint8(second[i]), quint8(first[i] + 1));
        } else {
            QCOMPARE(second[i], first[i]);
        }
    }
}

void CommandsWireTest::millimetreMode() {
    OpenConsole c;
    c.window.ui.Option1[1]->click();
    c.window.ui.v_end->setText("1");
    c.window.com_move_xy_Click();
    const QByteArray frame = c.next();
    QCOMPARE(frame.mid(2, 4), hex("0000803F"));
    QCOMPARE(quint8(frame[7]), quint8(0x00));
    QCOMPARE(frame.mid(8, 4), hex("00004842"));  // 50
    QCOMPARE(frame.mid(16, 4), hex("000048C2")); // -50
}

void CommandsWireTest::pointCountsAndRampBits() {
    OpenConsole c;
    c.window.ui.num_coord->setText("0");
    c.window.ui.Check1[0]->setChecked(true);
    c.window.com_move_xy_Click();
    QByteArray frame = c.next();
    QCOMPARE(quint8(frame[6]), quint8(0));
    QCOMPARE(quint8(frame[56]), quint8(0x01));
    QCOMPARE(frame.mid(8, 16), kWorkedMove.mid(8, 16)); // all six points go anyway

    c.window.ui.num_coord->setText("9");
    c.window.ui.Check1[0]->setChecked(false);
    c.window.ui.Check1[7]->setChecked(true);
    c.window.com_move_xy_Click();
    frame = c.next();
    QCOMPARE(quint8(frame[6]), quint8(9));
    QCOMPARE(quint8(frame[56]), quint8(0x80));

    for (QCheckBox* box : c.window.ui.Check1) {
        box->setChecked(true);
    }
    c.window.com_move_xy_Click();
    QCOMPARE(quint8(c.next()[56]), quint8(0xFF));
}

void CommandsWireTest::counterWrapsAfter256Frames() {
    OpenConsole c;
    for (int i = 0; i < 256; ++i) {
        c.window.Com_Refresh_Click();
        const QByteArray frame = c.next();
        QCOMPARE(frame.size(), 64);
        QCOMPARE(quint8(frame[59]), quint8(i));
    }
    c.window.com_move_xy_Click();
    QCOMPARE(quint8(c.next()[59]), quint8(0));
}

void CommandsWireTest::closedPortDropsSilentlyAndKeepsTheCounter() {
    OpenConsole c;
    c.window.Com_Refresh_Click();
    QCOMPARE(quint8(c.next()[59]), quint8(0));
    c.window.Command2_Click();
    const int historyBefore = c.window.history().count();
    const int datasetsBefore = c.window.datasets().count();
    c.window.com_move_xy_Click();
    c.window.Nullpunkt_setzen_Click();
    c.window.Zusatzsignale_schalten_Click();
    c.window.Modechange_Click();
    c.window.Command3_Click();
    c.window.Com_Refresh_Click();
    QCOMPARE(c.window.history().count(), historyBefore);
    QCOMPARE(c.window.datasets().count(), datasetsBefore);
    QCOMPARE(c.window.channel().frame_counter(), std::uint8_t(1));
    QVERIFY(c.window.statusMessage().startsWith("Port closed"));

    c.window.Command1_Click();
    c.window.Com_Refresh_Click();
    QCOMPARE(quint8(c.next()[59]), quint8(1));
}

void CommandsWireTest::refusedFrameKeepsItsCounterValue() {
    OpenConsole c;
    c.window.ui.y_c[2]->setText("abc");
    c.window.com_move_xy_Click();
    QCOMPARE(c.peer.drain(100), QByteArray());
    QCOMPARE(c.window.history().count(), 0);
    QVERIFY(c.window.statusMessage().startsWith("Y / C 3:"));
    QVERIFY(c.window.ui.y_c[2]->property("inputError").toBool());
    // Editing the box clears its mark.
    QTest::keyClick(c.window.ui.y_c[2], Qt::Key_Backspace);
    QVERIFY(!c.window.ui.y_c[2]->property("inputError").toBool());
    c.window.ui.y_c[2]->setText("-50");
    c.window.com_move_xy_Click();
    QCOMPARE(quint8(c.next()[59]), quint8(0));
}

void CommandsWireTest::referenceRunFrames() {
    OpenConsole c;
    c.window.Com_Refresh_Click();
    QCOMPARE(quint8(c.next()[59]), quint8(0));

    c.window.ui.Command3->click();
    QCOMPARE(c.next(), padded(hex("02310400010203")));
    QCOMPARE(c.window.history().lineAt(1), std::string("\x02\x31\x04", 3));
    QCOMPARE(c.window.datasets().count(), 1);

    for (int k = 0; k < 4; ++k) {
        c.window.ui.Option2[k]->click();
    }
    c.window.Command3_Click();
    QCOMPARE(c.next(), padded(hex("02310400000000")));

    c.window.ui.Option5[0]->click();
    c.window.ui.Option4[1]->click();
    c.window.ui.Option3[2]->click();
    c.window.ui.Option2[3]->click();
    c.window.Command3_Click();
    QCOMPARE(c.next(), padded(hex("02310403020100")));

    c.window.ui.Option3[0]->click();
    c.window.ui.Option4[1]->click();
    c.window.ui.Option5[2]->click();
    c.window.ui.Option3[3]->click();
    c.window.Command3_Click();
    QCOMPARE(c.next(), padded(hex("02310401020301")));
    QCOMPARE(c.window.history().lineAt(c.window.history().count() - 1),
             std::string("\x02\x31\x04\x01\x02\x03\x01", 7));

    // The reference run leaves the counter alone.
    c.window.Com_Refresh_Click();
    QCOMPARE(quint8(c.next()[59]), quint8(1));
}

void CommandsWireTest::zeroPointFrames() {
    OpenConsole c;
    c.window.Nullpunkt_setzen_Click();
    QCOMPARE(c.next(), padded(hex("0241000000000001")));

    struct Case {
        const char* text;
        const char* bytes;
    };
    for (const Case& steps : {Case{"1000", "E8030000"}, Case{"-1", "FFFFFFFF"},
                              Case{"2.5", "02000000"}, Case{"3.5", "04000000"}}) {
        c.window.ui.Null_x->setText(TypedDecimal(steps.text));
        c.window.Nullpunkt_setzen_Click();
        const QByteArray frame = c.next();
        QCOMPARE(frame.mid(8, 4), hex(steps.bytes));
        QCOMPARE(quint8(frame[7]), quint8(0x01));
        QCOMPARE(quint8(frame[59]), quint8(0));
    }
    c.window.ui.Null_mm_option->click();
    c.window.ui.Null_x->setText("1");
    c.window.Nullpunkt_setzen_Click();
    QByteArray frame = c.next();
    QCOMPARE(frame.mid(8, 4), hex("0000803F"));
    QCOMPARE(quint8(frame[7]), quint8(0x00));
    c.window.ui.Null_x->setText("0");
    c.window.Nullpunkt_setzen_Click();
    QCOMPARE(c.next().mid(8, 4), hex("00000000"));
    // Zero-point frames advance the counter without carrying it.
    QCOMPARE(c.window.channel().frame_counter(), std::uint8_t(7));
}

void CommandsWireTest::auxiliaryAndModeFrames() {
    OpenConsole c;
    c.window.Zusatzsignale_schalten_Click();
    QCOMPARE(c.next(), padded(hex("022100")));
    c.window.ui.spindel_check->setChecked(true);
    c.window.Zusatzsignale_schalten_Click();
    QCOMPARE(c.next(), padded(hex("022101")));
    c.window.ui.spindel_check->setChecked(false);
    c.window.ui.cool_check->setChecked(true);
    c.window.Zusatzsignale_schalten_Click();
    QCOMPARE(c.next(), padded(hex("022102")));
    c.window.ui.spindel_check->setChecked(true);
    c.window.ui.Zusatzsignale_schalten->click();
    QCOMPARE(c.next(), padded(hex("022103")));
    QCOMPARE(QByteArray::fromStdString(c.window.history().lineAt(3)),
             QByteArray("022103") + QByteArray(122, '0'));

    c.window.ui.Modechange->click();
    QCOMPARE(c.next(), padded(hex("000101")));
    c.window.Modechange_Click();
    QCOMPARE(c.next(), padded(hex("000101")));
    c.window.ui.to_mode_2->click();
    c.window.Modechange_Click();
    QCOMPARE(c.next(), padded(hex("000102")));
}

void CommandsWireTest::statusRequestsCarryTheCounter() {
    OpenConsole c;
    c.window.ui.Com_Refresh->click();
    QCOMPARE(c.next(), QByteArray(64, '\0'));
    QCOMPARE(c.window.history().lineAt(0), std::string(128, '0'));
    c.window.Com_Refresh_Click();
    QCOMPARE(quint8(c.next()[59]), quint8(1));
    c.window.Modechange_Click();
    c.next();
    c.window.Com_Refresh_Click();
    QCOMPARE(quint8(c.next()[59]), quint8(3));
    c.window.Command3_Click();
    c.next();
    c.window.Com_Refresh_Click();
    QCOMPARE(quint8(c.next()[59]), quint8(4));
}

void CommandsWireTest::autorefreshSendsOneRequestPerSecond() {
    OpenConsole c;
    QVERIFY(c.window.ui.check_autorefresh->isEnabled());
    c.window.ui.check_autorefresh->click();
    QVERIFY(c.window.Statem_timer.isActive());
    QElapsedTimer clock;
    clock.start();
    QByteArray first = c.peer.read(64, 1500);
    QCOMPARE(first.size(), 64);
    QByteArray second = c.peer.read(64, 1500);
    QCOMPARE(second.size(), 64);
    QVERIFY(clock.elapsed() >= 1800);
    QCOMPARE(quint8(second[59]), quint8(first[59] + 1));
    c.window.ui.check_autorefresh->click();
    QVERIFY(!c.window.Statem_timer.isActive());
    QCOMPARE(c.peer.drain(1200), QByteArray());
}

void CommandsWireTest::keysOnAButtonSendTextBoxesDoNot() {
    OpenConsole c;
    c.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&c.window));
    c.window.ui.Com_Refresh->setFocus();
    QTest::keyClick(c.window.ui.Com_Refresh, 'x');
    QCOMPARE(quint8(c.next()[1]), quint8(0x11));
    QTest::keyClick(c.window.ui.Com_Refresh, 'y');
    QCOMPARE(quint8(c.next()[1]), quint8(0x11));
    QTest::keyClick(c.window.ui.Com_Refresh, 'z');
    QCOMPARE(quint8(c.next()[1]), quint8(0x12));
    QTest::keyClick(c.window.ui.Com_Refresh, 'c');
    QCOMPARE(quint8(c.next()[1]), quint8(0x12));

    c.window.ui.Null_x->setFocus();
    QTest::keyClicks(c.window.ui.Null_x, "xyzc");
    QCOMPARE(c.peer.drain(150), QByteArray());
}

QTEST_MAIN(CommandsWireTest)
#include "commands_wire_test.moc"
