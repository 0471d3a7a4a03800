// The real console against the real controller simulator, over the
// pseudo-terminal the simulator opens: what the operator clicks goes out as
// frames, the simulator acts on them, and its status frames come back to the
// status panel. Neither side's frame code is shared with the other, so an
// offset, byte-order or unit fault on either side shows up here.

#include "history_model.h"
#include "lamp.h"
#include "main_frm.h"
#include "port_set.h"
#include "simulator_process.h"
#include "typed_decimal.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <array>
#include <optional>

namespace {

constexpr std::uint32_t kRed = 255;
constexpr std::uint32_t kGreen = 65280;
constexpr std::uint32_t kYellow = 65535;

// Slow enough that a status request every few tens of milliseconds catches
// the axes between points: the start-up square (350 steps of path) takes
// 0.875 s at this speed.
const QStringList kSlowAxes = {"--speed", "400"};
const QStringList kFastAxes = {"--speed", "20000"};

constexpr int kAnswerTimeoutMs = 2000;
constexpr int kMotionTimeoutMs = 6000;
constexpr int kPollIntervalMs = 25;

struct Position {
    int first = 0;
    int second = 0;
    bool operator==(const Position& other) const {
        return first == other.first && second == other.second;
    }
    bool operator!=(const Position& other) const { return !(*this == other); }
};

char* toString(const Position& p) {
    return QTest::toString(QString("(%1, %2)").arg(p.first).arg(p.second));
}

struct ConsoleOnSimulator {
    SimulatorProcess simulator;
    Main_frm window;

    explicit ConsoleOnSimulator(const QStringList& arguments = kSlowAxes) : simulator(arguments) {
        if (simulator.isReady()) {
            window.presetPort(simulator.devicePath());
            window.Command1_Click();
        }
    }

    bool isOpen() const { return window.MSComm1.isOpen(); }
    QString problem() const {
        return simulator.isReady() ? window.statusMessage() : simulator.problem();
    }

    // One "Refresh Status" click; true once its answer is on the display
    // (shown now rather than at the next screen refresh).
    bool refresh() {
        const int before = window.history().count();
        window.Com_Refresh_Click();
        if (window.history().count() != before + 1) {
            return false;
        }
        const bool answered = QTest::qWaitFor(
            [&] { return window.history().count() >= before + 2; }, kAnswerTimeoutMs);
        window.showPendingDisplay();
        return answered;
    }

    static int number(const QLabel* label) { return label->text().toInt(); }
    Position xy() const { return {number(window.ui.Label_posx), number(window.ui.Label_posy)}; }
    Position zc() const { return {number(window.ui.Label_posz), number(window.ui.Label_posc)}; }
    int fillPercent() const { return window.ui.Pufferfüllstand->value(); }
    std::array<Lamp*, 4> endLamps() const {
        return {window.ui.Label_endx, window.ui.Label_endy, window.ui.Label_endz,
                window.ui.Label_endc};
    }
    std::array<int, 4> positions() const {
        return {number(window.ui.Label_posx), number(window.ui.Label_posy),
                number(window.ui.Label_posz), number(window.ui.Label_posc)};
    }
};

// How far along the start-up square a pair of positions is, in steps of path
// from the origin: the run from (0, 0) to (50, 50), then the edges to
// (-50, 50), (-50, -50) and (50, -50). Nothing when the point is off the path.
std::optional<int> distanceAlongSquare(Position p) {
    const auto within = [](int v) { return v >= -50 && v <= 50; };
    if (p.first == p.second && p.first >= 0 && p.first <= 50) {
        return p.first;
    }
    if (p.second == 50 && within(p.first)) {
        return 50 + (50 - p.first);
    }
    if (p.first == -50 && within(p.second)) {
        return 150 + (50 - p.second);
    }
    if (p.second == -50 && within(p.first)) {
        return 250 + (p.first + 50);
    }
    return std::nullopt;
}

constexpr int kSquareLength = 350;

const char* kFirstAnswerLine = "IN < 0100 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 "
                               "0000 0001 0000 0000  t- ";

} // namespace

Q_DECLARE_METATYPE(Position)

