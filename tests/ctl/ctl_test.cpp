// kelmora-ctl as a script runs it: the real program against the real
// controller simulator, and against the console, on pseudo-terminals.

#include "command_frames.h"
#include "frames/command_channel.h"
#include "main_frm.h"
#include "port_holder.h"
#include "pty_peer.h"
#include "simulator_process.h"
#include "typed_decimal.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>

namespace {

struct CtlRun {
    int exit = -1;
    QByteArray out;
    QByteArray err;
};

CtlRun RunProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

CtlRun RunCtl(const QStringList& arguments) {
    return RunProgram(QStringLiteral(KELMORA_CTL_PATH), arguments);
}

QString WriteJob(const QTemporaryDir& dir, const QString& text) {
    const QString path = dir.filePath(QStringLiteral("job.txt"));
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(text.toUtf8());
    return path;
}

using ConsoleAction = std::function<void(Main_frm&)>;

void SetTexts(const std::vector<std::pair<QLineEdit*, const char*>>& boxes) {
    for (const auto& [box, text] : boxes) {
        box->setText(TypedDecimal(QString::fromLatin1(text)));
    }
}

// Each row: the words kelmora-ctl takes, and the same inputs given to the
// console's boxes and buttons.
const std::vector<std::pair<QString, ConsoleAction>>& CommandTable() {
    static const std::vector<std::pair<QString, ConsoleAction>> table{
        {"status", [](Main_frm& w) { w.Com_Refresh_Click(); }},
        {"drive xy --point 50 50 --point -50 50 --point -50 -50 --point 50 -50",
         [](Main_frm& w) { w.com_move_xy_Click(); }},
        {"drive zc --units mm --point 1.5 -2.25 --point 1e3 0.1 --end-velocity 10.5 --count 9 "
         "--ramp 11000100",
         [](Main_frm& w) {
             w.ui.Option1[1]->click();
             SetTexts({{w.ui.x_z[0], "1.5"},
                       {w.ui.y_c[0], "-2.25"},
                       {w.ui.x_z[1], "1e3"},
                       {w.ui.y_c[1], "0.1"},
                       {w.ui.x_z[2], "0"},
                       {w.ui.y_c[2], "0"},
                       {w.ui.x_z[3], "0"},
                       {w.ui.y_c[3], "0"},
                       {w.ui.v_end, "10.5"},
                       {w.ui.num_coord, "9"}});
             w.ui.Check1[7]->setChecked(true);
             w.ui.Check1[6]->setChecked(true);
             w.ui.Check1[2]->setChecked(true);
             w.com_move_zc_Click();
         }},
        {"zero-point --x 10 --y -20 --z 2.5 --c 2147483647",
         [](Main_frm& w) {
             w.ui.null_step_option->click();
             SetTexts({{w.ui.Null_x, "10"},
                       {w.ui.Null_y, "-20"},
                       {w.ui.Null_z, "2.5"},
                       {w.ui.Null_c, "2147483647"}});
             w.Nullpunkt_setzen_Click();
         }},
        {"zero-point --units mm --x 0.1 --c -3",
         [](Main_frm& w) {
             w.ui.Null_mm_option->click();
             SetTexts({{w.ui.Null_x, "0.1"},
                       {w.ui.Null_y, "0"},
                       {w.ui.Null_z, "0"},
                       {w.ui.Null_c, "-3"}});
             w.Nullpunkt_setzen_Click();
         }},
        {"aux --spindle on --cooling off",
         [](Main_frm& w) {
             w.ui.spindel_check->setChecked(true);
             w.ui.cool_check->setChecked(false);
             w.Zusatzsignale_schalten_Click();
         }},
        {"aux --spindle off --cooling on",
         [](Main_frm& w) {
             w.ui.spindel_check->setChecked(false);
             w.ui.cool_check->setChecked(true);
             w.Zusatzsignale_schalten_Click();
         }},
        {"mode 1",
         [](Main_frm& w) {
             w.ui.to_mode_1->click();
             w.Modechange_Click();
         }},
        {"mode 2",
         [](Main_frm& w) {
             w.ui.to_mode_2->click();
             w.Modechange_Click();
         }},
        {"reference-run czyx",
         [](Main_frm& w) {
             w.ui.Option5[0]->click();
             w.ui.Option4[1]->click();
             w.ui.Option3[2]->click();
             w.ui.Option2[3]->click();
             w.Command3_Click();
         }},
    };
    return table;
}

// The frames a console just started sends for `actions`, one after the other.
QList<QByteArray> ConsoleFrames(SimulatorProcess& sim, const std::vector<ConsoleAction>& actions) {
    QList<QByteArray> frames;
    Main_frm window;
    window.presetPort(sim.devicePath());
    window.Command1_Click();
    for (const ConsoleAction& action : actions) {
        action(window);
        frames << sim.nextLine();
    }
    window.Command2_Click();
    return frames;
}

} // namespace

