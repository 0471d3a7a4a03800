// Publishing to MQTT: the messages against kelmora-history's CSV, the
// settings, and kelmora-ctl watch --mqtt against the real simulator and a
// real mosquitto, healthy and in trouble.

#include "mosquitto_broker.h"
#include "simulator_process.h"

#include <history_entry.h>
#include <history_reader.h>
#include <mqtt_messages.h>
#include <mqtt_settings.h>

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <nlohmann/json.hpp>

#include <csignal>
#include <thread>

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
    const QStringList names =
        QString::fromLatin1(kHistoryCsvHeader.data(), static_cast<int>(kHistoryCsvHeader.size()))
            .split(',');
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

bool IsTrue(const TopicLog::Message& m) {
    return m.payload == "true";
}
bool IsFalse(const TopicLog::Message& m) {
    return m.payload == "false";
}
bool Retained(const TopicLog::Message& m) {
    return m.retained;
}
bool PortClosed(const TopicLog::Message& m) {
    return json::parse(m.payload).at("open") == false;
}

// kelmora-ctl with its output in files, read as it runs.
class Ctl {
public:
    Ctl(const QTemporaryDir& dir, const QStringList& arguments, const QString& name = "ctl") {
        out_ = dir.filePath(name + ".out");
        err_ = dir.filePath(name + ".err");
        process_.setStandardOutputFile(out_);
        process_.setStandardErrorFile(err_);
        process_.start(QStringLiteral(KELMORA_CTL_PATH), arguments);
        process_.waitForStarted();
    }
    ~Ctl() {
        process_.kill();
        process_.waitForFinished();
    }
    QByteArray file(const QString& path) const {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
    QByteArray err() const { return file(err_); }
    QByteArray out() const { return file(out_); }
    // Waits for the words on standard error (or the end of the program).
    bool said(const char* words, int seconds = 20) {
        for (int i = 0; i < seconds * 20; ++i) {
            if (err().contains(words)) {
                return true;
            }
            if (process_.state() == QProcess::NotRunning) {
                return err().contains(words);
            }
            process_.waitForFinished(50);
        }
        return false;
    }
    int stop(int signal) {
        kill(static_cast<pid_t>(process_.processId()), signal);
        process_.waitForFinished(30000);
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    int finish() {
        process_.waitForFinished(30000);
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

private:
    QProcess process_;
    QString out_;
    QString err_;
};

QStringList Watch(const SimulatorProcess& sim, const QString& url, const QStringList& more = {}) {
    return QStringList{"watch",  "--stream", "--json",         "--port", sim.devicePath(),
                       "--mqtt", url,        "--mqtt-machine", "m1"} +
           more;
}

void WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text);
}

} // namespace

class MqttTest : public QObject {
    Q_OBJECT

private slots:
    void messagesCarryTheCsvColumns() {
        QRandomGenerator random(QRandomGenerator::global()->generate());
        for (int round = 0; round < 2000; ++round) {
            ReceivedBlock block;
            for (auto& byte : block) {
                byte = static_cast<std::uint8_t>(random.bounded(256));
            }
            const std::string in = ReceivedLine(block, random.bounded(100000));
            const auto at =
                WallClock::time_point(std::chrono::milliseconds(random.generate64() >> 24));
            const json status = json::parse(StatusJson(in, at, 7));
            ExpectCsvColumns(status.dump());
            QCOMPARE(status.at("received_ms").get<long long>(),
                     std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch())
                         .count());
            QCOMPARE(status.at("received").get<std::string>(), IsoUtcText(at));
            CommandFrame frame;
            for (auto& byte : frame) {
                byte = static_cast<std::uint8_t>(random.bounded(256));
            }
            std::string out;
            for (const std::uint8_t byte : frame) {
                out += QByteArray(1, static_cast<char>(byte)).toHex().toUpper().toStdString();
            }
            ExpectCsvColumns(FrameJson(out, at, 1));
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
        const std::vector<std::string> problems{
            "f:4: machine has no value", "f:5: unknown key \"password\" (a password is kept",
            "f:7: user is given a second time", "f:8: not a \"key = value\" line",
            "f:9: unknown key \"colour\""};
        QCOMPARE(file.problems.size(), problems.size());
        for (std::size_t i = 0; i < problems.size(); ++i) {
            QVERIFY2(file.problems[i].rfind(problems[i], 0) == 0, file.problems[i].c_str());
        }
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
        QVERIFY(log.waitFor("kelmora/m1/online", 20, 0, IsTrue) >= 0);
        const int status = log.waitFor("kelmora/m1/status", 20);
        QVERIFY(status >= 0);
        ExpectCsvColumns(log.at(status).payload);
        const int frame = log.waitFor("kelmora/m1/frames", 20);
        QVERIFY(frame >= 0);
        ExpectCsvColumns(log.at(frame).payload);
        const json port = json::parse(log.at(log.waitFor("kelmora/m1/port", 20)).payload);
        QCOMPARE(port.at("device").get<std::string>(), sim.devicePath().toStdString());
        QCOMPARE(port.at("open").get<bool>(), true);
        {
            TopicLog late(broker.port());
            for (const char* topic : {"/status", "/online", "/port"}) {
                QVERIFY2(late.waitFor(topic, 20, 0, Retained) >= 0, topic);
            }
        }
        // Killed: the broker's will says it is gone.
        std::size_t from = log.size();
        QCOMPARE(ctl->stop(SIGKILL), -1);
        QVERIFY(log.waitFor("/online", 20, from, IsFalse) >= 0);
        // Stopped: the port closed, then offline, then exit 0.
        ctl = std::make_unique<Ctl>(dir, Watch(sim, QString::fromStdString(broker.url())));
        QVERIFY(ctl->said("MQTT: connected"));
        from = log.size();
        QCOMPARE(ctl->stop(SIGTERM), 0);
        const int closed = log.waitFor("/port", 20, from, PortClosed);
        QVERIFY(closed >= 0);
        QVERIFY(log.waitFor("/online", 20, static_cast<std::size_t>(closed), IsFalse) >= 0);
        QVERIFY(ctl->err().contains(" frames dropped"));
    }

