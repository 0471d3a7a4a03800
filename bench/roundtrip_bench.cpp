// The round trip over a pseudo-terminal: kelmora-sim streams status frames
// stamped with the CLOCK_MONOTONIC time of their write (--stamp), the real
// console has the port open and shows them. For every frame the console logs:
//
//   latency   write -> the line is in the history (and the dataset lists);
//   painted   write -> the end of the next painting pass of the main window,
//             when every label of the frame is in the window's pixels. A frame
//             that a newer one replaces before any pass is never painted and
//             has no painted time (counted as superseded).
//
// and a 1 ms timer measures the longest stall of the event loop meanwhile.
// Runs at line rate (360 frames/s) and as fast as the pty takes frames.
//
// Then the simulator only answers: status requests, each written once the
// answer to the one before is logged; latency is the write to the answer
// logged.
//
//   roundtrip_bench [seconds per rate [requests]]     (default 10, 2000)
// Prints "roundtrip.<run>.name=value" lines (run: line_rate, max, request).

#include "bench_figures.h"
#include "loop_stall_meter.h"
#include "painted_console.h"

#include "history_model.h"
#include "port_set.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <string>
#include <vector>

namespace {

constexpr double kTargetP99Micros = 2000.0;
constexpr double kTargetStallMs = 16.0;
// A stamp further back than this is not one: the read began inside a frame
// (as fast as the pty takes them, a discard can cut the stream mid-frame).
constexpr std::uint32_t kPlausibleMicros = 1'000'000;

// Bytes 28 to 31 of the logged line "IN < 0000 1111 ... ": groups of four hex
// digits, each followed by a blank, after the five characters "IN < ".
bool stampOfLine(const std::string& line, std::uint32_t& stamp) {
    constexpr std::size_t kFirstGroup = 5;
    const auto byteAt = [&](std::size_t index, std::uint32_t& value) {
        const std::size_t at = kFirstGroup + (index / 2) * 5 + (index % 2) * 2;
        if (line.size() < at + 2) {
            return false;
        }
        value = std::uint32_t(std::stoul(line.substr(at, 2), nullptr, 16));
        return true;
    };
    stamp = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        std::uint32_t value = 0;
        if (!byteAt(28 + i, value)) {
            return false;
        }
        stamp |= value << (8 * i);
    }
    return true;
}

struct Run {
    std::vector<double> latencyMicros;
    std::vector<double> paintedMicros;
    std::size_t handled = 0;
    std::size_t implausible = 0;
    double seconds = 0;
    double worstGapMs = 0;
    int gapsOver16Ms = 0;
};

bool runAt(QApplication& app, const char* rate, int seconds, Run& run) {
    QProcess simulator;
    simulator.setProgram(QStringLiteral(KELMORA_SIM_PATH));
    simulator.setArguments({"--stream", rate, "--stamp"});
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start();
    if (!simulator.waitForStarted(5000) || !simulator.waitForReadyRead(5000)) {
        std::fprintf(stderr, "roundtrip_bench: kelmora-sim did not start\n");
        return false;
    }
    const QString device = QString::fromLocal8Bit(simulator.readLine()).trimmed();

    bench::PaintedConsole window;
    window.show();
    window.presetPort(device);

    std::uint32_t shownStamp = 0;
    bool shownUnpainted = false;
    // Each received line, the moment it is in the history (the lists are
    // given theirs together with it).
    QObject::connect(&window.history(), &HistoryModel::lineAppended, &window, [&] {
        const std::string line = window.history().lineAt(window.history().count() - 1);
        const auto now = std::uint32_t(bench::monotonicMicros());
        if (line.rfind("IN < ", 0) != 0) {
            return;
        }
        ++run.handled;
        std::uint32_t stamp = 0;
        if (!stampOfLine(line, stamp) || std::uint32_t(now - stamp) > kPlausibleMicros) {
            ++run.implausible;
            shownUnpainted = false;
            return;
        }
        run.latencyMicros.push_back(double(std::uint32_t(now - stamp)));
        shownStamp = stamp;
        shownUnpainted = true;
    });
    window.afterPaintPass = [&] {
        if (shownUnpainted) {
            const auto now = std::uint32_t(bench::monotonicMicros());
            run.paintedMicros.push_back(double(std::uint32_t(now - shownStamp)));
            shownUnpainted = false;
        }
    };

    bench::LoopStallMeter stalls;
    window.Command1_Click();
    if (!window.MSComm1.isOpen()) {
        std::fprintf(stderr, "roundtrip_bench: %s\n", qPrintable(window.statusMessage()));
        return false;
    }
    stalls.start();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < qint64(seconds) * 1000) {
        app.processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    run.seconds = double(clock.elapsed()) / 1000.0;
    stalls.stop();
    run.worstGapMs = stalls.worstGapMs();
    run.gapsOver16Ms = stalls.gapsOver16Ms();

    window.Command2_Click();
    simulator.terminate();
    simulator.waitForFinished(5000);
    return true;
}