class ConsoleAgainstSimulatorTest : public QObject {
    Q_OBJECT
private slots:
    void openAndRefreshShowTheControllersState();
    void openThroughTheSimulatorsFixedLink();
    void squareMoveShowsTheAxesMovingToTheLastPoint_data();
    void squareMoveShowsTheAxesMovingToTheLastPoint();
    void millimetreMoveUsesTheStepsPerMillimetreFactor_data();
    void millimetreMoveUsesTheStepsPerMillimetreFactor();
    void zeroPointShowsInTheNextStatus_data();
    void zeroPointShowsInTheNextStatus();
    void spindleAndCoolingLamps_data();
    void spindleAndCoolingLamps();
    void modeChangeShowsInTheNextStatus();
    void referenceRunShowsEachEndSwitchInTurn_data();
    void referenceRunShowsEachEndSwitchInTurn();
    void garbageSetsTheErrorCodeAndTheControllerKeepsAnswering_data();
    void garbageSetsTheErrorCodeAndTheControllerKeepsAnswering();
};

void ConsoleAgainstSimulatorTest::openAndRefreshShowTheControllersState() {
    ConsoleOnSimulator c;
    QVERIFY2(c.isOpen(), qPrintable(c.problem()));
    QVERIFY(c.window.ui.Command2->isEnabled());
    QCOMPARE(c.window.ui.Label3->colourValue(), kYellow);

    QVERIFY(c.refresh());
    QCOMPARE(c.window.history().lineAt(0), std::string(128, '0'));
    const QString answer = QString::fromStdString(c.window.history().lineAt(1));
    QVERIFY2(answer.startsWith(kFirstAnswerLine), qPrintable(answer));
    QCOMPARE(c.window.datasets().count(), 2);

    QCOMPARE(c.window.ui.Label_mode->text(), QString("1"));
    QCOMPARE(c.window.ui.Label_errcode->text(), QString("0"));
    QCOMPARE(c.window.ui.Label_framectr->text(), QString("1"));
    QCOMPARE(c.positions(), (std::array<int, 4>{0, 0, 0, 0}));
    QCOMPARE(c.fillPercent(), 0);
    QCOMPARE(c.window.ui.label_bufferfill_prozent->text(), QString(" 0 %"));
    for (Lamp* lamp : c.endLamps()) {
        QCOMPARE(lamp->colourValue(), kGreen);
    }
    QCOMPARE(c.window.ui.Label_emergency->colourValue(), kGreen);
    for (Lamp* lamp : {c.window.ui.Label_spindel, c.window.ui.Label_cool, c.window.ui.Label_boost,
                       c.window.ui.Label_sleep}) {
        QCOMPARE(lamp->colourValue(), kRed);
    }

    // The controller counts every frame it receives.
    QVERIFY(c.refresh());
    QCOMPARE(c.window.ui.Label_framectr->text(), QString("2"));
}

void ConsoleAgainstSimulatorTest::openThroughTheSimulatorsFixedLink() {
    // Operators point the console at a fixed name (--link) rather than at the
    // pseudo-terminal's number, which changes from run to run.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString link = folder.filePath("kelmora-tty");
    SimulatorProcess simulator({"--link", link});
    QVERIFY2(simulator.isReady(), qPrintable(simulator.problem()));
    QCOMPARE(QFileInfo(link).symLinkTarget(), simulator.devicePath());

    Main_frm window;
    window.presetPort(link);
    window.Command1_Click();
    QVERIFY2(window.MSComm1.isOpen(), qPrintable(window.statusMessage()));
    window.Com_Refresh_Click();
    QTRY_COMPARE_WITH_TIMEOUT(window.history().count(), 2, kAnswerTimeoutMs);
    window.showPendingDisplay();
    QCOMPARE(window.ui.Label_framectr->text(), QString("1"));
}

void ConsoleAgainstSimulatorTest::squareMoveShowsTheAxesMovingToTheLastPoint_data() {
    QTest::addColumn<bool>("zc");
    QTest::newRow("Drive X / Y") << false;
    QTest::newRow("Drive Z / C") << true;
}