    void brokerFaults_data() {
        QTest::addColumn<QString>("fault");
        for (const char* fault : {"absent at start", "killed and restarted", "wrong password",
                                  "stops reading", "tls with a test CA"}) {
            QTest::newRow(fault) << QString::fromLatin1(fault);
        }
    }

    void brokerFaults() {
        QFETCH(QString, fault);
        QTemporaryDir dir;
        const std::string d = dir.path().toStdString();
        std::string extra;
        int tlsPort = 0;
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
            QProcess openssl;
            openssl.setWorkingDirectory(dir.path());
            openssl.start("sh", {"-c", sh});
            QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
            tlsPort = MosquittoBroker::FreePort();
            extra = "listener " + std::to_string(tlsPort) + " 127.0.0.1\ncafile " + d +
                    "/ca.crt\ncertfile " + d + "/s.crt\nkeyfile " + d + "/s.key\n";
            url = QString("mqtts://localhost:%1").arg(tlsPort);
            WriteText(dir.filePath("mqtt.conf"), "ca_file = ca.crt\n");
            more = QStringList{"--mqtt-config", dir.filePath("mqtt.conf")};
        }
        MosquittoBroker broker(d, extra);
        if (url.isEmpty()) {
            url = QString::fromStdString(broker.url());
        }
        const bool stall = fault == "stops reading";
        const int blocks = stall ? 100000 : 0;
        SimulatorProcess sim(
            stall ? QStringList{"--stream", "max", "--frames", QString::number(blocks)}
                  : QStringList{"--stream", "50"});
        QVERIFY(sim.isReady());
        if (stall) {
            kill(static_cast<pid_t>(sim.pid()), SIGSTOP);
        }
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
            QVERIFY2(ctl->err().contains("MQTT: refused by") &&
                         ctl->err().contains("; nothing") == false,
                     ctl->err().constData());
            return;
        }
        QVERIFY2(ctl->said("MQTT: connected"), ctl->err().constData());
        QVERIFY(stall || log.waitFor("kelmora/m1/status", 20) >= 0);
        if (fault == "killed and restarted") {
            broker.signal(SIGKILL);
            QVERIFY(ctl->said("MQTT: retrying in 1 s"));
            QVERIFY(broker.start());
            const std::size_t from = log.size();
            QVERIFY(log.waitFor("kelmora/m1/online", 30, from, IsTrue) >= 0);
            QVERIFY(log.waitFor("kelmora/m1/status", 20, from) >= 0);
        }
        if (stall) {
            // Every block read while the broker takes nothing; the frames
            // beyond the queue are dropped and counted, not kept.
            broker.signal(SIGSTOP);
            kill(static_cast<pid_t>(sim.pid()), SIGCONT);
            const int code = ctl->finish(); // the simulator ends: the line is lost
            QCOMPARE(code, 3);
            QCOMPARE(ctl->out().count("\"type\":\"status\""), blocks);
            const QByteArray err = ctl->err();
            const QRegularExpression counts("(\\d+) of (\\d+) frames published, (\\d+) frames");
            const auto match = counts.match(QString::fromUtf8(err));
            QVERIFY2(match.hasMatch(), err.constData());
            QCOMPARE(match.captured(2).toInt(), blocks);
            QCOMPARE(match.captured(1).toInt() + match.captured(3).toInt(), blocks);
            QVERIFY2(match.captured(3).toInt() > blocks / 2, err.constData());
            broker.signal(SIGCONT);
            return;
        }
        QCOMPARE(ctl->stop(SIGTERM), 0);
    }
};

QTEST_GUILESS_MAIN(MqttTest)
#include "mqtt_test.moc"