class CtlTest : public QObject {
    Q_OBJECT
private slots:
    void everyCommandSendsTheConsolesFrame();
    void jobWithEveryKindRunsToItsEndAndRecordsWhatItPrinted();
    void stopsBeforeTheNextFrame();
    void badInputWritesNothing();
    void randomJobsSendTheConsolesFramesOrNothing();
    void silentControllerGivesFourWithinTheTimeout();
    void consoleAndCtlRefuseEachOther();
};

void CtlTest::everyCommandSendsTheConsolesFrame() {
    SimulatorProcess sim({"--hex"});
    QVERIFY2(sim.isReady(), qPrintable(sim.problem()));
    QTemporaryDir dir;
    QString job;
    std::vector<ConsoleAction> everyAction;
    for (const auto& [words, action] : CommandTable()) {
        // Each run starts counting at 0, as a console just started.
        const QList<QByteArray> console = ConsoleFrames(sim, {action});
        const CtlRun run = RunCtl(QStringList{"--port", sim.devicePath()} + words.split(' '));
        QVERIFY2(run.exit == 0, run.err.constData());
        QCOMPARE(sim.nextLine(), console.value(0));
        job += words + "\n";
        everyAction.push_back(action);
    }
    // A job's frames count on from one to the next.
    const QList<QByteArray> console = ConsoleFrames(sim, everyAction);
    const CtlRun run = RunCtl({"--port", sim.devicePath(), "run", WriteJob(dir, job)});
    QVERIFY2(run.exit == 0, run.err.constData());
    for (const QByteArray& frame : console) {
        QCOMPARE(sim.nextLine(), frame);
    }
}

void CtlTest::jobWithEveryKindRunsToItsEndAndRecordsWhatItPrinted() {
    SimulatorProcess sim({"--speed", "2000"});
    QVERIFY2(sim.isReady(), qPrintable(sim.problem()));
    QTemporaryDir dir;
    const QString job = WriteJob(dir, "# every kind of step\n"
                                      "mode 2\n"
                                      "zero-point --x 0 --y 0 --z 0 --c 0\n"
                                      "drive xy --point 50 50 --point 300 -20 --wait\n"
                                      "expect x == 300   # where the drive ended\n"
                                      "expect y <= -20\n"
                                      "drive zc --units mm --point 0.5 1\n"
                                      "wait idle 10s\n"
                                      "expect z == 50\n"
                                      "aux --spindle on --cooling on\n"
                                      "wait 50ms\n"
                                      "expect cooling == on\n"
                                      "reference-run xyzc --wait\n"
                                      "status\n"
                                      "expect mode == 2\n"
                                      "expect error == 0\n");
    const QString capture = dir.filePath("job.pcapng");
    const CtlRun run =
        RunCtl({"--port", sim.devicePath(), "--csv", "--record", capture, "run", job});
    QVERIFY2(run.exit == 0, run.err.constData());
    QVERIFY(run.err.contains("line 16: expect error == 0: error is 0: as expected"));
    // The capture holds what was printed, row for row (the elapsed times
    // come from the capture's own clock).
    const CtlRun read = RunProgram(KELMORA_HISTORY_PATH, {"--csv", capture});
    QCOMPARE(read.exit, 0);
    const auto withoutElapsed = [](const QByteArray& csv) {
        QList<QByteArray> rows;
        for (const QByteArray& row : csv.trimmed().split('\n')) {
            QList<QByteArray> fields = row.split(',');
            fields[2].clear();
            const QByteArray joined = fields.join(',');
            rows << joined.left(joined.lastIndexOf(" t- "));
        }
        return rows;
    };
    QCOMPARE(withoutElapsed(read.out), withoutElapsed(run.out));
    QVERIFY(run.out.count("\n") > 20);
}

