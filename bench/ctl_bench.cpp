// kelmora-ctl against the controller simulator:
// - `kelmora-ctl status` from process start to exit, beside the same
//   exchange done by a shell (stty, printf of a 64-byte request, head -c 32
//   of the answer) and beside an empty Qt Core program's start. The target:
//   at most 3 times the bare line time of the exchange plus that start.
// - `watch --stream` on a simulator streaming at the line's rate (360 status
//   frames a second): the frames it printed a second and its CPU, and of a
//   stream of 1800 frames how many it printed.
// The programs are started in turns, so a busy moment falls on all alike.
//
//   ctl_bench [runs of each] [stream seconds]    (default 40 and 20)
// Prints "ctl.name=value" lines.

#include "bench_figures.h"
#include "process_cpu.h"

#include <QCoreApplication>
#include <QProcess>

#include <vector>

namespace {

// 64 bytes out and 32 in, 10 bits a byte at 115200 bits a second.
constexpr double kBareLineMs = (64 + 32) * 10 * 1000.0 / 115200.0;
constexpr double kTargetLineFactor = 3.0;

// Wall time from start to exit in milliseconds; negative when the program
// failed.
double timedRun(const QString& program, const QStringList& arguments) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const auto start = bench::Clock::now();
    child.start(program, arguments);
    if (!child.waitForFinished(10'000) || child.exitCode() != 0) {
        return -1.0;
    }
    return bench::microsBetween(start, bench::Clock::now()) / 1000.0;
}

void printSummary(const char* name, std::vector<double>& samples) {
    const bench::Summary s = bench::summarize(samples);
    bench::print("ctl", (std::string(name) + "_median_ms").c_str(), s.median);
    bench::print("ctl", (std::string(name) + "_p99_ms").c_str(), s.p99);
}

QString startSimulator(QProcess& simulator, const QStringList& arguments) {
    simulator.start(KELMORA_SIM_PATH, arguments);
    if (!simulator.waitForReadyRead(5000)) {
        return {};
    }
    return QString::fromLocal8Bit(simulator.readLine()).trimmed();
}

void stop(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

bool measureStart(int runs) {
    QProcess simulator;
    const QString device = startSimulator(simulator, {});
    if (device.isEmpty()) {
        std::fprintf(stderr, "ctl_bench: kelmora-sim named no device\n");
        return false;
    }
    QString request;
    for (int i = 0; i < 64; ++i) {
        request += QStringLiteral("\\000");
    }
    const QString shell =
        QStringLiteral("stty -F %1 115200 raw -echo && exec 3<>%1 && printf '%2' >&3 && "
                       "head -c 32 <&3 >/dev/null")
            .arg(device, request);
    std::vector<double> ctl, sh, empty;
    for (int i = 0; i < runs; ++i) {
        const double a = timedRun(KELMORA_CTL_PATH, {"--port", device, "status"});
        const double b = timedRun("/bin/sh", {"-c", shell});
        const double c = timedRun(KELMORA_CTL_EMPTY_CORE, {});
        if (a < 0 || b < 0 || c < 0) {
            std::fprintf(stderr, "ctl_bench: a run failed (%.1f %.1f %.1f)\n", a, b, c);
            stop(simulator);
            return false;
        }
        ctl.push_back(a);
        sh.push_back(b);
        empty.push_back(c);
    }
    stop(simulator);
    const double emptyMedian = bench::summarize(empty).median;
    const double ctlMedian = bench::summarize(ctl).median;
    bench::print("ctl", "runs", runs);
    bench::print("ctl", "bare_line_ms", kBareLineMs);
    printSummary("status_start_to_exit", ctl);
    printSummary("shell_stty_printf_head", sh);
    printSummary("empty_qt_core_start", empty);
    const double target = kTargetLineFactor * kBareLineMs + emptyMedian;
    bench::print("ctl", "status_target_ms", target);
    bench::print("ctl", "status_within_target", ctlMedian <= target ? 1 : 0);
    return true;
}

bool measureStream(int seconds) {
    QProcess simulator;
    const QString device = startSimulator(simulator, {"--stream", "360"});
    if (device.isEmpty()) {
        std::fprintf(stderr, "ctl_bench: kelmora-sim named no device\n");
        return false;
    }
    QProcess watch;
    watch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    watch.start(KELMORA_CTL_PATH, {"--port", device, "watch", "--stream"});
    // Settled: the port open, and the frames that waited before it are out
    // (read all along: a full pipe would hold the watch back).
    watch.waitForReadyRead(5000);
    for (const auto settle = bench::Clock::now(); bench::secondsSince(settle) < 2.0;) {
        watch.waitForReadyRead(100);
        watch.readAllStandardOutput();
    }
    const long long cpuBefore = bench::cpuNanoseconds(watch.processId());
    const auto start = bench::Clock::now();
    long long lines = 0;
    while (bench::secondsSince(start) < seconds) {
        watch.waitForReadyRead(100);
        lines += watch.readAllStandardOutput().count('\n');
    }
    const double elapsed = bench::secondsSince(start);
    const long long cpu = bench::cpuNanoseconds(watch.processId()) - cpuBefore;
    stop(watch);
    stop(simulator);
    bench::print("ctl", "watch_stream_seconds", elapsed);
    bench::print("ctl", "watch_stream_statuses_per_second", double(lines) / elapsed);
    bench::print("ctl", "watch_stream_line_rate_per_second", bench::kLineStatusFramesPerSecond);
    bench::print("ctl", "watch_stream_cpu_percent", 100.0 * double(cpu) / 1e9 / elapsed);
    return true;
}

// Every frame of a stream of `frames` reaches the output: the simulator
// sends them and ends, which ends the watch.
bool countKept(int frames) {
    QProcess simulator;
    const QString device =
        startSimulator(simulator, {"--stream", "360", "--frames", QString::number(frames)});
    QProcess watch;
    watch.start(KELMORA_CTL_PATH, {"--port", device, "--csv", "watch", "--stream"});
    QByteArray out;
    while (watch.state() != QProcess::NotRunning || watch.bytesAvailable() > 0) {
        watch.waitForReadyRead(100);
        out += watch.readAllStandardOutput();
        if (simulator.state() == QProcess::NotRunning && watch.state() != QProcess::NotRunning &&
            !watch.waitForFinished(3000)) {
            stop(watch);
        }
    }
    stop(simulator);
    bench::print("ctl", "watch_stream_frames_sent", frames);
    bench::print("ctl", "watch_stream_frames_printed", out.count('\n') - 1); // the CSV header
    return !device.isEmpty();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    return measureStart(runs) && measureStream(seconds) && countKept(360 * 5) ? 0 : 1;
}