// A controller that only answers: a status request is written, and the
// round trip ends when its answer is in the history.
bool runRequests(QApplication& app, int requests, Run& run) {
    QProcess simulator;
    simulator.setProgram(QStringLiteral(KELMORA_SIM_PATH));
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start();
    if (!simulator.waitForStarted(5000) || !simulator.waitForReadyRead(5000)) {
        std::fprintf(stderr, "roundtrip_bench: kelmora-sim did not start\n");
        return false;
    }
    bench::PaintedConsole window;
    window.show();
    window.presetPort(QString::fromLocal8Bit(simulator.readLine()).trimmed());
    window.Command1_Click();
    if (!window.MSComm1.isOpen()) {
        std::fprintf(stderr, "roundtrip_bench: %s\n", qPrintable(window.statusMessage()));
        return false;
    }
    int answers = 0;
    QObject::connect(&window.history(), &HistoryModel::lineAppended, &window, [&] {
        if (window.history().lineAt(window.history().count() - 1).rfind("IN < ", 0) == 0) {
            ++answers;
        }
    });
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < requests; ++i) {
        const int before = answers;
        const std::uint64_t start = bench::monotonicMicros();
        window.Com_Refresh_Click();
        QElapsedTimer waited;
        waited.start();
        while (answers == before && waited.elapsed() < 1000) {
            app.processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        if (answers == before) {
            std::fprintf(stderr, "roundtrip_bench: request %d got no answer\n", i);
            return false;
        }
        run.latencyMicros.push_back(double(bench::monotonicMicros() - start));
        ++run.handled;
        app.processEvents(); // what the answer left to paint
    }
    run.seconds = double(clock.elapsed()) / 1000.0;
    window.Command2_Click();
    simulator.terminate();
    simulator.waitForFinished(5000);
    return true;
}

void report(const char* name, Run& run) {
    const std::string group = std::string("roundtrip.") + name;
    const auto figure = [&](const char* key, double value) {
        bench::print(group.c_str(), key, value);
    };
    const bench::Summary latency = bench::summarize(run.latencyMicros);
    const bench::Summary painted = bench::summarize(run.paintedMicros);
    figure("seconds", run.seconds);
    figure("frames_shown", double(run.handled));
    figure("frames_shown_per_s", double(run.handled) / run.seconds);
    figure("frames_cut_mid_frame", double(run.implausible));
    figure("latency_us_median", latency.median);
    figure("latency_us_p99", latency.p99);
    figure("latency_us_worst", latency.worst);
    figure("latency_p99_ratio_to_target", latency.p99 / kTargetP99Micros);
    figure("painted_frames", double(run.paintedMicros.size()));
    figure("painted_us_median", painted.median);
    figure("painted_us_p99", painted.p99);
    figure("painted_us_worst", painted.worst);
    figure("loop_stall_ms_worst", run.worstGapMs);
    figure("loop_stall_ratio_to_target", run.worstGapMs / kTargetStallMs);
    figure("loop_stalls_over_16ms", double(run.gapsOver16Ms));
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::stoi(argv[1]) : 10;

    Run lineRate;
    if (!runAt(app, "360", seconds, lineRate)) {
        return 1;
    }
    report("line_rate", lineRate);

    Run fastest;
    if (!runAt(app, "max", seconds, fastest)) {
        return 1;
    }
    report("max", fastest);

    Run requests;
    if (!runRequests(app, argc > 2 ? std::stoi(argv[2]) : 2000, requests)) {
        return 1;
    }
    report("request", requests);
    return 0;
}