void CtlTest::stopsBeforeTheNextFrame() {
    struct Case {
        const char* job;
        int exit;
        const char* said;
        int signal;
    };
    const Case cases[] = {
        {"drive xy --point 10 10 --wait\nexpect x == 11\nmode 1\n", 5, "x is 10, not as expected",
         0},
        {"drive xy --units mm --point 1e30 0\nwait 100ms\nstatus\nmode 1\n", 5, "error code 2", 0},
        {"mode 2\nwait 5s\nmode 1\n", 130, "still carries out what it was sent", SIGINT},
        {"mode 2\nwait idle\nwait 5s\nmode 1\n", 143, "the protocol has no stop command", SIGTERM},
    };
    for (const Case& c : cases) {
        SimulatorProcess sim({"--hex"});
        QVERIFY2(sim.isReady(), qPrintable(sim.problem()));
        QTemporaryDir dir;
        QProcess ctl;
        ctl.start(KELMORA_CTL_PATH, {"--port", sim.devicePath(), "run", WriteJob(dir, c.job)});
        QVERIFY(ctl.waitForStarted());
        if (c.signal != 0) {
            sim.nextLine(); // mode 2 went out
            QTest::qWait(300);
            ::kill(static_cast<pid_t>(ctl.processId()), c.signal);
        }
        QVERIFY(ctl.waitForFinished(10000));
        QCOMPARE(ctl.exitCode(), c.exit);
        QVERIFY2(ctl.readAllStandardError().contains(c.said), c.job);
        for (const QByteArray& frame : sim.linesUntilQuiet()) {
            QVERIFY2(!frame.startsWith("000101"), c.job); // mode 1 never went out
        }
    }
}

void CtlTest::badInputWritesNothing() {
    const QStringList cases[] = {
        {"drive", "xy", "--point", "1,5", "2"},
        {"zero-point", "--x", "3000000000"},
        {"mode", "3"},
        {"--timeout", "1,5s", "status"},
        {"run", "mode 1\ndrive xy --point 1 1\nwait 2s\nexpect x == 1,0\n"},
        {"run", "status\nreference-run xyzq\n"},
        {"run", "aux --spindle on\n"},
        {"run", "mode 1\nstop\n"},
    };
    for (QStringList arguments : cases) {
        PtyPeer peer;
        QTemporaryDir dir;
        const bool isJob = arguments.first() == "run";
        if (isJob) {
            arguments.last() = WriteJob(dir, arguments.last());
        }
        const CtlRun run = RunCtl(QStringList{"--port", peer.devicePath()} + arguments);
        QCOMPARE(run.exit, 2);
        QVERIFY2(run.err.contains("nothing was sent"), run.err.constData());
        QVERIFY2(!isJob || run.err.contains("job.txt:"), run.err.constData());
        QCOMPARE(peer.drain(200), QByteArray());
    }
}

