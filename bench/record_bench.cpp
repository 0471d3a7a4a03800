// What Record History to File costs the console, and what it loses when the
// console is killed.
//
// The console (recording_console: the window as main.cpp builds it,
// offscreen, taking orders on stdin) runs on the simulator streaming status
// frames at line rate (360 a second), then as fast as the terminal takes
// them (a flood). In each, phases with the recording off and on take turns
// (off then on, then on then off, ...), so that other load on the machine
// falls on both alike; each phase starts with Clear History, and its CPU
// time (utime + stime of every thread) is read from /proc/PID/stat, and to
// the nanosecond from the scheduler's accounting of each thread. After
// each recording phase the file's lines are counted against the lines the
// console logged meanwhile, and its resident memory against the history's
// own growth.
//
// Then the console is killed with SIGKILL while it records at line rate, a
// random time after it started, several times: the lines it had logged
// (it reports each on a pipe as it logs it) against the lines in the file.
//
//   record_bench [seconds a phase] [rounds] [kills]    (default 8, 4, 10)
// Prints "record.name=value" lines.

#include "bench_figures.h"
#include "process_cpu.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kAnswerTimeoutMs = 60'000;

std::int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// utime + stime of the process, all threads, in clock ticks.
long long cpuTicks(qint64 pid) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray text = stat.readAll();
    // Fields after the command name, which may hold blanks: state is field 3.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : -1;
}

using bench::cpuNanoseconds;

class Child {
public:
    Child(const QString& program, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!environment.contains("QT_QPA_PLATFORM")) {
            environment.insert("QT_QPA_PLATFORM", "offscreen");
        }
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(program, arguments);
        process_.waitForStarted();
    }
    ~Child() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    qint64 pid() const { return process_.processId(); }
    // The next line that starts with `answer`; empty when none came in time.
    QByteArray await(const QByteArray& answer) {
        const bench::Clock::time_point start = bench::Clock::now();
        while (true) {
            qsizetype end = 0;
            while ((end = output_.indexOf('\n', read_)) >= 0) {
                const QByteArray line = output_.mid(read_, end - read_);
                read_ = end + 1;
                if (line.startsWith(answer)) {
                    return line;
                }
            }
            const int left = kAnswerTimeoutMs - int(bench::secondsSince(start) * 1000);
            if (left <= 0 || !pump(left)) {
                return {};
            }
        }
    }
    QByteArray ask(const QByteArray& order, const QByteArray& answer) {
        process_.write(order + "\n");
        return await(answer);
    }
    // Reads what the child says for `ms`.
    void listen(int ms) {
        const bench::Clock::time_point start = bench::Clock::now();
        int left = ms;
        while (left > 0) {
            pump(left);
            left = ms - int(bench::secondsSince(start) * 1000);
        }
    }
    std::int64_t kill() {
        const std::int64_t at = monotonicNanoseconds();
        ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
        process_.waitForFinished();
        output_ += process_.readAllStandardOutput();
        return at;
    }
    const QByteArray& output() const { return output_; }

private:
    bool pump(int ms) {
        if (!process_.waitForReadyRead(ms)) {
            return false;
        }
        output_ += process_.readAllStandardOutput();
        return true;
    }

    QProcess process_;
    QByteArray output_;
    qsizetype read_ = 0;
};

// The numbers after the answer's first word.
std::vector<long long> numbersOf(const QByteArray& answer) {
    std::vector<long long> numbers;
    for (const QByteArray& word : answer.split(' ').mid(1)) {
        numbers.push_back(word.toLongLong());
    }
    return numbers;
}

qsizetype linesIn(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    qsizetype lines = 0;
    while (!file.atEnd()) {
        lines += file.read(1 << 20).count('\n');
    }
    return lines;
}

// One kind of phase, recording off or on, summed over the rounds.
struct Phase {
    long long ticks = 0;
    long long nanoseconds = 0;
    double seconds = 0;
    long long lines = 0;          // logged
    double residentGrowthKiB = 0; // beyond the history's own bytes, summed
};

