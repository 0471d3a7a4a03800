// Every numeric box of every command against the texts an operator can get
// wrong. Where the conversion must refuse, the command stops: nothing on the
// line, nothing in the history or the dataset lists, the frame counter kept,
// the text left as typed, the box marked and named in the status bar. Where
// the text is a number the box can hold (a big integer read as a single in
// millimetre mode), the frame goes out with that value.

#include "history_model.h"
#include "main_frm.h"
#include "port_set.h"
#include "pty_peer.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QStatusBar>
#include <QtTest>

#include <memory>

namespace {

enum Command { DriveXY, DriveZC, ZeroPoint };
enum UnitChoice { Steps, Millimetres };

struct Box {
    QString name;
    QString label; // what the status bar calls it
    int offset;    // its field in the frame
    bool isPointCount;
};

QList<Box> moveBoxes() {
    QList<Box> boxes{{"v_end", "V - end", 2, false},
                     {"num_coord", "Number of Coordinates", 6, true}};
    for (int n = 1; n <= 6; ++n) {
        boxes.append(
            {QString("x_z_%1").arg(n), QString("X / Z %1").arg(n), 8 + 8 * (n - 1), false});
        boxes.append(
            {QString("y_c_%1").arg(n), QString("Y / C %1").arg(n), 12 + 8 * (n - 1), false});
    }
    return boxes;
}

QList<Box> zeroPointBoxes() {
    return {{"Null_x", "Zero x", 8, false},
            {"Null_y", "Zero y", 12, false},
            {"Null_z", "Zero z", 16, false},
            {"Null_c", "Zero c", 20, false}};
}

struct BadText {
    QString name;
    QString text;
    bool pointCountOnly = false;
    // The field's bytes when a millimetre box takes the text as a single;
    // empty where every box must refuse it.
    QByteArray asSingle;
};

QList<BadText> badTexts(QChar decimalPoint) {
    const QChar other = decimalPoint == '.' ? QChar(',') : QChar('.');
    return {
        {"empty", "", false, {}},
        {"blanks", "   ", false, {}},
        {"letters", "abc", false, {}},
        {"1e40", "1e40", false, {}},
        {"-1e40", "-1e40", false, {}},
        {"nan", "nan", false, {}},
        {"inf", "inf", false, {}},
        {"other decimal separator", QString("2") + other + "5", false, {}},
        {"digit groups", QString("1") + other + "000", false, {}},
        {"blank digit groups", "1 000", false, {}},
        // 2^31 and -(2^31 + 1): beyond a 32-bit integer, ordinary singles
        // (2^31 and -2^31 once rounded).
        {"2147483648", "2147483648", false, QByteArray::fromHex("0000004F")},
        {"-2147483649", "-2147483649", false, QByteArray::fromHex("000000CF")},
        {"256", "256", true, {}},
        {"100000 digits", QString(100000, '9'), false, {}},
    };
}

QString commandName(int command) {
    switch (command) {
    case DriveXY:
        return "Drive X / Y";
    case DriveZC:
        return "Drive Z / C";
    default:
        return "Zero point";
    }
}

} // namespace

class BadInputMatrixTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyBoxAgainstBadTexts_data();
    void everyBoxAgainstBadTexts();
    void cleanupTestCase();

private:
    void choose(int command, int units);
    void click(int command);

    std::unique_ptr<PtyPeer> peer_;
    std::unique_ptr<Main_frm> window_;
};

void BadInputMatrixTest::initTestCase() {
    peer_ = std::make_unique<PtyPeer>();
    QVERIFY(peer_->isValid());
    window_ = std::make_unique<Main_frm>();
    window_->presetPort(peer_->devicePath());
    window_->Command1_Click();
    QVERIFY2(window_->MSComm1.isOpen(), qPrintable(window_->statusMessage()));
}

