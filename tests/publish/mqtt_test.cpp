// Publishing to MQTT: the messages against kelmora-history's CSV, the
// settings, and kelmora-ctl watch --mqtt against the real simulator and a
// real mosquitto, healthy and in trouble.

#include "mosquitto_broker.h"
#include "simulator_process.h"

#include <history_entry.h>
#include <history_reader.h>
#include <mqtt_messages.h>
#include <mqtt_settings.h>

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <nlohmann/json.hpp>

#include <csignal>
#include <cstring>

using nlohmann::json;

namespace {

// Every CSV column but the file's own index is in the message, alike.
void ExpectCsvColumns(const std::string& message) {
    const json object = json::parse(message);
    const std::string raw = object.at("raw");
    const auto entry = ParseHistoryEntry(raw);
    QVERIFY2(entry, raw.c_str());
    std::string row;
    AppendCsvRow(1, raw, *entry, row);
    QStringList cells = QString::fromStdString(row).split(',');
    const QStringList names = QString::fromStdString(std::string(kHistoryCsvHeader)).split(',');
    for (int i = 1; i < names.size() - 1; ++i) {
        const std::string name = names[i].toStdString();
        const std::string value = !object.contains(name)     ? ""
                                  : object[name].is_string() ? object[name].get<std::string>()
                                                             : object[name].dump();
        QCOMPARE(QString::fromStdString(value), cells[i]);
    }
    if (object.contains("received")) { // a status: its lamps too
        QCOMPARE(object.at("emergency").get<bool>(), ((entry->status.switchFlags >> 4) & 1) != 0);
        QCOMPARE(object.at("boost").get<bool>(), ((entry->status.auxiliaryFlags >> 7) & 1) != 0);
    }
}

// kelmora-ctl with its output in files, read as it runs.
class Ctl {
public:
    Ctl(const QTemporaryDir& dir, const QStringList& arguments, const QStringList& environment = {})
        : out_(dir.filePath("ctl.out")), err_(dir.filePath("ctl.err")) {
        process_.setEnvironment(QProcess::systemEnvironment() + environment);
        process_.setStandardOutputFile(out_);
        process_.setStandardErrorFile(err_);
        process_.start(QStringLiteral(KELMORA_CTL_PATH), arguments);
        process_.waitForStarted();
    }
    static QByteArray file(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray err() const { return file(err_); }
    // Waits for the words on standard error (or the end of the program).
    bool runs() { return !process_.waitForFinished(50); }
    bool said(const char* words) {
        for (int i = 0; i < 400 && !err().contains(words) && runs(); ++i) {
        }
        return err().contains(words);
    }
    int stop(int signal) {
        kill(static_cast<pid_t>(process_.processId()), signal);
        return finish();
    }
    int finish() {
        process_.waitForFinished(30000);
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

private:
    QString out_;
    QString err_;
    QProcess process_;
};

QStringList Watch(const SimulatorProcess& sim, const QString& url, const QStringList& more = {}) {
    return QStringList{"watch",  "--stream", "--json",         "--port", sim.devicePath(),
                       "--mqtt", url,        "--mqtt-machine", "m1"} +
           more;
}

void WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
}

} // namespace

class MqttTest : public QObject {
    Q_OBJECT

private slots:
    void messagesCarryTheCsvColumns() {
        QRandomGenerator random(QRandomGenerator::global()->generate());
        for (int round = 0; round < 2000; ++round) {
            ReceivedBlock block;
            CommandFrame frame;
            quint32 bits[24];
            random.fillRange(bits);
            std::memcpy(block.data(), bits, 32);
            std::memcpy(frame.data(), bits + 8, 64);
            const std::string in = ReceivedLine(block, random.bounded(100000));
            const auto at =
                WallClock::time_point(std::chrono::milliseconds(random.generate64() >> 24));
            const json status = json::parse(StatusJson(in, at, 7));
            ExpectCsvColumns(status.dump());
            QCOMPARE(status.at("received_ms").get<long long>(),
                     std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch())
                         .count());
            QCOMPARE(status.at("received").get<std::string>(), IsoUtcText(at));
            const QByteArray out = QByteArray(reinterpret_cast<const char*>(frame.data()), 64);
            ExpectCsvColumns(FrameJson(out.toHex().toUpper().toStdString(), at, 1));
            ExpectCsvColumns(FrameJson(in, at, 1));
        }
        QVERIFY(StatusJson("00FF", WallClock::now(), 1).empty());
        QCOMPARE(IsoUtcText(WallClock::time_point(std::chrono::milliseconds(-1))),
                 std::string("1969-12-31T23:59:59.999Z"));
    }

