// The console as main.cpp builds it, for the tests and benchmarks of the
// recording that must kill it or read its CPU time: it opens the port named
// by --port at once and then takes orders on stdin, one a line, answering
// each on stdout:
//
//   record FILE  File > Record History to File... with FILE chosen
//                -> "recording <entries written at the start>" (or
//                "refused <status bar text>")
//   stop         untick the entry -> "stopped <lines logged while recording>
//                <entries written> <most bytes pending> <resident KiB>
//                <history bytes>"
//   play         the operator's round, one command every 40 ms: drive X / Y
//                in steps, drive Z / C in millimetres, set the zero point,
//                switch spindle and cooling, change to mode 2, two reference
//                runs, three status requests -> "played"
//   clear        Clear History -> "cleared"
//   facts        -> "facts <resident KiB> <history bytes> <history lines>"
//   quit         File > Quit
//   broker       -> "broker <frames published> <dropped> <connections>
//                <statuses published> <the status bar's broker text>"
//
// With --mqtt URL [--mqtt-machine NAME] it publishes as the console does.
//
// With --report-lines every line the history logs is printed as it is
// logged, "L <CLOCK_MONOTONIC ns> <the line's bytes in hex>", and a line
// taken back as "W <ns>": a test that kills the console knows what it had
// logged, and when, without trusting the recording for it.

#include "history_model.h"
#include "history_recorder.h"
#include "history_recording.h"
#include "main_frm.h"
#include "status_publishing.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QTimer>

#include <ctime>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

void say(const std::string& text) {
    const std::string line = text + "\n";
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t written = ::write(STDOUT_FILENO, line.data() + done, line.size() - done);
        if (written <= 0) {
            return;
        }
        done += static_cast<std::size_t>(written);
    }
}

std::int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::string hexOf(const std::string& bytes) {
    static const char* const kDigits = "0123456789ABCDEF";
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

std::string residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::to_string(std::stol(line.substr(6)));
        }
    }
    return "0";
}

// The operator's round, one command a step.
std::deque<std::function<void()>> operatorRound(Main_frm& w) {
    return {
        [&w] { w.com_move_xy_Click(); },
        [&w] {
            w.ui.Option1[1]->setChecked(true);
            w.com_move_zc_Click();
            w.ui.Option1[0]->setChecked(true);
        },
        [&w] {
            w.ui.Null_x->setText("100");
            w.ui.Null_y->setText("-20");
            w.ui.Null_z->setText("7");
            w.ui.Null_c->setText("0");
            w.Nullpunkt_setzen_Click();
        },
        [&w] {
            w.ui.spindel_check->setChecked(true);
            w.ui.cool_check->setChecked(true);
            w.Zusatzsignale_schalten_Click();
        },
        [&w] {
            w.ui.to_mode_2->setChecked(true);
            w.Modechange_Click();
        },
        [&w] { w.Command3_Click(); },
        [&w] {
            w.ui.Option3[0]->setChecked(true); // y first: the line keeps every axis code
            w.Command3_Click();
        },
        [&w] { w.Com_Refresh_Click(); },
        [&w] { w.Com_Refresh_Click(); },
        [&w] { w.Com_Refresh_Click(); },
    };
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const int portAt = static_cast<int>(arguments.indexOf("--port"));
    if (portAt < 0 || portAt + 1 >= arguments.size()) {
        say("usage: recording_console --port DEVICE [--report-lines]");
        return 2;
    }

    Main_frm w;
    std::int64_t loggedWhileRecording = 0;
    if (arguments.contains("--report-lines")) {
        QObject::connect(&w.history(), &HistoryModel::lineAppended, [&w] {
            say("L " + std::to_string(monotonicNanoseconds()) + " " +
                hexOf(w.history().lineAt(w.history().count() - 1)));
        });
        QObject::connect(&w.history(), &HistoryModel::lastLineRemoved,
                         [] { say("W " + std::to_string(monotonicNanoseconds())); });
    }
    QObject::connect(&w.history(), &HistoryModel::lineAppended, [&] {
        loggedWhileRecording += w.recording().recorder().isRecording() ? 1 : 0;
    });
    QObject::connect(&w.history(), &HistoryModel::lastLineRemoved, [&] {
        loggedWhileRecording -= w.recording().recorder().isRecording() ? 1 : 0;
    });

    const auto valueOf = [&arguments](const char* name) -> std::optional<std::string> {
        const int at = static_cast<int>(arguments.indexOf(name));
        return at >= 0 && at + 1 < arguments.size()
                   ? std::optional<std::string>(arguments.at(at + 1).toStdString())
                   : std::nullopt;
    };
    // Only when asked: a settings file in the home folder is not the test's.
    const std::unique_ptr<StatusPublishing> publishing =
        valueOf("--mqtt")
            ? StartPublishing(w, ChoosePublishing(valueOf("--mqtt"), valueOf("--mqtt-machine"), {}))
            : nullptr;

    w.presetPort(arguments.at(portAt + 1));
    w.show();
    w.Command1_Click();
    if (!w.MSComm1.isOpen()) {
        say("closed " + w.statusMessage().toStdString());
        return 3;
    }
    say("open");

    QString chosenPath;
    w.recording().setPathChooser([&chosenPath] { return std::optional<QString>(chosenPath); });
    std::deque<std::function<void()>> round;
    QTimer player;
    player.setInterval(40);
    QObject::connect(&player, &QTimer::timeout, [&] {
        round.front()();
        round.pop_front();
        if (round.empty()) {
            player.stop();
            say("played");
        }
    });

    std::string input;
    QSocketNotifier orders(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&orders, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            orders.setEnabled(false);
            w.close();
            return;
        }
        input.append(buffer, static_cast<std::size_t>(got));
        std::size_t end = 0;
        while ((end = input.find('\n')) != std::string::npos) {
            const QString order = QString::fromLocal8Bit(input.substr(0, end).c_str());
            input.erase(0, end + 1);
            if (order.startsWith("record ")) {
                chosenPath = order.mid(7);
                loggedWhileRecording = 0;
                w.recordHistory->trigger();
                say(w.recordHistory->isChecked()
                        ? "recording " + std::to_string(w.recording().recorder().entriesWritten())
                        : "refused " + w.statusMessage().toStdString());
            } else if (order == "stop") {
                HistoryRecorder& recorder = w.recording().recorder();
                w.recordHistory->trigger();
                say("stopped " + std::to_string(loggedWhileRecording) + " " +
                    std::to_string(recorder.entriesWritten()) + " " +
                    std::to_string(recorder.mostPendingBytes()) + " " + residentKilobytes() + " " +
                    std::to_string(w.history().memoryBytes()));
            } else if (order == "clear") {
                w.Com_ClrHis_Click();
                say("cleared");
            } else if (order == "facts") {
                say("facts " + residentKilobytes() + " " +
                    std::to_string(w.history().memoryBytes()) + " " +
                    std::to_string(w.history().count()));
            } else if (order == "play") {
                round = operatorRound(w);
                player.start();
            } else if (order == "broker" && publishing) {
                const PublisherCounts counts = publishing->publisher().counts();
                say("broker " + std::to_string(counts.framesPublished) + " " +
                    std::to_string(counts.framesDropped) + " " +
                    std::to_string(counts.connections) + " " +
                    std::to_string(counts.statusPublished) + " " +
                    publishing->stateText().toStdString());
            } else if (order == "quit") {
                w.Beenden->trigger();
            }
        }
    });
    return app.exec();
}