void ConsoleAgainstSimulatorTest::squareMoveShowsTheAxesMovingToTheLastPoint() {
    QFETCH(bool, zc);
    ConsoleOnSimulator c;
    QVERIFY2(c.isOpen(), qPrintable(c.problem()));

    (zc ? c.window.ui.com_move_zc : c.window.ui.com_move_xy)->click();
    const Position lastPoint{50, -50};
    QList<int> distances;
    QList<int> fills;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QVERIFY(c.refresh());
        const Position moving = zc ? c.zc() : c.xy();
        const Position resting = zc ? c.xy() : c.zc();
        QCOMPARE(resting, Position{});
        const auto distance = distanceAlongSquare(moving);
        QVERIFY2(
            distance,
            qPrintable(QString("(%1, %2) is off the square").arg(moving.first).arg(moving.second)));
        distances.push_back(*distance);
        fills.push_back(c.fillPercent());
        if (moving == lastPoint && c.fillPercent() == 0) {
            break;
        }
        QVERIFY2(clock.elapsed() < kMotionTimeoutMs, "the axes never reached the last point");
        QTest::qWait(kPollIntervalMs);
    }

    QCOMPARE(distances.back(), kSquareLength);
    int between = 0;
    for (qsizetype i = 1; i < distances.size(); ++i) {
        QVERIFY2(distances[i] >= distances[i - 1], "the axes went back along the square");
        QVERIFY2(fills[i] <= fills[i - 1], "the fill level rose without a new frame");
        if (distances[i] > 0 && distances[i] < kSquareLength && distances[i] != distances[i - 1]) {
            ++between;
        }
    }
    QVERIFY2(between >= 3, "fewer than three positions seen between start and last point");
    // Four points queued, two percent each, while the first one is under way.
    QVERIFY(fills.front() > 0 && fills.front() <= 8);
}

void ConsoleAgainstSimulatorTest::millimetreMoveUsesTheStepsPerMillimetreFactor_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Position>("expected");
    QTest::newRow("default 100 steps/mm") << kSlowAxes << Position{50, -25};
    QTest::newRow("--steps-per-mm 80") << QStringList{"--steps-per-mm", "80"} << Position{40, -20};
}

void ConsoleAgainstSimulatorTest::millimetreMoveUsesTheStepsPerMillimetreFactor() {
    QFETCH(QStringList, arguments);
    QFETCH(Position, expected);
    ConsoleOnSimulator c(arguments);
    QVERIFY2(c.isOpen(), qPrintable(c.problem()));
    c.window.ui.Option1[1]->click();
    c.window.ui.num_coord->setText("1");
    c.window.ui.v_end->setText("1");
    c.window.ui.x_z[0]->setText(TypedDecimal("0.5"));
    c.window.ui.y_c[0]->setText(TypedDecimal("-0.25"));
    c.window.com_move_xy_Click();
    QTRY_VERIFY_WITH_TIMEOUT(c.refresh() && c.xy() == expected && c.fillPercent() == 0,
                             kMotionTimeoutMs);
    QCOMPARE(c.window.ui.Label_errcode->text(), QString("0"));
}

void ConsoleAgainstSimulatorTest::zeroPointShowsInTheNextStatus_data() {
    QTest::addColumn<bool>("millimetres");
    QTest::addColumn<QStringList>("values"); // x, y, z, c, typed in this desktop's separator
    QTest::addColumn<QList<int>>("steps");
    QTest::newRow("steps") << false << QStringList{"1000", "-2000", "300", "-4"}
                           << QList<int>{1000, -2000, 300, -4};
    QTest::newRow("largest steps") << false << QStringList{"2147483647", "-2147483648", "0", "1"}
                                   << QList<int>{2147483647, -2147483647 - 1, 0, 1};
    QTest::newRow("millimetres") << true << QStringList{"1.5", "-2", "0.01", "100"}
                                 << QList<int>{150, -200, 1, 10000};
}