    void settingsAndUrls() {
        const std::pair<const char*, const char*> urls[] = {
            {"mqtt://h", "h:1883"},           {"mqtts://h", "h:8883 tls"},
            {"mqtt://[::1]:99/", "::1:99"},   {"mqtt://u:p@h", "holds a user"},
            {"http://h", "does not start"},   {"mqtt://h:0", "no port"},
            {"mqtt://h:65536", "no port"},    {"mqtt://:1", "names no host"},
            {"mqtt://h:", "no port after"},   {"mqtt://h/t", "more than"},
            {"mqtt://[::1", "does not close"}};
        for (const auto& [text, expected] : urls) {
            const MqttUrlOutcome url = ParseMqttUrl(text);
            const std::string got = url.url ? url.url->host + ":" + std::to_string(url.url->port) +
                                                  (url.url->tls ? " tls" : "")
                                            : url.reason;
            QVERIFY2(got.find(expected) != std::string::npos, (text + (" -> " + got)).c_str());
        }
        const MqttSettingsText file = ParseMqttSettingsText(
            "# c\n\nurl = mqtt://h\nmachine=\npassword = x\nuser = a\nuser = b\nnot a pair\n"
            "colour = red\n",
            "f");
        std::string all;
        for (const std::string& problem : file.problems) {
            all += problem.substr(0, problem.find(" (")) + "|";
        }
        QCOMPARE(all, std::string("f:4: machine has no value|f:5: unknown key \"password\"|f:7: "
                                  "user is given a second time|f:8: not a \"key = value\" "
                                  "line|f:9: unknown key \"colour\"|"));
        QCOMPARE(*file.url, std::string("mqtt://h"));
        QVERIFY(LoadMqttSettings({"", false, "mqtt://h", "a/b"}).problem.find("topic level") !=
                std::string::npos);
        QVERIFY(!LoadMqttSettings({"/none", true, "mqtt://h", ""}).settings);
    }

    void publishesEveryTopicToARealBroker() {
        QTemporaryDir dir;
        MosquittoBroker broker(dir.path().toStdString());
        QVERIFY2(broker.start(), broker.problem().c_str());
        TopicLog log(broker.port());
        SimulatorProcess sim({"--stream", "50"});
        QVERIFY(sim.isReady());
        auto ctl = std::make_unique<Ctl>(dir, Watch(sim, QString::fromStdString(broker.url())));
        QVERIFY(log.waitFor("kelmora/m1/online", 0, "true") >= 0);
        for (const char* topic : {"kelmora/m1/status", "kelmora/m1/frames"}) {
            const int index = log.waitFor(topic);
            QVERIFY2(index >= 0, topic);
            ExpectCsvColumns(log.at(index).payload);
        }
        const std::string open =
            "{\"device\":\"" + sim.devicePath().toStdString() + "\",\"open\":true}";
        QVERIFY(log.waitFor("kelmora/m1/port", 0, open) >= 0);
        {
            TopicLog late(broker.port());
            for (const char* topic : {"/status", "/online", "/port"}) {
                QVERIFY2(late.waitFor(topic, 0, "", true) >= 0, topic);
            }
        }
        // Killed: the broker's will says it is gone.
        std::size_t from = log.size();
        QCOMPARE(ctl->stop(SIGKILL), -1);
        QVERIFY(log.waitFor("/online", from, "false") >= 0);
        // Stopped: the port closed, then offline, then exit 0.
        ctl = std::make_unique<Ctl>(dir, Watch(sim, QString::fromStdString(broker.url())));
        QVERIFY(ctl->said("MQTT: connected"));
        from = log.size();
        QCOMPARE(ctl->stop(SIGTERM), 0);
        const int closed = log.waitFor("/port", from, "\"open\":false");
        QVERIFY(closed >= 0);
        QVERIFY(log.waitFor("/online", static_cast<std::size_t>(closed), "false") >= 0);
        QVERIFY(ctl->err().contains(" frames dropped"));
    }

    void brokerFaults_data() {
        QTest::addColumn<QString>("fault");
        for (const char* fault : {"absent at start", "killed and restarted", "wrong password",
                                  "stops reading", "tls with a test CA", "library missing"}) {
            QTest::newRow(fault) << QString::fromLatin1(fault);
        }
    }

