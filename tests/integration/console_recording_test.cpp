// A recording that survives the console's death: the real console
// (recording_console, the window as main.cpp builds it) records while the
// real simulator streams status frames at line rate and the operator's round
// of commands goes out, and is then killed with SIGKILL at a random moment.
// While it runs, the file must hold at every moment each line logged
// 100 ms before; after the kill every line logged up to 100 ms before it,
// each whole, in order, with nothing it did not log, and kelmora-history
// must read the file without a complaint. What the console logged, and
// when, it reports itself on a pipe as it logs it.

#include "simulator_process.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <ctime>

namespace {

constexpr std::int64_t kWithinNs = 100'000'000; // what a line may take to reach the file
constexpr int kAnswerTimeoutMs = 5000;

std::int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

struct LoggedLine {
    std::int64_t at = 0;
    QByteArray bytes;
};

// The lines the console reported logging, in order, a line taken back
// ("W") removing the newest.
std::vector<LoggedLine> loggedLines(const QByteArray& reports) {
    std::vector<LoggedLine> lines;
    for (const QByteArray& report : reports.split('\n')) {
        const QList<QByteArray> words = report.split(' ');
        if (words.size() == 3 && words[0] == "L") {
            lines.push_back({words[1].toLongLong(), QByteArray::fromHex(words[2])});
        } else if (words.size() == 2 && words[0] == "W" && !lines.empty()) {
            lines.pop_back();
        }
    }
    return lines;
}

class RecordingConsole {
public:
    explicit RecordingConsole(const QString& device) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(KELMORA_RECORDING_CONSOLE_PATH, {"--port", device, "--report-lines"});
    }
    ~RecordingConsole() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    void order(const QByteArray& line) { process_.write(line + "\n"); }
    // Waits for a report line starting with `answer`; its whole text.
    QByteArray awaitAnswer(const QByteArray& answer) {
        QByteArray found;
        (void)QTest::qWaitFor(
            [&] {
                reports_ += process_.readAllStandardOutput();
                for (const QByteArray& line : reports_.split('\n')) {
                    if (line.startsWith(answer)) {
                        found = line;
                        return true;
                    }
                }
                return process_.state() == QProcess::NotRunning;
            },
            kAnswerTimeoutMs);
        return found;
    }
    // Kills it now; the moment of the kill.
    std::int64_t kill() {
        const std::int64_t at = monotonicNanoseconds();
        ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
        process_.waitForFinished();
        reports_ += process_.readAllStandardOutput();
        return at;
    }
    const QByteArray& reports() const { return reports_; }
    // Everything reported so far, what arrived by now included.
    const QByteArray& readReports() {
        reports_ += process_.readAllStandardOutput();
        return reports_;
    }
    QProcess::ExitStatus exitStatus() const { return process_.exitStatus(); }

private:
    QProcess process_;
    QByteArray reports_;
};

} // namespace

class ConsoleRecordingTest : public QObject {
    Q_OBJECT
private slots:
    void killedConsoleLeavesEveryLineUpTo100MsBefore();
};