void ConsoleAgainstSimulatorTest::zeroPointShowsInTheNextStatus() {
    QFETCH(bool, millimetres);
    QFETCH(QStringList, values);
    QFETCH(QList<int>, steps);
    ConsoleOnSimulator c;
    QVERIFY2(c.isOpen(), qPrintable(c.problem()));
    (millimetres ? c.window.ui.Null_mm_option : c.window.ui.null_step_option)->click();
    c.window.ui.Null_x->setText(TypedDecimal(values[0]));
    c.window.ui.Null_y->setText(TypedDecimal(values[1]));
    c.window.ui.Null_z->setText(TypedDecimal(values[2]));
    c.window.ui.Null_c->setText(TypedDecimal(values[3]));
    c.window.ui.Nullpunkt_setzen->click();
    QVERIFY(c.refresh());
    QCOMPARE(c.positions(), (std::array<int, 4>{steps[0], steps[1], steps[2], steps[3]}));
    QCOMPARE(c.window.ui.Label_errcode->text(), QString("0"));
    QCOMPARE(c.window.ui.Label_framectr->text(), QString("2"));
}

void ConsoleAgainstSimulatorTest::spindleAndCoolingLamps_data() {
    QTest::addColumn<bool>("spindle");
    QTest::addColumn<bool>("cooling");
    QTest::addColumn<std::uint32_t>("spindleLamp");
    QTest::addColumn<std::uint32_t>("coolingLamp");
    QTest::newRow("spindle on") << true << false << kGreen << kRed;
    QTest::newRow("cooling on") << false << true << kRed << kGreen;
    QTest::newRow("both on") << true << true << kGreen << kGreen;
    QTest::newRow("both off") << false << false << kRed << kRed;
}

void ConsoleAgainstSimulatorTest::spindleAndCoolingLamps() {
    QFETCH(bool, spindle);
    QFETCH(bool, cooling);
    QFETCH(std::uint32_t, spindleLamp);
    QFETCH(std::uint32_t, coolingLamp);
    ConsoleOnSimulator c;
    QVERIFY2(c.isOpen(), qPrintable(c.problem()));
    // Both on first, so "off" is a change the controller has to make.
    c.window.ui.spindel_check->setChecked(true);
    c.window.ui.cool_check->setChecked(true);
    c.window.ui.Zusatzsignale_schalten->click();
    c.window.ui.spindel_check->setChecked(spindle);
    c.window.ui.cool_check->setChecked(cooling);
    c.window.ui.Zusatzsignale_schalten->click();
    QVERIFY(c.refresh());
    QCOMPARE(c.window.ui.Label_spindel->colourValue(), spindleLamp);
    QCOMPARE(c.window.ui.Label_cool->colourValue(), coolingLamp);
    QCOMPARE(c.window.ui.Label_boost->colourValue(), kRed);
    QCOMPARE(c.window.ui.Label_sleep->colourValue(), kRed);
}

void ConsoleAgainstSimulatorTest::modeChangeShowsInTheNextStatus() {
    ConsoleOnSimulator c;
    QVERIFY2(c.isOpen(), qPrintable(c.problem()));
    c.window.ui.to_mode_2->click();
    c.window.ui.Modechange->click();
    QVERIFY(c.refresh());
    QCOMPARE(c.window.ui.Label_mode->text(), QString("2"));
    c.window.ui.to_mode_1->click();
    c.window.ui.Modechange->click();
    QVERIFY(c.refresh());
    QCOMPARE(c.window.ui.Label_mode->text(), QString("1"));
    QCOMPARE(c.window.ui.Label_errcode->text(), QString("0"));
}

void ConsoleAgainstSimulatorTest::referenceRunShowsEachEndSwitchInTurn_data() {
    QTest::addColumn<QList<int>>("order"); // axis of steps 1 to 4: x 0, y 1, z 2, c 3
    QTest::newRow("x y z c (start-up)") << QList<int>{0, 1, 2, 3};
    QTest::newRow("c z y x") << QList<int>{3, 2, 1, 0};
    QTest::newRow("y c x z") << QList<int>{1, 3, 0, 2};
}