    void brokerFaults() {
        QFETCH(QString, fault);
        QTemporaryDir dir;
        const std::string d = dir.path().toStdString();
        std::string extra;
        QString url;
        QStringList more;
        if (fault == "wrong password") {
            QCOMPARE(QProcess::execute("mosquitto_passwd",
                                       {"-b", "-c", dir.filePath("passwd"), "op", "right"}),
                     0);
            extra = "password_file " + d + "/passwd\n";
            WriteText(dir.filePath("pw"), "wrong\n");
            WriteText(dir.filePath("mqtt.conf"), "user = op\npassword_file = pw\n");
            more = QStringList{"--mqtt-config", dir.filePath("mqtt.conf")};
        } else if (fault == "tls with a test CA") {
            const QString sh = QStringLiteral(
                "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=ca -keyout ca.key "
                "-out ca.crt && openssl req -newkey rsa:2048 -nodes -subj /CN=localhost -keyout "
                "s.key -out s.csr && printf 'subjectAltName=DNS:localhost,IP:127.0.0.1' > x && "
                "openssl x509 -req -in s.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 "
                "-extfile x -out s.crt");
            QCOMPARE(QProcess::execute("sh", {"-c", "cd '" + dir.path() + "' && " + sh}), 0);
            const int tlsPort = MosquittoBroker::FreePort();
            extra = "listener " + std::to_string(tlsPort) + " 127.0.0.1\ncafile " + d +
                    "/ca.crt\ncertfile " + d + "/s.crt\nkeyfile " + d + "/s.key\n";
            url = QString("mqtts://127.0.0.1:%1").arg(tlsPort);
            WriteText(dir.filePath("mqtt.conf"), "ca_file = ca.crt\n");
            more = QStringList{"--mqtt-config", dir.filePath("mqtt.conf")};
        }
        MosquittoBroker broker(d, extra);
        url = url.isEmpty() ? QString::fromStdString(broker.url()) : url;
        if (fault == "library missing") {
            // An installation without a loadable libmosquitto: said, and the
            // watch goes on without publishing.
            QVERIFY(QDir(dir.path()).mkdir("lib"));
            WriteText(dir.filePath("lib/libmosquitto.so.1"), "not a library");
            SimulatorProcess sim({"--stream", "50"});
            QVERIFY(sim.isReady());
            Ctl ctl(dir, Watch(sim, url), {"LD_LIBRARY_PATH=" + dir.filePath("lib")});
            QVERIFY2(ctl.said("MQTT: stopped: libmosquitto could not be loaded"),
                     ctl.err().constData());
            QVERIFY(ctl.runs());
            QCOMPARE(ctl.stop(SIGTERM), 0);
            return;
        }
        const bool stall = fault == "stops reading";
        SimulatorProcess sim({"--stream", stall ? "max" : "50"});
        QVERIFY(sim.isReady());
        QVERIFY(!stall || kill(static_cast<pid_t>(sim.pid()), SIGSTOP) == 0);
        std::unique_ptr<Ctl> ctl;
        if (fault == "absent at start") {
            ctl = std::make_unique<Ctl>(dir, Watch(sim, url, more));
            QVERIFY(ctl->said("MQTT: retrying in 1 s"));
        }
        QVERIFY2(broker.start(), broker.problem().c_str());
        TopicLog log(broker.port());
        if (!ctl) {
            ctl = std::make_unique<Ctl>(dir, Watch(sim, url, more));
        }
        if (fault == "wrong password") {
            QCOMPARE(ctl->finish(), 6);
            QVERIFY2(ctl->err().contains("MQTT: refused by"), ctl->err().constData());
            return;
        }
        QVERIFY2(ctl->said("MQTT: connected"), ctl->err().constData());
        QVERIFY(stall || log.waitFor("kelmora/m1/status") >= 0);
        if (fault == "killed and restarted") {
            broker.signal(SIGKILL);
            QVERIFY(ctl->said("MQTT: retrying in 1 s"));
            QVERIFY(broker.start());
            const std::size_t from = log.size();
            QVERIFY(log.waitFor("kelmora/m1/online", from, "true") >= 0);
            QVERIFY(log.waitFor("kelmora/m1/status", from) >= 0);
        }
        if (stall) {
            // The broker takes nothing: still every block is read, printed and
            // handed over; the frames beyond the queue are dropped, not kept.
            broker.signal(SIGSTOP);
            kill(static_cast<pid_t>(sim.pid()), SIGCONT);
            QFile out(dir.filePath("ctl.out"));
            QVERIFY(out.open(QIODevice::ReadOnly));
            qint64 lines = 0;
            for (int i = 0; i < 2400 && lines < 100000 && ctl->runs(); ++i) {
                lines += out.readAll().count('\n');
            }
            QVERIFY2(lines >= 100000, ctl->err().constData());
            QCOMPARE(ctl->stop(SIGTERM), 0);
            const QRegularExpression counts("(\\d+) of (\\d+) frames published, (\\d+) frames");
            const auto match = counts.match(QString::fromUtf8(ctl->err()));
            QVERIFY2(match.hasMatch(), ctl->err().constData());
            const long long given = match.captured(2).toLongLong();
            QCOMPARE(match.captured(1).toLongLong() + match.captured(3).toLongLong(), given);
            QVERIFY2(match.captured(3).toLongLong() > given / 2, ctl->err().constData());
            QCOMPARE(lines + out.readAll().count('\n'), given);
            broker.signal(SIGCONT);
            return;
        }
        QCOMPARE(ctl->stop(SIGTERM), 0);
    }
};

QTEST_GUILESS_MAIN(MqttTest)
#include "mqtt_test.moc"