void BadInputMatrixTest::everyBoxAgainstBadTexts_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("units");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("accepted"); // empty: must be refused

    // The console reads numbers with the separator of its own locale.
    const QString point = Main_frm().locale().decimalPoint();
    QVERIFY(point.size() == 1);
    const QList<BadText> texts = badTexts(point.at(0));

    int cases = 0;
    const auto addRows = [&](int command, int units, const QList<Box>& boxes) {
        for (const Box& box : boxes) {
            for (const BadText& bad : texts) {
                if (bad.pointCountOnly && !box.isPointCount) {
                    continue;
                }
                const QByteArray accepted =
                    units == Millimetres && !box.isPointCount ? bad.asSingle : QByteArray();
                const QString row = QString("%1, %2, %3, %4")
                                        .arg(commandName(command), units == Steps ? "steps" : "mm",
                                             box.name, bad.name);
                QTest::newRow(qPrintable(row)) << command << units << box.name << box.label
                                               << box.offset << bad.text << accepted;
                ++cases;
            }
        }
    };
    for (int command : {DriveXY, DriveZC}) {
        for (int units : {Steps, Millimetres}) {
            addRows(command, units, moveBoxes());
        }
    }
    for (int units : {Steps, Millimetres}) {
        addRows(ZeroPoint, units, zeroPointBoxes());
    }
    qInfo("bad-input matrix: %d cases", cases);
}

void BadInputMatrixTest::choose(int command, int units) {
    Main_frm& w = *window_;
    if (command == ZeroPoint) {
        (units == Steps ? w.ui.null_step_option : w.ui.Null_mm_option)->setChecked(true);
    } else {
        w.ui.Option1[units == Steps ? 0 : 1]->setChecked(true);
    }
}

void BadInputMatrixTest::click(int command) {
    Main_frm& w = *window_;
    switch (command) {
    case DriveXY:
        w.com_move_xy_Click();
        break;
    case DriveZC:
        w.com_move_zc_Click();
        break;
    default:
        w.Nullpunkt_setzen_Click();
        break;
    }
}

void BadInputMatrixTest::everyBoxAgainstBadTexts() {
    QFETCH(int, command);
    QFETCH(int, units);
    QFETCH(QString, box);
    QFETCH(QString, label);
    QFETCH(int, offset);
    QFETCH(QString, text);
    QFETCH(QByteArray, accepted);

    Main_frm& w = *window_;
    auto* edit = w.findChild<QLineEdit*>(box);
    QVERIFY2(edit != nullptr, qPrintable(box));
    const QString original = edit->text();
    choose(command, units);
    edit->setText(text);
    edit->setProperty("inputError", false);
    const QString typed = edit->text(); // a box holds at most maxLength() characters
    QVERIFY(text.startsWith(typed));

    const int historyBefore = w.history().count();
    const int datasetsBefore = w.datasets().count();
    const std::uint8_t counterBefore = w.channel().frame_counter();
    w.statusBar()->clearMessage();

    click(command);

    if (accepted.isEmpty()) {
        QCOMPARE(peer_->drain(2).size(), 0);
        QCOMPARE(w.history().count(), historyBefore);
        QCOMPARE(w.datasets().count(), datasetsBefore);
        QCOMPARE(w.channel().frame_counter(), counterBefore);
        QCOMPARE(edit->text(), typed);
        QVERIFY(edit->property("inputError").toBool());
        QVERIFY2(w.statusMessage().startsWith(label + ": "),
                 qPrintable(w.statusMessage().left(200)));
    } else {
        const QByteArray frame = peer_->read(64);
        QCOMPARE(frame.size(), 64);
        QCOMPARE(frame.mid(offset, 4).toHex(), accepted.toHex());
        QCOMPARE(w.history().count(), historyBefore + 1);
        QCOMPARE(w.channel().frame_counter(), std::uint8_t(counterBefore + 1));
        QVERIFY(!edit->property("inputError").toBool());
    }

    edit->setText(original);
    edit->setProperty("inputError", false);
    choose(command, Steps);
}

void BadInputMatrixTest::cleanupTestCase() {
    // After every refusal the line holds nothing stray: the next good
    // command is the next frame on it.
    Main_frm& w = *window_;
    const std::uint8_t counter = w.channel().frame_counter();
    w.Com_Refresh_Click();
    const QByteArray frame = peer_->read(64);
    QCOMPARE(frame.size(), 64);
    QCOMPARE(std::uint8_t(frame[59]), counter);
    QCOMPARE(frame.left(59), QByteArray(59, '\0'));
    window_.reset();
    peer_.reset();
}

QTEST_MAIN(BadInputMatrixTest)
#include "bad_input_matrix_test.moc"
