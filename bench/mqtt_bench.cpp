// Publishing over MQTT at the line's rate: N simulators streaming 360 status
// frames a second, each watched by a kelmora-ctl publishing into one local
// mosquitto, and one subscriber to everything. For N = 1, 10, 50 (or the
// counts given) it prints the messages a second the subscriber got, the
// latency from a status block's arrival (its received_ms) to the
// subscriber (same clock: one machine), p50 and p99, and each publisher's
// CPU, mean and max. Beside it, one watch without --mqtt: the difference is
// what publishing costs.
//
//   mqtt_bench [seconds] [N ...]     (default 10 s; 1 10 50)
// Prints "mqtt.name=value" lines.

#include "bench_figures.h"
#include "mosquitto_broker.h"
#include "process_cpu.h"

#include <mosquitto.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Received {
    std::mutex mutex;
    long long messages = 0;
    std::vector<double> latenciesMs;
    bool counting = false;
};

void OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    const long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    auto* received = static_cast<Received*>(self);
    std::string_view topic(message->topic);
    double latency = -1;
    if (topic.size() > 7 && topic.substr(topic.size() - 7) == "/status") {
        const auto status = nlohmann::json::parse(
            static_cast<const char*>(message->payload),
            static_cast<const char*>(message->payload) + message->payloadlen, nullptr, false);
        if (!status.is_discarded() && !message->retain) {
            latency = static_cast<double>(now - status.value("received_ms", now));
        }
    }
    std::lock_guard lock(received->mutex);
    if (received->counting) {
        ++received->messages;
        if (latency >= 0) {
            received->latenciesMs.push_back(latency);
        }
    }
}

QString StartSimulator(QProcess& simulator) {
    simulator.start(KELMORA_SIM_PATH, {"--stream", "360"});
    if (!simulator.waitForReadyRead(5000)) {
        return {};
    }
    return QString::fromLocal8Bit(simulator.readLine()).trimmed();
}

void Stop(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

struct Machine {
    QProcess simulator;
    QProcess watch;
};

// N machines for `seconds`; false when one did not start.
bool Measure(const std::string& url, Received& received, int machines, int seconds, bool publish) {
    std::vector<std::unique_ptr<Machine>> all;
    for (int i = 0; i < machines; ++i) {
        auto machine = std::make_unique<Machine>();
        const QString device = StartSimulator(machine->simulator);
        if (device.isEmpty()) {
            std::fprintf(stderr, "mqtt_bench: kelmora-sim named no device\n");
            return false;
        }
        QStringList arguments{"--port", device, "watch", "--stream"};
        if (publish) {
            arguments << "--mqtt" << QString::fromStdString(url) << "--mqtt-machine"
                      << QString("bench%1").arg(i);
        }
        machine->watch.setStandardOutputFile(QProcess::nullDevice());
        machine->watch.setStandardErrorFile(QProcess::nullDevice());
        machine->watch.start(KELMORA_CTL_PATH, arguments);
        all.push_back(std::move(machine));
    }
    // Settled: connected, and what waited in the lines before is out.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::vector<long long> cpuBefore;
    for (const auto& machine : all) {
        cpuBefore.push_back(bench::cpuNanoseconds(machine->watch.processId()));
    }
    {
        std::lock_guard lock(received.mutex);
        received.messages = 0;
        received.latenciesMs.clear();
        received.counting = true;
    }
    const auto start = bench::Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double elapsed = bench::secondsSince(start);
    std::vector<double> cpu;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const long long used = bench::cpuNanoseconds(all[i]->watch.processId()) - cpuBefore[i];
        cpu.push_back(100.0 * double(used) / 1e9 / elapsed);
    }
    std::vector<double> latencies;
    long long messages = 0;
    {
        std::lock_guard lock(received.mutex);
        received.counting = false;
        messages = received.messages;
        latencies = received.latenciesMs;
    }
    const std::string name = (publish ? "n" : "without_mqtt_n") + std::to_string(machines) + "_";
    double sum = 0;
    double max = 0;
    for (const double c : cpu) {
        sum += c;
        max = std::max(max, c);
    }
    bench::print("mqtt", (name + "watch_cpu_mean_percent").c_str(), sum / double(cpu.size()));
    bench::print("mqtt", (name + "watch_cpu_max_percent").c_str(), max);
    if (publish) {
        bench::print("mqtt", (name + "messages_per_second").c_str(), double(messages) / elapsed);
        bench::print("mqtt", (name + "status_messages").c_str(), double(latencies.size()));
        if (!latencies.empty()) {
            const bench::Summary s = bench::summarize(latencies);
            bench::print("mqtt", (name + "latency_p50_ms").c_str(), s.median);
            bench::print("mqtt", (name + "latency_p99_ms").c_str(), s.p99);
        }
    }
    for (const auto& machine : all) {
        Stop(machine->watch);
        Stop(machine->simulator);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i) {
        counts.push_back(std::max(1, std::atoi(argv[i])));
    }
    if (counts.empty()) {
        counts = {1, 10, 50};
    }
    QTemporaryDir dir;
    MosquittoBroker broker(dir.path().toStdString(), "max_queued_messages 100000\n");
    if (!broker.start()) {
        std::fprintf(stderr, "mqtt_bench: %s\n", broker.problem().c_str());
        return 1;
    }
    mosquitto_lib_init();
    Received received;
    mosquitto* subscriber = mosquitto_new(nullptr, true, &received);
    mosquitto_message_callback_set(subscriber, OnMessage);
    if (mosquitto_connect(subscriber, "127.0.0.1", broker.port(), 30) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "mqtt_bench: the subscriber did not connect\n");
        return 1;
    }
    mosquitto_subscribe(subscriber, nullptr, "kelmora/#", 0);
    mosquitto_loop_start(subscriber);
    bench::print("mqtt", "seconds", seconds);
    bench::print("mqtt", "line_rate_per_second", bench::kLineStatusFramesPerSecond);
    bool ok = Measure(broker.url(), received, 1, seconds, false);
    for (const int n : counts) {
        ok = ok && Measure(broker.url(), received, n, seconds, true);
    }
    mosquitto_disconnect(subscriber);
    mosquitto_loop_stop(subscriber, true);
    mosquitto_destroy(subscriber);
    return ok ? 0 : 1;
}