// Random jobs of drives, zero points, signals, modes and reference runs with
// good and bad values: the console's own frame builders (with the decimal
// point) are the oracle. A job with a step they refuse, or with a line that
// is no step, sends nothing and exits 2; any other sends exactly their
// frames, the counter carried on. KELMORA_CTL_SEED=N replays a run.
void CtlTest::randomJobsSendTheConsolesFramesOrNothing() {
    const quint32 seed = qEnvironmentVariableIsSet("KELMORA_CTL_SEED")
                             ? quint32(qEnvironmentVariableIntValue("KELMORA_CTL_SEED"))
                             : QRandomGenerator::global()->generate();
    qInfo("seed %u (KELMORA_CTL_SEED replays it)", seed);
    QRandomGenerator random(seed);
    const auto pick = [&](const std::vector<std::string>& from) {
        return from[random.bounded(int(from.size()))];
    };
    // Mostly numbers the console takes, now and then one it refuses.
    const auto value = [&] {
        return random.bounded(25) == 0 ? pick({"abc", "1e40", "1,5", "-2147483649", "x", "0x10"})
                                       : pick({"0", "50", "-50", "7", "2.5", "300", "1e3", "-0.5",
                                               ".5", "+3", "2147483647"});
    };
    int refused = 0;
    for (int trial = 0; trial < 60; ++trial) {
        std::string job;
        QByteArray expected;
        bool good = true;
        std::uint8_t counter = 0;
        const auto take = [&](const BuiltFrame& built) {
            good = good && built.ok();
            if (built.ok()) {
                const CommandFrame frame = FrameFromHex(built.hexText);
                expected += QByteArray(reinterpret_cast<const char*>(frame.data()), 64);
                ++counter;
            }
        };
        for (int step = 1 + int(random.bounded(4)); step > 0; --step) {
            const Units units = random.bounded(2) ? Units::Steps : Units::Millimetres;
            const std::string unitsWord = units == Units::Steps ? "steps" : "mm";
            switch (random.bounded(6)) {
            case 0: {
                MoveSetup setup;
                setup.units = units;
                const bool xy = random.bounded(2);
                job += std::string("drive ") + (xy ? "xy" : "zc") + " --units " + unitsWord;
                const int points = 1 + int(random.bounded(6));
                for (int row = 0; row < 6; ++row) {
                    setup.x_z[row] = row < points ? value() : "0";
                    setup.y_c[row] = row < points ? value() : "0";
                    if (row < points) {
                        job += " --point " + setup.x_z[row] + " " + setup.y_c[row];
                    }
                }
                setup.v_end = value();
                setup.num_coord = value();
                job +=
                    " --end-velocity " + setup.v_end + " --count " + setup.num_coord + " --ramp ";
                for (int bit = 7; bit >= 0; --bit) {
                    setup.rampChecked[bit] = random.bounded(2);
                    job += setup.rampChecked[bit] ? "1" : "0";
                }
                take(BuildMoveFrame(setup, xy ? AxisPair::XY : AxisPair::ZC, counter, '.'));
                break;
            }
            case 1: {
                const std::array<std::string, 4> zero{value(), value(), value(), value()};
                job += "zero-point --units " + unitsWord + " --x " + zero[0] + " --y " + zero[1] +
                       " --z " + zero[2] + " --c " + zero[3];
                take(BuildZeroPointFrame(units, zero, '.'));
                break;
            }
            case 2: {
                const bool spindle = random.bounded(2);
                const bool cooling = random.bounded(2);
                job += std::string("aux --spindle ") + (spindle ? "on" : "off") + " --cooling " +
                       (cooling ? "on" : "off");
                take({BuildAuxiliarySignalsFrame(spindle, cooling), std::nullopt});
                break;
            }
            case 3: {
                const std::string mode = pick({"1", "2", "3", "0"});
                job += "mode " + mode;
                good = good && (mode == "1" || mode == "2");
                take({BuildModeChangeFrame(mode == "1"), std::nullopt});
                break;
            }
            case 4: {
                std::array<Axis, 4> order{};
                std::string letters;
                for (Axis& axis : order) {
                    const int k = int(random.bounded(random.bounded(8) == 0 ? 5 : 4));
                    letters += "xyzcq"[k];
                    axis = static_cast<Axis>(k % 4);
                }
                job += "reference-run " + letters;
                good = good && letters.find('q') == std::string::npos;
                const std::string text = BuildReferenceRunFrame(order);
                expected += QByteArray(text.data(), 64);
                break;
            }
            default: {
                const std::string line = pick({"# a comment", "", "stop", "drive xz --point 1 1"});
                job += line;
                good = good && (line.empty() || line[0] == '#');
                break;
            }
            }
            job += "\n";
        }
        good = good && !expected.isEmpty(); // a job of no step is refused too
        PtyPeer peer;
        QTemporaryDir dir;
        const CtlRun run = RunCtl(
            {"--port", peer.devicePath(), "run", WriteJob(dir, QString::fromStdString(job))});
        const QByteArray written = peer.drain(20); // the program has ended
        QVERIFY2(run.exit == (good ? 0 : 2), qPrintable(QString::fromStdString(job) + run.err));
        if (run.exit == 2) {
            ++refused;
            QVERIFY2(written.isEmpty(), qPrintable(QString::fromStdString(job)));
        } else {
            QCOMPARE(written.toHex(), expected.toHex());
        }
    }
    qInfo("%d of 60 jobs refused whole", refused);
}

