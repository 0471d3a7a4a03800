// A recording that survives the console's death: the real console
// (recording_console, the window as main.cpp builds it) records while the
// real simulator streams status frames at line rate and the operator's round
// of commands goes out, and is then killed with SIGKILL at a random moment.
// While it runs, the file must hold at every moment each line the console
// was due to have written (see DueLines); after the kill every such line,
// each whole, in order, with nothing it did not log, and kelmora-history
// must read the file without a complaint. What the console logged, and
// when, it reports itself on a pipe as it logs it. A capture (.pcapng) must
// hold the same frames from the recording's start, as packets with their
// direction, in time order.

#include "mosquitto_broker.h"
#include "pcapng_reader.h"
#include "simulator_process.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <memory>

using json = nlohmann::json;

namespace {

constexpr int kAnswerTimeoutMs = 5000;

std::int64_t nanosecondsOf(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::int64_t monotonicNanoseconds() {
    return nanosecondsOf(CLOCK_MONOTONIC);
}

std::int64_t wallNanoseconds() {
    return nanosecondsOf(CLOCK_REALTIME);
}

struct LoggedLine {
    std::int64_t at = 0;
    QByteArray bytes;
};

// How many of the lines, oldest first, the console must have written by now.
// A pending batch goes out in the event loop's pass after the first line
// logged 30 ms or more after its oldest line (40 ms less 10: kWriteDelayMs,
// kWriteEarlyMs), so a line is due once the console has gone on to log a
// line after that one. Counted in the console's own progress, not in time
// since: on a starved machine the console may not run for a while, and then
// neither writes nor logs.
std::size_t DueLines(const std::vector<LoggedLine>& logged) {
    constexpr std::int64_t kBatchAgeNs = 35'000'000; // 30 ms, and slack for the clocks
    std::size_t due = 0;
    std::size_t later = 0; // the first line logged kBatchAgeNs after logged[due]
    for (; due < logged.size(); ++due) {
        while (later < logged.size() && logged[later].at < logged[due].at + kBatchAgeNs) {
            ++later;
        }
        if (later + 1 >= logged.size()) {
            break;
        }
    }
    return due;
}

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
    explicit RecordingConsole(const QString& device, const QStringList& more = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(KELMORA_RECORDING_CONSOLE_PATH,
                       QStringList{"--port", device, "--report-lines"} + more);
    }
    ~RecordingConsole() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    void order(const QByteArray& line) {
        process_.write(line + "\n");
        process_.waitForBytesWritten(); // a test may wait next without Qt's event loop
    }
    // Waits for a report line starting with `answer`, reported from byte
    // `from` on; its whole text.
    QByteArray awaitAnswer(const QByteArray& answer, qsizetype from = 0) {
        QByteArray found;
        (void)QTest::qWaitFor(
            [&] {
                reports_ += process_.readAllStandardOutput();
                for (const QByteArray& line : reports_.mid(from).split('\n')) {
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

// A line as a capture can show it: a received block's line without its
// elapsed milliseconds, which the capture has as times of day instead.
QByteArray comparable(const QByteArray& line) {
    const qsizetype elapsed = line.indexOf(" t- ");
    return line.startsWith("IN < ") && elapsed > 0 ? line.left(elapsed + 4) : line;
}

// The line a packet of a capture stands for (see comparable()).
QByteArray lineOf(const pcapng::Packet& packet) {
    const QByteArray data = QByteArray::fromStdString(packet.data);
    if (packet.direction == pcapng::Direction::Inbound) {
        QByteArray line = "IN < ";
        for (int k = 0; k < 16 && 2 * k + 1 < data.size(); ++k) {
            line += data.mid(2 * k, 2).toHex().toUpper() + ' ';
        }
        return line + " t- ";
    }
    if (data.startsWith("\x02\x31")) { // the reference run: its text up to the first zero code
        return data.left(data.indexOf('\0'));
    }
    return data.toHex().toUpper();
}

// What a recording's file holds so far, as lines.
struct Recorded {
    QList<QByteArray> entries; // whole entries only (comparable() form for a capture)
    QByteArray problem;        // why the file is not a whole file of its kind
    std::vector<pcapng::Packet> packets;
    std::vector<pcapng::Interface> interfaces;
};

Recorded readRecorded(const QByteArray& bytes, bool capture) {
    Recorded recorded;
    if (capture) {
        qsizetype at = 0;
        pcapng::CaptureReader reader([&](char* buffer, std::size_t size) {
            const qsizetype given =
                std::min<qsizetype>(static_cast<qsizetype>(size), bytes.size() - at);
            std::copy_n(bytes.constData() + at, given, buffer);
            at += given;
            return static_cast<std::size_t>(given);
        });
        while (const std::optional<pcapng::Packet> packet = reader.next()) {
            recorded.entries.push_back(lineOf(*packet));
            recorded.packets.push_back(*packet);
        }
        recorded.problem = QByteArray::fromStdString(reader.error());
        recorded.interfaces = reader.interfaces();
        return recorded;
    }
    if (!bytes.endsWith("\r\n")) {
        recorded.problem = "the file ends inside a line";
    }
    const QList<QByteArray> lines = bytes.left(bytes.lastIndexOf("\r\n")).split('\n');
    if (lines.size() < 2 || lines[0] != "\"Kelmora V0.5B History Ouptut File\"\r" ||
        !lines[1].startsWith("\"Created on ")) {
        recorded.problem = "no header";
        return recorded;
    }
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype end = line.endsWith('\r') ? line.size() - 1 : line.size();
        if (line.size() < 2 || !line.startsWith('"') || line.at(end - 1) != '"') {
            recorded.problem = "line " + QByteArray::number(i + 1) + " is not quoted";
        }
        recorded.entries.push_back(line.mid(1, end - 2));
    }
    return recorded;
}

} // namespace

class ConsoleRecordingTest : public QObject {
    Q_OBJECT
private slots:
    void killedConsoleLeavesEveryLineDue_data();
    void killedConsoleLeavesEveryLineDue();
    void recordOptionStartsTheRecording_data();
    void recordOptionStartsTheRecording();
    void publishesThroughABrokerThatComesAndGoes();
};

void ConsoleRecordingTest::killedConsoleLeavesEveryLineDue_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("history file") << "run.his";
    QTest::newRow("capture") << "run.pcapng";
}

void ConsoleRecordingTest::killedConsoleLeavesEveryLineDue() {
    QFETCH(QString, name);
    const bool capture = name.endsWith(".pcapng");
    const quint32 seed = qEnvironmentVariableIsSet("KELMORA_RECORDING_SEED")
                             ? qEnvironmentVariableIntValue("KELMORA_RECORDING_SEED")
                             : QRandomGenerator::global()->generate();
    qInfo("seed %u (KELMORA_RECORDING_SEED replays it)", seed);
    QRandomGenerator random(seed);

    SimulatorProcess simulator({"--stream", "360"});
    QVERIFY2(simulator.isReady(), qPrintable(simulator.problem()));
    QTemporaryDir folder;
    const QString path = folder.filePath(name);
    RecordingConsole console(simulator.devicePath());
    QVERIFY2(console.awaitAnswer("open") == "open", console.reports().constData());
    QTest::qWait(random.bounded(100)); // some lines logged before the recording starts
    const std::int64_t startedAt = wallNanoseconds();
    console.order("record " + path.toLocal8Bit());
    QVERIFY2(console.awaitAnswer("recording").startsWith("recording"),
             console.reports().constData());
    console.order("play");
    QVERIFY(!console.awaitAnswer("played").isEmpty());

    // The lines the file is to hold: a history file every line since the
    // console started, a capture those since the recording started.
    const auto toRecord = [&] {
        const QByteArray reports = console.readReports();
        return loggedLines(capture ? reports.mid(reports.indexOf("\nrecording")) : reports);
    };

    // While it runs: at any moment the file holds every line due (counted in
    // whole entries: a write may be under way). What was logged is read
    // before the file, so that the file is the newer of the two.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QElapsedTimer running;
    running.start();
    const int runMs = 500 + static_cast<int>(random.bounded(500));
    while (running.elapsed() < runMs) {
        const std::size_t due = DueLines(toRecord());
        file.seek(0);
        const auto entries =
            static_cast<std::size_t>(readRecorded(file.readAll(), capture).entries.size());
        QVERIFY2(entries >= due, qPrintable(QString("%1 ms in: %2 lines due, %3 in the file")
                                                .arg(running.elapsed())
                                                .arg(due)
                                                .arg(entries)));
        QTest::qWait(5);
    }
    const std::int64_t killedAtWall = wallNanoseconds();
    const std::int64_t killedAt = console.kill();
    QCOMPARE(console.exitStatus(), QProcess::CrashExit);

    // After the kill: whole entries, exactly the lines logged, in order, up
    // to the last line due at least.
    const std::vector<LoggedLine> logged = toRecord();
    file.seek(0);
    const Recorded recorded = readRecorded(file.readAll(), capture);
    QVERIFY2(recorded.problem.isEmpty(), recorded.problem.constData());
    const auto inFile = static_cast<std::size_t>(recorded.entries.size());
    QVERIFY2(inFile <= logged.size(), "the file holds a line that was not logged");
    for (std::size_t i = 0; i < inFile; ++i) {
        const QByteArray expected = capture ? comparable(logged[i].bytes) : logged[i].bytes;
        QVERIFY2(recorded.entries[static_cast<qsizetype>(i)] == expected,
                 qPrintable(QString("entry %1 differs").arg(i + 1)));
    }
    const std::size_t dueLines = DueLines(logged);
    const std::size_t lost = logged.size() - inFile;
    qInfo("%zu lines logged, %zu lost to the kill, the oldest of them logged %.1f ms before it",
          logged.size(), lost, lost == 0 ? 0.0 : (killedAt - logged[inFile].at) / 1e6);
    QVERIFY2(inFile >= dueLines, qPrintable(QString("%1 lines due before the kill, "
                                                    "%2 in the file")
                                                .arg(dueLines)
                                                .arg(inFile)));

    // The round went out and is in the file: every kind of frame, each
    // answered by the stream around it.
    const QByteArray entries = '\n' + recorded.entries.join('\n') + '\n';
    for (const char* start : {"\n0211", "\n0212", "\n0241", "\n0221", "\n0001", "\n\x02\x31\x04\n",
                              "\n\x02\x31\x04\x01", "\n00000000", "\nIN < "}) {
        QVERIFY2(entries.contains(start), qPrintable(QByteArray(start).toHex()));
    }

    if (capture) {
        // One interface, the simulator's terminal; each packet outbound and
        // 64 bytes or inbound and 32, in time order, stamped at the read
        // (before the line was logged) or the write (after it).
        QCOMPARE(recorded.interfaces.size(), std::size_t{1});
        QCOMPARE(recorded.interfaces[0].linkType, pcapng::kLinkTypeUser0);
        QCOMPARE(QString::fromStdString(recorded.interfaces[0].name), simulator.devicePath());
        QCOMPARE(recorded.interfaces[0].description, std::string("115200,n,8,1"));
        const std::int64_t wallAhead = wallNanoseconds() - monotonicNanoseconds();
        constexpr std::int64_t kClockSlackNs = 5'000'000;
        std::uint64_t previous = static_cast<std::uint64_t>(startedAt);
        for (std::size_t i = 0; i < recorded.packets.size(); ++i) {
            const pcapng::Packet& packet = recorded.packets[i];
            const bool inbound = logged[i].bytes.startsWith("IN < ");
            QVERIFY(packet.direction ==
                    (inbound ? pcapng::Direction::Inbound : pcapng::Direction::Outbound));
            QCOMPARE(packet.data.size(), std::size_t{inbound ? 32u : 64u});
            QVERIFY(packet.unixNanoseconds >= previous);
            previous = packet.unixNanoseconds;
            const auto at = static_cast<std::int64_t>(packet.unixNanoseconds) - wallAhead;
            QVERIFY2(inbound ? at <= logged[i].at + kClockSlackNs
                             : at >= logged[i].at - kClockSlackNs,
                     qPrintable(QString("packet %1 stamped %2 ms from its line's logging")
                                    .arg(i + 1)
                                    .arg((at - logged[i].at) / 1e6)));
        }
        QVERIFY(previous <= static_cast<std::uint64_t>(killedAtWall));
        // The reference run as it went out: its axis codes after the first
        // zero, which the history's line does not keep, are there.
        const std::string referenceRun =
            std::string("\x02\x31\x04\x00\x01\x02\x03", 7) + std::string(57, '\0');
        QVERIFY(std::any_of(recorded.packets.begin(), recorded.packets.end(),
                            [&](const pcapng::Packet& p) { return p.data == referenceRun; }));
    }

    QProcess reader;
    reader.start(KELMORA_HISTORY_PATH, {"--csv", path});
    QVERIFY(reader.waitForFinished());
    QCOMPARE(reader.readAllStandardError(), QByteArray());
    QCOMPARE(reader.exitCode(), 0);
    QCOMPARE(reader.readAllStandardOutput().count('\n'), recorded.entries.size() + 1);
}

void ConsoleRecordingTest::recordOptionStartsTheRecording_data() {
    QTest::addColumn<bool>("deleted"); // the file is deleted under the recording
    QTest::newRow("the file stays") << false;
    QTest::newRow("the file is deleted") << true;
}

void ConsoleRecordingTest::recordOptionStartsTheRecording() {
    // kelmora --record FILE, as an operator starts it, ended as the session
    // ends it (SIGTERM): the window closes as Quit closes it, and a file that
    // lacks its end is said on standard error and in the exit status.
    QFETCH(bool, deleted);
    QTemporaryDir folder;
    const QString path = folder.filePath("from the start.txt");
    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", folder.path()); // no publishing settings
    console.setProcessEnvironment(environment);
    console.start(KELMORA_CONSOLE_PATH, {"--port", "/dev/null", "--record", path});
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(path).size() > 0, true, kAnswerTimeoutMs);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QByteArray("\"Kelmora V0.5B History Text Ouptut File\"\r"));
    QVERIFY(lines[1].startsWith("\"Created on "));
    // Not publishing, it has not loaded libmosquitto and OpenSSL.
    QFile maps(QString("/proc/%1/maps").arg(console.processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QVERIFY(!maps.readAll().contains("libmosquitto"));
    if (deleted) {
        QVERIFY(QFile::remove(path));
    }
    console.terminate();
    QVERIFY(console.waitForFinished(kAnswerTimeoutMs));
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    const QString said = QString::fromLocal8Bit(console.readAllStandardError());
    QCOMPARE(console.exitCode(), deleted ? 1 : 0);
    QCOMPARE(said.contains("kelmora: Recording to " + path), deleted);
}

void ConsoleRecordingTest::publishesThroughABrokerThatComesAndGoes() {
    // The console at line rate publishing to a real broker that is killed
    // and started again: the line goes on being logged throughout, what is
    // published is what was logged, in order, and once the broker is back
    // the newest status is there again for a new subscriber. Whatever is
    // published to the machine's topics never reaches the line.
    QTemporaryDir folder;
    MosquittoBroker broker(folder.path().toStdString());
    QVERIFY2(broker.start(), broker.problem().c_str());
    auto seen = std::make_unique<TopicLog>(broker.port());
    SimulatorProcess simulator({"--stream", "360", "--hex"});
    QVERIFY2(simulator.isReady(), qPrintable(simulator.problem()));
    RecordingConsole console(
        simulator.devicePath(),
        {"--mqtt", QString::fromStdString(broker.url()), "--mqtt-machine", "cell7"});
    QVERIFY2(console.awaitAnswer("open") == "open", console.reports().constData());
    QVERIFY(seen->waitFor("cell7/online", 0, "true") >= 0);
    QVERIFY(seen->waitFor("cell7/port", 0, "\"open\":true") >= 0);
    QVERIFY(seen->waitFor("cell7/status") >= 0);

    // Another client writes to the machine's topics: nothing subscribes.
    QProcess remote;
    remote.start("mosquitto_pub", {"-p", QString::number(broker.port()), "-t",
                                   "kelmora/cell7/command", "-m", QString(128, 'A')});
    QVERIFY(remote.waitForFinished());

    const auto awaitState = [&](const char* state) {
        QByteArray answer;
        return QTest::qWaitFor(
            [&] {
                const qsizetype from = console.readReports().size();
                console.order("broker");
                answer = console.awaitAnswer("broker ", from);
                return answer.contains(state);
            },
            20'000);
    };
    broker.signal(SIGKILL);
    QVERIFY(awaitState("retrying"));
    const std::size_t loggedWhileAway = loggedLines(console.readReports()).size();
    QTest::qWait(1500);
    QVERIFY(loggedLines(console.readReports()).size() > loggedWhileAway + 300);
    QVERIFY2(broker.start(), broker.problem().c_str());
    seen = std::make_unique<TopicLog>(broker.port());
    QVERIFY(awaitState("connected"));
    const int status = seen->waitFor("cell7/status");
    QVERIFY(status >= 0);

    // Every frame published is a line logged, in the order logged.
    console.order("quit");
    QVERIFY(seen->waitFor("cell7/online", 0, "false") >= 0);
    const std::vector<LoggedLine> logged = loggedLines(console.readReports());
    std::size_t next = 0;
    std::size_t frames = 0;
    for (std::size_t i = 0; i < seen->size(); ++i) {
        const TopicLog::Message message = seen->at(static_cast<int>(i));
        if (message.topic != "kelmora/cell7/frames" && message.topic != "kelmora/cell7/status") {
            continue;
        }
        // A status is the newest line at its time, a frame the next in turn.
        const bool frame = message.topic == "kelmora/cell7/frames";
        const std::string raw = json::parse(message.payload).at("raw");
        const auto found =
            std::find_if(logged.begin() + std::ptrdiff_t(frame ? next : 0), logged.end(),
                         [&](const LoggedLine& line) { return line.bytes == raw.c_str(); });
        QVERIFY2(found != logged.end(), raw.c_str());
        if (frame) {
            next = std::size_t(found - logged.begin()) + 1;
            ++frames;
        }
    }
    QVERIFY(frames > 0);
    QVERIFY2(simulator.linesUntilQuiet(300).isEmpty(), "a frame reached the line");
}

QTEST_MAIN(ConsoleRecordingTest)
#include "console_recording_test.moc"
