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
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr double kTargetRatio = 1.5;

// The "startup.<key>_us=<value>" figures the child printed, by key; empty
// when it failed. Every child prints shown_us; the console also the stages
// before it.
std::map<std::string, double> startOnce(const QString& program) {
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
        return {};
    }
    std::map<std::string, double> figures;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const int equals = line.indexOf('=');
        if (line.startsWith("startup.") && equals > 0) {
            const QByteArray key = line.mid(8, equals - 8);
            if (key.endsWith("_us")) {
                figures[key.chopped(3).toStdString()] = line.mid(equals + 1).toDouble() / 1000.0;
            }
        }
    }
    if (figures.count("shown") == 0) {
        return {};
    }
    return figures;
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

    // Milliseconds by program and stage.
    std::map<std::string, std::vector<double>> ms;
    for (int i = 0; i < runs; ++i) {
        for (const auto& [name, program] : {std::pair<const char*, QString>{"console", console},
                                            {"minimal_window", minimal},
                                            {"text_window", text}}) {
            const std::map<std::string, double> figures = startOnce(program);
            if (figures.empty()) {
                std::fprintf(stderr, "startup_bench: %s failed\n", qPrintable(program));
                return 1;
            }
            for (const auto& [stage, value] : figures) {
                const std::string key = stage == "shown" ? name : std::string(name) + "_" + stage;
                ms[key].push_back(value);
            }
        }
    }
    std::map<std::string, bench::Summary> summary;
    for (auto& [key, values] : ms) {
        summary[key] = bench::summarize(values);
    }
    const double consoleMs = summary["console"].median;
    const double minimalMs = summary["minimal_window"].median;
    const double textMs = summary["text_window"].median;
    bench::print("startup", "runs", double(runs));
    for (const auto& [key, s] : summary) {
        bench::print("startup", (key + "_ms_median").c_str(), s.median);
    }
    bench::print("startup", "console_ms_worst", summary["console"].worst);
    bench::print("startup", "text_window_ratio_to_minimal_window", textMs / minimalMs);
    bench::print("startup", "ratio_to_text_window", consoleMs / textMs);
    bench::print("startup", "ratio_to_minimal_window", consoleMs / minimalMs);
    bench::print("startup", "ratio_to_target", consoleMs / minimalMs / kTargetRatio);
    return 0;
}
