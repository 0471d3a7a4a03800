// Start-up: from process start to the main window shown and painted
// (offscreen), the console (startup_console, made as main.cpp makes it)
// beside a minimal Qt program showing one empty window (startup_minimal),
// and, as a second yardstick, one window showing one line of text
// (startup_text), which has the fonts to load as every window with text
// does. They are started in turns, so a busy moment of the machine falls on
// all alike; the medians are compared.
//
//   startup_bench [runs of each]     (default 20)
// Prints "startup.name=value" lines.

#include "bench_figures.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <string>
#include <vector>

namespace {

constexpr double kTargetRatio = 1.5;

// Microseconds the child reports, or a negative number when it failed.
double startOnce(const QString& program) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains("QT_QPA_PLATFORM")) {
        environment.insert("QT_QPA_PLATFORM", "offscreen");
    }
    const std::uint64_t start = bench::monotonicMicros();
    environment.insert("KELMORA_BENCH_START_US", QString::number(start));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(program, {});
    if (!child.waitForFinished(30'000) || child.exitCode() != 0) {
        return -1;
    }
    const QByteArray output = child.readAllStandardOutput();
    const QByteArray key = "startup.shown_us=";
    const int at = output.indexOf(key);
    if (at < 0) {
        return -1;
    }
    return output.mid(at + key.size()).trimmed().toDouble();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::stoi(argv[1]) : 20;
    const QString console = QStringLiteral(KELMORA_STARTUP_CONSOLE);
    const QString minimal = QStringLiteral(KELMORA_STARTUP_MINIMAL);
    const QString text = QStringLiteral(KELMORA_STARTUP_TEXT);

    // One start of each first, unmeasured: the libraries come into the page
    // cache once, as they are on any machine that has run Qt before.
    startOnce(console);
    startOnce(minimal);
    startOnce(text);

    std::vector<double> consoleMs;
    std::vector<double> minimalMs;
    std::vector<double> textMs;
    for (int i = 0; i < runs; ++i) {
        const double c = startOnce(console);
        const double m = startOnce(minimal);
        const double t = startOnce(text);
        if (c < 0 || m < 0 || t < 0) {
            std::fprintf(stderr, "startup_bench: a start-up program failed\n");
            return 1;
        }
        consoleMs.push_back(c / 1000.0);
        minimalMs.push_back(m / 1000.0);
        textMs.push_back(t / 1000.0);
    }
    const bench::Summary c = bench::summarize(consoleMs);
    const bench::Summary m = bench::summarize(minimalMs);
    const bench::Summary t = bench::summarize(textMs);
    bench::print("startup", "runs", double(runs));
    bench::print("startup", "console_ms_median", c.median);
    bench::print("startup", "console_ms_worst", c.worst);
    bench::print("startup", "minimal_window_ms_median", m.median);
    bench::print("startup", "minimal_window_ms_worst", m.worst);
    bench::print("startup", "text_window_ms_median", t.median);
    bench::print("startup", "text_window_ratio_to_minimal_window", t.median / m.median);
    bench::print("startup", "ratio_to_text_window", c.median / t.median);
    bench::print("startup", "ratio_to_minimal_window", c.median / m.median);
    bench::print("startup", "ratio_to_target", c.median / m.median / kTargetRatio);
    return 0;
}