void ConsoleRecordingTest::killedConsoleLeavesEveryLineUpTo100MsBefore() {
    const quint32 seed = qEnvironmentVariableIsSet("KELMORA_RECORDING_SEED")
                             ? qEnvironmentVariableIntValue("KELMORA_RECORDING_SEED")
                             : QRandomGenerator::global()->generate();
    qInfo("seed %u (KELMORA_RECORDING_SEED replays it)", seed);
    QRandomGenerator random(seed);

    SimulatorProcess simulator({"--stream", "360"});
    QVERIFY2(simulator.isReady(), qPrintable(simulator.problem()));
    QTemporaryDir folder;
    const QString path = folder.filePath("run.his");
    RecordingConsole console(simulator.devicePath());
    QVERIFY2(console.awaitAnswer("open") == "open", console.reports().constData());
    QTest::qWait(random.bounded(100)); // some lines logged before the recording starts
    console.order("record " + path.toLocal8Bit());
    QVERIFY2(console.awaitAnswer("recording").startsWith("recording"),
             console.reports().constData());
    console.order("play");
    QVERIFY(!console.awaitAnswer("played").isEmpty());

    // While it runs: at any moment the file holds every line logged 100 ms
    // before (counted in whole lines: a write may be under way).
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QElapsedTimer running;
    running.start();
    const int runMs = 500 + static_cast<int>(random.bounded(500));
    while (running.elapsed() < runMs) {
        const std::int64_t lookedAt = monotonicNanoseconds();
        file.seek(0);
        const qsizetype wholeLines = file.readAll().count('\n') - 2;
        const std::vector<LoggedLine> logged = loggedLines(console.readReports());
        const auto due = std::count_if(logged.begin(), logged.end(), [&](const LoggedLine& line) {
            return line.at <= lookedAt - kWithinNs;
        });
        QVERIFY2(wholeLines >= due, qPrintable(QString("%1 ms in: %2 lines logged 100 ms "
                                                       "before, %3 in the file")
                                                   .arg(running.elapsed())
                                                   .arg(due)
                                                   .arg(wholeLines)));
        QTest::qWait(5);
    }
    const std::int64_t killedAt = console.kill();
    QCOMPARE(console.exitStatus(), QProcess::CrashExit);

    const std::vector<LoggedLine> logged = loggedLines(console.reports());
    file.seek(0);
    const QByteArray bytes = file.readAll();
    QVERIFY2(bytes.endsWith("\r\n"), "the file ends inside a line");
    QList<QByteArray> lines = bytes.chopped(2).split('\n');
    QVERIFY(lines.size() >= 2);
    QCOMPARE(lines[0], QByteArray("\"Kelmora V0.5B History Ouptut File\"\r"));
    QVERIFY(lines[1].startsWith("\"Created on "));
    lines.remove(0, 2);
    QVERIFY2(static_cast<std::size_t>(lines.size()) <= logged.size(),
             "the file holds a line that was not logged");
    std::size_t dueLines = 0; // logged long enough before the kill
    while (dueLines < logged.size() && logged[dueLines].at <= killedAt - kWithinNs) {
        ++dueLines;
    }
    for (qsizetype i = 0; i < lines.size(); ++i) {
        // The last line has lost its CR to chopped(); every other keeps it.
        const QByteArray expected = '"' + logged[static_cast<std::size_t>(i)].bytes + '"' +
                                    (i + 1 < lines.size() ? "\r" : "");
        QVERIFY2(lines[i] == expected, qPrintable(QString("entry %1 differs").arg(i + 1)));
    }
    const std::size_t lost = logged.size() - static_cast<std::size_t>(lines.size());
    qInfo("%zu lines logged, %zu lost to the kill, the oldest of them logged %.1f ms before it",
          logged.size(), lost,
          lost == 0 ? 0.0 : (killedAt - logged[logged.size() - lost].at) / 1e6);
    QVERIFY2(static_cast<std::size_t>(lines.size()) >= dueLines,
             qPrintable(QString("%1 lines logged 100 ms before the kill, %2 in the file")
                            .arg(dueLines)
                            .arg(lines.size())));

    // The round went out and is in the file: every kind of frame, each
    // answered by the stream around it.
    QByteArray entries;
    for (const QByteArray& line : lines) {
        entries += line.mid(1, line.indexOf('"', 1) - 1) + '\n';
    }
    for (const char* start : {"\n0211", "\n0212", "\n0241", "\n0221", "\n0001", "\n\x02\x31\x04\n",
                              "\n\x02\x31\x04\x01", "\n00000000", "\nIN < "}) {
        QVERIFY2(('\n' + entries).contains(start), qPrintable(QByteArray(start).toHex()));
    }

    QProcess reader;
    reader.start(KELMORA_HISTORY_PATH, {"--csv", path});
    QVERIFY(reader.waitForFinished());
    QCOMPARE(reader.readAllStandardError(), QByteArray());
    QCOMPARE(reader.exitCode(), 0);
    QCOMPARE(reader.readAllStandardOutput().count('\n'), lines.size() + 1);
}

QTEST_MAIN(ConsoleRecordingTest)
#include "console_recording_test.moc"