void ConsoleAgainstSimulatorTest::referenceRunShowsEachEndSwitchInTurn() {
    QFETCH(QList<int>, order);
    ConsoleOnSimulator c;
    QVERIFY2(c.isOpen(), qPrintable(c.problem()));
    constexpr int kStart = 20; // steps from the reference: 50 ms at the simulator's speed
    for (QLineEdit* box :
         {c.window.ui.Null_x, c.window.ui.Null_y, c.window.ui.Null_z, c.window.ui.Null_c}) {
        box->setText(QString::number(kStart));
    }
    c.window.Nullpunkt_setzen_Click();

    const std::array<std::array<QRadioButton*, 4>*, 4> columns = {
        &c.window.ui.Option2, &c.window.ui.Option3, &c.window.ui.Option4, &c.window.ui.Option5};
    for (int step = 0; step < 4; ++step) {
        (*columns[order[step]])[step]->click();
    }
    c.window.ui.Command3->click();

    // The axes whose end switch lamps lit, in the order they lit.
    QList<int> seen;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QVERIFY(c.refresh());
        const auto lamps = c.endLamps();
        const auto positions = c.positions();
        QList<int> red;
        for (int axis = 0; axis < 4; ++axis) {
            if (lamps[axis]->colourValue() == kRed) {
                red.push_back(axis);
            }
        }
        QVERIFY2(red.size() <= 1, "two end switches at once");
        if (red.size() == 1) {
            const int axis = red.front();
            if (seen.empty() || seen.back() != axis) {
                seen.push_back(axis);
            }
            // Axes earlier in the order are home, later ones have not moved.
            const auto step = std::find(order.begin(), order.end(), axis) - order.begin();
            for (int later = 0; later < 4; ++later) {
                const int expected = later <= step ? 0 : kStart;
                QCOMPARE(positions[order[later]], expected);
            }
        }
        if (positions == std::array<int, 4>{} && red.empty() && c.fillPercent() == 0) {
            break;
        }
        QVERIFY2(clock.elapsed() < kMotionTimeoutMs, "the reference run never finished");
        QTest::qWait(kPollIntervalMs);
    }
    QCOMPARE(seen, order);
    QCOMPARE(c.window.ui.Label_errcode->text(), QString("0"));
}

void ConsoleAgainstSimulatorTest::garbageSetsTheErrorCodeAndTheControllerKeepsAnswering_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("errorCode");
    QTest::newRow("64 bytes of EE") << QByteArray(64, char(0xEE)) << "1";
    QByteArray badUnits = QByteArray::fromHex("021100000000010532000000");
    badUnits.append(QByteArray(64 - badUnits.size(), '\0'));
    QTest::newRow("move in unknown units") << badUnits << "2";
    QByteArray badMode = QByteArray::fromHex("000107");
    badMode.append(QByteArray(64 - badMode.size(), '\0'));
    QTest::newRow("mode 7") << badMode << "3";
}

void ConsoleAgainstSimulatorTest::garbageSetsTheErrorCodeAndTheControllerKeepsAnswering() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, errorCode);
    ConsoleOnSimulator c(kFastAxes);
    QVERIFY2(c.isOpen(), qPrintable(c.problem()));
    QCOMPARE(c.window.MSComm1.output(frame), qint64(64));
    QVERIFY(c.refresh());
    QCOMPARE(c.window.ui.Label_errcode->text(), errorCode);
    QCOMPARE(c.window.ui.Label_framectr->text(), QString("2"));
    QCOMPARE(c.window.ui.Label_mode->text(), QString("1"));

    // It keeps answering, keeps the code through good frames, and moves.
    c.window.com_move_xy_Click();
    QTRY_VERIFY_WITH_TIMEOUT(c.refresh() && c.xy() == (Position{50, -50}) && c.fillPercent() == 0,
                             kMotionTimeoutMs);
    QCOMPARE(c.window.ui.Label_errcode->text(), errorCode);

    // A mode change acknowledges the fault.
    c.window.Modechange_Click();
    QVERIFY(c.refresh());
    QCOMPARE(c.window.ui.Label_errcode->text(), QString("0"));
}

QTEST_MAIN(ConsoleAgainstSimulatorTest)
#include "console_against_simulator_test.moc"