void CtlTest::silentControllerGivesFourWithinTheTimeout() {
    PtyPeer peer;
    QElapsedTimer clock;
    clock.start();
    const CtlRun run = RunCtl({"--port", peer.devicePath(), "--timeout", "300ms", "status"});
    QCOMPARE(run.exit, 4);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(run.err.contains("no answer from the controller within 0.3 s"));
    QCOMPARE(peer.read(64), QByteArray(64, '\0'));
}

void CtlTest::consoleAndCtlRefuseEachOther() {
    PtyPeer peer;
    {
        Main_frm console;
        console.presetPort(peer.devicePath());
        console.Command1_Click();
        QVERIFY(console.MSComm1.isOpen());
        const CtlRun run = RunCtl({"--port", peer.devicePath(), "status"});
        QCOMPARE(run.exit, 3);
        QVERIFY2(run.err.contains(QStringLiteral("in use by %1 (process %2)")
                                      .arg(QCoreApplication::applicationName())
                                      .arg(QCoreApplication::applicationPid())
                                      .toUtf8()),
                 run.err.constData());
    }
    QProcess watcher;
    watcher.start(KELMORA_CTL_PATH, {"--port", peer.devicePath(), "watch", "--stream"});
    QVERIFY(watcher.waitForStarted());
    Main_frm console;
    console.presetPort(peer.devicePath());
    const QString heldBy =
        QStringLiteral("in use by kelmora-ctl (process %1)").arg(watcher.processId());
    // The console tries once kelmora-ctl has the port, else it would win it.
    QTRY_VERIFY_WITH_TIMEOUT(
        FindPortHolder(peer.devicePath()).value_or(PortHolder{}).pid == watcher.processId(), 5000);
    console.Command1_Click();
    QVERIFY2(console.statusMessage().contains(heldBy), qPrintable(console.statusMessage()));
    QVERIFY(!console.MSComm1.isOpen());
    QVERIFY(peer.write(QByteArray(32, '\0')));
    QVERIFY(watcher.waitForReadyRead(5000));
    watcher.terminate();
    QVERIFY(watcher.waitForFinished(5000));
    QCOMPARE(watcher.exitCode(), 0);
    QVERIFY(watcher.readAllStandardOutput().startsWith("Status: mode 0; x 0"));
    console.Command1_Click();
    QVERIFY(console.MSComm1.isOpen());
    QCOMPARE(peer.drain(100), QByteArray());
}

QTEST_MAIN(CtlTest)
#include "ctl_test.moc"