struct Load {
    Phase off;
    Phase on;
    long long loggedWhileRecording = 0;
    long long inFiles = 0; // lines in the recordings beyond those at their start
    long long mostPending = 0;
    bool ok = false;
};

Load measure(const QStringList& stream, int seconds, int rounds, const QString& folder) {
    Load load;
    Child simulator(KELMORA_SIM_PATH, stream);
    const QString device = QString::fromLocal8Bit(simulator.await("/dev/")).trimmed();
    Child console(KELMORA_RECORDING_CONSOLE_PATH, {"--port", device});
    if (device.isEmpty() || console.await("open").isEmpty()) {
        return load;
    }
    console.listen(2000); // settled
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool on = (round + turn) % 2 == 1;
            Phase& phase = on ? load.on : load.off;
            console.ask("clear", "cleared");
            const std::vector<long long> before = numbersOf(console.ask("facts", "facts"));
            const QString path = QDir(folder).filePath(QString("phase%1.his").arg(round));
            long long initial = 0;
            if (on) {
                initial = numbersOf(console.ask("record " + path.toLocal8Bit(), "recording")).at(0);
            }
            const long long ticks = cpuTicks(console.pid());
            const long long nanoseconds = cpuNanoseconds(console.pid());
            const bench::Clock::time_point started = bench::Clock::now();
            console.listen(seconds * 1000);
            phase.ticks += cpuTicks(console.pid()) - ticks;
            phase.nanoseconds += cpuNanoseconds(console.pid()) - nanoseconds;
            phase.seconds += bench::secondsSince(started);
            if (on) {
                // logged, written, most pending, resident KiB, history bytes
                const std::vector<long long> stopped = numbersOf(console.ask("stop", "stopped"));
                load.loggedWhileRecording += stopped.at(0);
                load.inFiles += linesIn(path) - 2 - initial;
                load.mostPending = std::max(load.mostPending, stopped.at(2));
                QFile::remove(path);
            }
            // resident KiB, history bytes, history lines
            const std::vector<long long> after = numbersOf(console.ask("facts", "facts"));
            phase.lines += after.at(2) - before.at(2);
            phase.residentGrowthKiB +=
                double(after.at(0) - before.at(0)) - double(after.at(1) - before.at(1)) / 1024.0;
        }
    }
    load.ok = true;
    return load;
}

struct KillLoss {
    long long logged = 0;
    long long lost = -1;   // logged, not in the file
    double lostSpanMs = 0; // from the oldest lost line to the kill
    long long lostDue = 0; // of those, logged 100 ms or more before the kill
};

