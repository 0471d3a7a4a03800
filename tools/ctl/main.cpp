// kelmora-ctl: the console's commands from a shell, a script or a CI job,
// without its window. Exit statuses: 0 done, 1 usage, 2 bad input (nothing
// sent), 3 the line failed or is in use, 4 no answer in time, 5 the
// controller reported an error or an expect failed, 6 the MQTT broker
// refused the user or password; 128 + the signal when stopped by one.

#include "ctl_arguments.h"
#include "ctl_output.h"
#include "job_file.h"
#include "job_runner.h"
#include "line_session.h"
#include "mqtt_feed.h"
#include "port_listing.h"
#include "stop_signals.h"

#include <history_model.h>
#include <history_recorder.h>
#include <port_settings_text.h>

#include <QCoreApplication>
#include <QDateTime>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

int Finish(ExitStatus exit) {
    return static_cast<int>(exit);
}

// The history and its recorder for --record; empty without it.
struct Recording {
    std::unique_ptr<HistoryModel> history;
    std::unique_ptr<HistoryRecorder> recorder;
};

} // namespace

int main(int argc, char** argv) {
    const ArgumentsOutcome arguments = ParseArguments(argc, argv);
    if (!arguments.options) {
        std::FILE* to = arguments.exit == ExitStatus::Done ? stdout : stderr;
        std::fprintf(to, "%s%s\n", arguments.exit == ExitStatus::Done ? "" : "kelmora-ctl: ",
                     arguments.text.c_str());
        return Finish(arguments.exit);
    }
    const CtlOptions& options = *arguments.options;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelmora-ctl"));
    CtlOutput output(options.format, stdout, stderr);

    if (options.mode == RunMode::Ports) {
        return Finish(ListPorts(output));
    }

    // Everything is checked before the line is opened: bad input sends nothing.
    std::vector<Step> steps{options.step};
    if (options.mode == RunMode::Job) {
        JobFile job = ReadJobFile(options.jobPath);
        if (!job.ok()) {
            output.notice(job.problem + "; nothing was sent");
            return Finish(ExitStatus::BadInput);
        }
        steps = std::move(job.steps);
    }
    const PortSettingsAcceptance port = AcceptPortSettings(QString::fromStdString(options.port),
                                                           QString::fromStdString(options.baud));
    if (!port.ok()) {
        output.notice(port.reason.toStdString() + "; nothing was sent");
        return Finish(ExitStatus::BadInput);
    }
    const QString settings = QString::number(port.speed) + QStringLiteral(",n,8,1");
    std::optional<MqttSettings> mqtt;
    if (options.mode == RunMode::Watch &&
        !(options.mqttUrl.empty() && options.mqttMachine.empty() && options.mqttConfig.empty())) {
        const MqttSettingsOutcome loaded = LoadMqttSettings(
            {options.mqttConfig.empty() ? DefaultMqttConfigFile() : options.mqttConfig,
             !options.mqttConfig.empty(), options.mqttUrl, options.mqttMachine});
        if (!loaded.settings) {
            output.notice((loaded.problem.empty() ? "no broker to publish to: give --mqtt URL or "
                                                    "a url in the MQTT settings file"
                                                  : loaded.problem) +
                          "; nothing was sent");
            return Finish(ExitStatus::BadInput);
        }
        mqtt = loaded.settings;
    }

    LineSession session;
    StopSignals stopSignals([&session](int signal) { session.requestStop(signal); });
    output.setOnClosed([&session] { session.requestStop(SIGPIPE); });
    Recording recording;
    if (!options.record.empty()) {
        recording.history = std::make_unique<HistoryModel>();
        recording.recorder =
            std::make_unique<HistoryRecorder>(*recording.history, KELMORA_VERSION_TEXT);
        const QString refused = recording.recorder->start(QString::fromStdString(options.record),
                                                          QDateTime::currentDateTime(),
                                                          CapturedLine{port.port, settings});
        if (!refused.isEmpty()) {
            output.notice(refused.toStdString() + "; nothing was sent");
            return Finish(ExitStatus::BadInput);
        }
        session.setRecording(recording.history.get(), recording.recorder.get());
    }

    std::unique_ptr<MqttFeed> feed;
    if (mqtt) {
        feed = std::make_unique<MqttFeed>(*mqtt, session, output);
        feed->start();
    }
    const SerialResult opened = session.open(port.port, settings);
    const std::string device = port.port.toStdString();
    ExitStatus exit = ExitStatus::LineFailed;
    if (!opened.ok) {
        output.notice(opened.reason.toStdString());
        if (feed) {
            feed->portClosed(device, opened.reason.toStdString());
        }
    } else {
        if (feed) {
            feed->portOpened(device);
        }
        JobRunner runner(session, output, options);
        output.begin();
        switch (options.mode) {
        case RunMode::Status:
            exit = runner.printStatus();
            break;
        case RunMode::Watch:
            exit = runner.watch();
            break;
        default:
            exit = runner.run(steps);
            break;
        }
        session.close();
        if (feed) {
            feed->portClosed(device, session.lostReason().toStdString());
        }
    }
    if (feed) {
        feed->stop();
        if (feed->credentialsRefused()) {
            exit = ExitStatus::BrokerRefused;
        }
    }
    if (recording.recorder) {
        const QString incomplete = recording.recorder->stop();
        if (!incomplete.isEmpty()) {
            output.notice("the recording " + options.record +
                          " is incomplete: " + incomplete.toStdString());
            if (exit == ExitStatus::Done) {
                exit = ExitStatus::LineFailed;
            }
        }
    }
    return Finish(exit);
}
