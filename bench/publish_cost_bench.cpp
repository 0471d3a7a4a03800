// What publishing to MQTT costs the console at line rate: two consoles
// (recording_console: the window as main.cpp builds it, offscreen), each on
// its own simulator streaming 360 status frames a second, run side by side
// for the same seconds, one publishing to a local mosquitto (--mqtt) and one
// not, so that other load on the machine falls on both alike. Each round
// reads both consoles' CPU time (every thread, from the scheduler) and the
// lines each logged; a subscriber counts what reached the broker.
//
//   publish_cost_bench [seconds a round] [rounds]    (default 10, 5)
// Prints "publish_cost.name=value" lines, and one line a round.

#include "bench_figures.h"
#include "mosquitto_broker.h"
#include "process_cpu.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>
#include <string>

namespace {

class Console {
public:
    Console(const QStringList& arguments) {
        simulator_.start(KELMORA_SIM_PATH, {"--stream", "360"});
        simulator_.waitForReadyRead(10'000);
        const QString device = QString::fromLocal8Bit(simulator_.readLine()).trimmed();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        console_.setProcessEnvironment(environment);
        console_.start(KELMORA_RECORDING_CONSOLE_PATH, QStringList{"--port", device} + arguments);
        console_.waitForReadyRead(10'000);
        opened_ = console_.readLine().startsWith("open");
    }
    ~Console() {
        console_.kill();
        simulator_.kill();
        console_.waitForFinished();
        simulator_.waitForFinished();
    }
    bool opened() const { return opened_; }
    long long cpuNanoseconds() const { return bench::cpuNanoseconds(console_.processId()); }
    // "facts <resident KiB> <history bytes> <history lines>"
    QList<QByteArray> facts() {
        console_.write("facts\n");
        console_.waitForBytesWritten();
        while (console_.waitForReadyRead(10'000)) {
            while (console_.canReadLine()) {
                const QByteArray line = console_.readLine().trimmed();
                if (line.startsWith("facts ")) {
                    return line.split(' ');
                }
            }
        }
        return {};
    }

private:
    QProcess simulator_;
    QProcess console_;
    bool opened_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    QTemporaryDir folder;
    MosquittoBroker broker(folder.path().toStdString());
    if (!broker.start()) {
        std::fprintf(stderr, "publish_cost_bench: %s\n", broker.problem().c_str());
        return 1;
    }
    TopicLog subscriber(broker.port());
    Console off({});
    Console on({"--mqtt", QString::fromStdString(broker.url()), "--mqtt-machine", "bench"});
    if (!off.opened() || !on.opened()) {
        std::fprintf(stderr, "publish_cost_bench: a console did not open its port\n");
        return 1;
    }
    QThread::sleep(2); // past start-up
    double offPercentSum = 0;
    double onPercentSum = 0;
    long long offLines = 0;
    long long onLines = 0;
    const std::size_t messagesBefore = subscriber.size();
    for (int round = 0; round < rounds; ++round) {
        const auto started = bench::Clock::now();
        const long long offCpu = off.cpuNanoseconds();
        const long long onCpu = on.cpuNanoseconds();
        const long long offCount = off.facts().value(3).toLongLong();
        const long long onCount = on.facts().value(3).toLongLong();
        QThread::sleep(static_cast<unsigned long>(seconds));
        const double elapsed = bench::secondsSince(started);
        const double offPercent = 100.0 * double(off.cpuNanoseconds() - offCpu) / 1e9 / elapsed;
        const double onPercent = 100.0 * double(on.cpuNanoseconds() - onCpu) / 1e9 / elapsed;
        const long long offLogged = off.facts().value(3).toLongLong() - offCount;
        const long long onLogged = on.facts().value(3).toLongLong() - onCount;
        std::printf("round %d: publishing off %.2f %% (%lld lines), on %.2f %% (%lld lines)\n",
                    round + 1, offPercent, offLogged, onPercent, onLogged);
        offPercentSum += offPercent;
        onPercentSum += onPercent;
        offLines += offLogged;
        onLines += onLogged;
    }
    const double total = double(seconds) * rounds;
    bench::print("publish_cost", "console_cpu_percent_publishing_off", offPercentSum / rounds);
    bench::print("publish_cost", "console_cpu_percent_publishing_on", onPercentSum / rounds);
    bench::print("publish_cost", "lines_logged_a_second_off", double(offLines) / total);
    bench::print("publish_cost", "lines_logged_a_second_on", double(onLines) / total);
    bench::print("publish_cost", "messages_delivered_a_second",
                 double(subscriber.size() - messagesBefore) / total);
    const std::string resident = on.facts().value(1).toStdString();
    bench::print("publish_cost", "resident_kib_publishing_on", std::stod(resident));
    bench::print("publish_cost", "resident_kib_publishing_off",
                 std::stod(off.facts().value(1).toStdString()));
    return 0;
}