KillLoss killOnce(const QString& folder, QRandomGenerator& random) {
    KillLoss loss;
    Child simulator(KELMORA_SIM_PATH, {"--stream", "360"});
    const QString device = QString::fromLocal8Bit(simulator.await("/dev/")).trimmed();
    Child console(KELMORA_RECORDING_CONSOLE_PATH, {"--port", device, "--report-lines"});
    const QString path = QDir(folder).filePath("killed.his");
    if (device.isEmpty() || console.await("open").isEmpty() ||
        console.ask("record " + path.toLocal8Bit(), "recording").isEmpty()) {
        return loss;
    }
    console.listen(300 + static_cast<int>(random.bounded(1000)));
    const std::int64_t killedAt = console.kill();

    std::vector<std::int64_t> loggedAt;
    for (const QByteArray& report : console.output().split('\n')) {
        if (report.startsWith("L ")) {
            loggedAt.push_back(report.split(' ').at(1).toLongLong());
        } else if (report.startsWith("W ") && !loggedAt.empty()) {
            loggedAt.pop_back();
        }
    }
    const long long entries = linesIn(path) - 2;
    QFile::remove(path);
    loss.logged = static_cast<long long>(loggedAt.size());
    loss.lost = loss.logged - entries;
    for (std::size_t i = static_cast<std::size_t>(entries); i < loggedAt.size(); ++i) {
        loss.lostSpanMs = std::max(loss.lostSpanMs, double(killedAt - loggedAt[i]) / 1e6);
        loss.lostDue += loggedAt[i] <= killedAt - 100'000'000 ? 1 : 0;
    }
    return loss;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 8;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 4;
    const int kills = argc > 3 ? std::max(0, std::atoi(argv[3])) : 10;
    QTemporaryDir folder;
    bench::print("record", "seconds_a_phase", seconds);
    bench::print("record", "rounds", rounds);

    const long long ticksPerSecond = sysconf(_SC_CLK_TCK);
    const struct {
        const char* name;
        QStringList stream;
    } loads[] = {{"record.line_rate", {"--stream", "360"}}, {"record.flood", {"--stream", "max"}}};
    for (const auto& kind : loads) {
        const Load load = measure(kind.stream, seconds, rounds, folder.path());
        if (!load.ok) {
            std::printf("%s.failed=1\n", kind.name);
            continue;
        }
        const auto cpuPercent = [&](const Phase& phase) {
            return 100.0 * double(phase.ticks) / double(ticksPerSecond) / phase.seconds;
        };
        const double off = cpuPercent(load.off);
        const double on = cpuPercent(load.on);
        bench::print(kind.name, "console_cpu_percent_recording_off", off);
        bench::print(kind.name, "console_cpu_percent_recording_on", on);
        bench::print(kind.name, "on_over_off", off > 0 ? on / off : 0);
        const auto schedPercent = [&](const Phase& phase) {
            return 100.0 * double(phase.nanoseconds) / 1e9 / phase.seconds;
        };
        const double offSched = schedPercent(load.off);
        const double onSched = schedPercent(load.on);
        bench::print(kind.name, "console_cpu_percent_recording_off_schedstat", offSched);
        bench::print(kind.name, "console_cpu_percent_recording_on_schedstat", onSched);
        bench::print(kind.name, "on_over_off_schedstat", offSched > 0 ? onSched / offSched : 0);
        bench::print(kind.name, "lines_a_second_recording_off",
                     double(load.off.lines) / load.off.seconds);
        bench::print(kind.name, "lines_a_second_recording_on",
                     double(load.on.lines) / load.on.seconds);
        bench::print(kind.name, "lines_logged_while_recording", double(load.loggedWhileRecording));
        bench::print(kind.name, "of_them_in_the_files", double(load.inFiles));
        bench::print(kind.name, "most_bytes_waiting_to_be_written", double(load.mostPending));
        bench::print(kind.name, "resident_kib_beyond_history_growth_a_phase_recording_off",
                     load.off.residentGrowthKiB / rounds);
        bench::print(kind.name, "resident_kib_beyond_history_growth_a_phase_recording_on",
                     load.on.residentGrowthKiB / rounds);
    }

    QRandomGenerator random(QRandomGenerator::global()->generate());
    std::vector<double> lostLines;
    std::vector<double> lostMs;
    long long logged = 0;
    long long lostDue = 0;
    for (int i = 0; i < kills; ++i) {
        const KillLoss loss = killOnce(folder.path(), random);
        if (loss.lost < 0) {
            std::printf("record.kill.failed=1\n");
            break;
        }
        logged += loss.logged;
        lostLines.push_back(double(loss.lost));
        lostMs.push_back(loss.lostSpanMs);
        lostDue += loss.lostDue;
    }
    if (!lostLines.empty()) {
        const bench::Summary lines = bench::summarize(lostLines);
        const bench::Summary span = bench::summarize(lostMs);
        bench::print("record.kill", "runs", double(lostLines.size()));
        bench::print("record.kill", "lines_logged", double(logged));
        bench::print("record.kill", "lines_lost_median", lines.median);
        bench::print("record.kill", "lines_lost_worst", lines.worst);
        bench::print("record.kill", "lost_span_ms_median", span.median);
        bench::print("record.kill", "lost_span_ms_worst", span.worst);
        bench::print("record.kill", "lines_lost_logged_100_ms_or_more_before", double(lostDue));
    }
    return 0;
}
