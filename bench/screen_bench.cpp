// The console and CuteCom, one after the other in one run, each reading the
// same stream of status frames from a pseudo-terminal of its own, on the
// display in $DISPLAY (scripts/screen-bench.sh brings up Xvfb with a window
// manager). Everything is read from outside the process under test:
//
//   cpu_percent      (utime + stime) from /proc/<pid>/stat over the phase,
//                    as a share of one core
//   rss_mb           VmRSS from /proc/<pid>/status at the end of the phase
//
// and, from the console's own answers (screen_console), the history lines
// logged and the longest gap of a 1 ms timer (a stall of the event loop)
// with the most CPU time the console spent between two ticks (its own part
// of a stall), measured in phases of their own because the timer costs CPU
// itself.
//
// Phases, each subject in turn: line rate (360 frames/s for the given
// seconds), then for the console 10 s at line rate with the stall meter,
// then a flood (frames as fast as the terminal takes them) of 10 s. The
// console runs twice: without an accessibility client, then with
// QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 on the session's AT-SPI bus (its line
// rate phase only).
//
// CuteCom is set up as a user would: a session whose device is the
// terminal, with time stamps; "Hex output" and "Open" pressed with their
// keyboard accelerators (xdotool). Its HOME is a fresh folder, and
// pty_modem_lines is preloaded so that it keeps the pseudo-terminal open
// (see there).
//
//   screen_bench [line-rate seconds [flood seconds]]   (default 100, 10)
//   screen_bench --loaded BUILD-DIR    the console beside a busy machine (runLoaded)
// Prints "screen.<subject>.<name>=value" lines.

#include "bench_figures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kLineRate = 360.0;
constexpr int kStallSeconds = 10;
constexpr int kSettleMs = 2000;

struct CpuSample {
    double cpuSeconds = 0;
    double wallSeconds = 0;
};

double wallNow() {
    return double(bench::monotonicMicros()) / 1e6;
}

// utime + stime of the process, in seconds.
double cpuSecondsOf(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray text = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold
    // blanks: state is field 3, utime 14 and stime 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) {
        return -1;
    }
    const double ticks = double(fields[11].toLongLong() + fields[12].toLongLong());
    return ticks / double(sysconf(_SC_CLK_TCK));
}

double residentMbOf(qint64 pid, const char* field = "VmRSS:") {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toDouble() /
                   1024.0;
        }
    }
    return -1;
}

bool holdsDevice(qint64 pid, const QString& device) {
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::NoDotAndDotDot | QDir::System)) {
        if (fd.symLinkTarget() == device) {
            return true;
        }
    }
    return false;
}

// QProcess writes when the event loop turns or a wait on the same process
// runs; an order must be on its way before waiting on another process.
void send(QProcess& process, const QByteArray& text) {
    process.write(text);
    process.waitForBytesWritten(5000);
}

std::optional<QByteArray> readLine(QProcess& process, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!process.canReadLine()) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0 || !process.waitForReadyRead(left)) {
            if (!process.canReadLine()) {
                return std::nullopt;
            }
        }
    }
    return process.readLine().trimmed();
}

class Peer {
public:
    bool start(const QString& program) {
        process_.setProgram(program);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        const auto line = process_.waitForStarted(5000) ? readLine(process_, 5000) : std::nullopt;
        device_ = line ? QString::fromLocal8Bit(*line) : QString();
        return !device_.isEmpty();
    }
    const QString& device() const { return device_; }
    // Carries out one order; the frames written, -1 when it did not answer.
    long order(const QByteArray& text, int timeoutMs) {
        send(process_, text + '\n');
        const auto answer = readLine(process_, timeoutMs);
        long sent = -1;
        if (answer) {
            std::sscanf(answer->constData(), "done %ld", &sent);
        }
        return sent;
    }
    ~Peer() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

private:
    QProcess process_;
    QString device_;
};

struct PhaseFigures {
    long sent = 0;
    double cpuPercent = -1;
    double rssMb = -1;
    double seconds = 0;
};

// One phase: the subject's CPU and memory while the peer carries out
// `order`.
PhaseFigures runPhase(Peer& peer, qint64 pid, const QByteArray& order, int timeoutMs) {
    PhaseFigures figures;
    const double cpuBefore = cpuSecondsOf(pid);
    const double wallBefore = wallNow();
    figures.sent = peer.order(order, timeoutMs);
    // The last frames are read and shown before the books close.
    QThread::msleep(200);
    figures.seconds = wallNow() - wallBefore;
    figures.cpuPercent = 100.0 * (cpuSecondsOf(pid) - cpuBefore) / figures.seconds;
    figures.rssMb = residentMbOf(pid);
    return figures;
}

bool waitForDevice(qint64 pid, const QString& device, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (holdsDevice(pid, device)) {
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}

void figure(const QString& subject, const char* name, double value) {
    bench::print(qPrintable("screen." + subject), name, value);
}

QByteArray lineRateOrder(int seconds) {
    return QByteArray("rate ") + QByteArray::number(kLineRate) + " frames " +
           QByteArray::number(qint64(kLineRate * seconds));
}

// The machine's busy and total jiffies, all cores (the first line of /proc/stat).
std::pair<double, double> machineJiffies() {
    QFile file(QStringLiteral("/proc/stat"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {0, 0};
    }
    const QList<QByteArray> fields = file.readLine().simplified().split(' ');
    double total = 0;
    for (int i = 1; i < fields.size(); ++i) {
        total += fields[i].toDouble();
    }
    const double idle = fields.value(4).toDouble() + fields.value(5).toDouble();
    return {total - idle, total};
}

int timeoutFor(int seconds) {
    return seconds * 1000 + 30'000;
}

struct ConsoleAnswer {
    long logged = -1;
    double stallMs = -1;
    double busyMs = -1;
};

ConsoleAnswer askConsole(QProcess& console) {
    send(console, "report\n");
    ConsoleAnswer answer;
    for (;;) {
        const auto line = readLine(console, 10'000);
        if (!line) {
            return answer;
        }
        if (std::sscanf(line->constData(), "logged %ld stall_ms %lf busy_ms %lf", &answer.logged,
                        &answer.stallMs, &answer.busyMs) == 3) {
            return answer;
        }
    }
}

bool runConsole(const QString& subject, bool accessible, int seconds, int floodSeconds) {
    Peer peer;
    if (!peer.start(QStringLiteral(KELMORA_STREAM_PEER))) {
        std::fprintf(stderr, "screen_bench: stream_peer did not start\n");
        return false;
    }
    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (accessible) {
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), "1");
    } else {
        environment.remove(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"));
    }
    console.setProcessEnvironment(environment);
    console.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    console.start(QStringLiteral(KELMORA_SCREEN_CONSOLE), {peer.device()});
    const auto opened = console.waitForStarted(5000) ? readLine(console, 15'000) : std::nullopt;
    if (!opened || *opened != "open 1") {
        std::fprintf(stderr, "screen_bench: the console did not open %s\n",
                     qPrintable(peer.device()));
        return false;
    }
    const qint64 pid = console.processId();
    QThread::msleep(kSettleMs);
    figure(subject, "rss_mb_before", residentMbOf(pid));

    const PhaseFigures line = runPhase(peer, pid, lineRateOrder(seconds), timeoutFor(seconds));
    const ConsoleAnswer afterLine = askConsole(console);
    figure(subject, "line_rate_seconds", line.seconds);
    figure(subject, "line_rate_frames_sent", double(line.sent));
    figure(subject, "line_rate_frames_logged", double(afterLine.logged));
    figure(subject, "line_rate_cpu_percent", line.cpuPercent);
    figure(subject, "line_rate_rss_mb", line.rssMb);

    if (!accessible) {
        send(console, "meter\n");
        const PhaseFigures stall =
            runPhase(peer, pid, lineRateOrder(kStallSeconds), timeoutFor(kStallSeconds));
        const ConsoleAnswer afterStall = askConsole(console);
        figure(subject, "line_rate_stall_ms_worst", afterStall.stallMs);
        figure(subject, "line_rate_busy_ms_worst", afterStall.busyMs);
        figure(subject, "line_rate_metered_frames_logged",
               double(afterStall.logged - afterLine.logged));
        figure(subject, "line_rate_metered_frames_sent", double(stall.sent));

        send(console, "meter\n");
        const QByteArray floodOrder = "flood seconds " + QByteArray::number(floodSeconds);
        const PhaseFigures flood = runPhase(peer, pid, floodOrder, timeoutFor(floodSeconds));
        const ConsoleAnswer afterFlood = askConsole(console);
        figure(subject, "flood_frames_sent_per_s", double(flood.sent) / flood.seconds);
        figure(subject, "flood_frames_logged_per_s",
               double(afterFlood.logged - afterStall.logged) / flood.seconds);
        figure(subject, "flood_cpu_percent", flood.cpuPercent);
        figure(subject, "flood_stall_ms_worst", afterFlood.stallMs);
        figure(subject, "flood_busy_ms_worst", afterFlood.busyMs);
        figure(subject, "flood_rss_mb", flood.rssMb);
    }
    figure(subject, "rss_mb_peak", residentMbOf(pid, "VmHWM:"));
    console.closeWriteChannel();
    if (!console.waitForFinished(5000)) {
        console.kill();
        console.waitForFinished(3000);
    }
    return true;
}

// Beside a busy machine: the console alone, streamed 2,880 frames (8 s at
// the line's rate) while two processes spin on both cores, then while
// `cmake --build <dir> --parallel 2` rebuilds the project from clean. The
// frames logged of those sent are its figures.
bool runLoaded(const QString& buildDir) {
    Peer peer;
    if (!peer.start(QStringLiteral(KELMORA_STREAM_PEER))) {
        std::fprintf(stderr, "screen_bench: stream_peer did not start\n");
        return false;
    }
    QProcess console;
    console.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    console.start(QStringLiteral(KELMORA_SCREEN_CONSOLE), {peer.device()});
    const auto opened = console.waitForStarted(5000) ? readLine(console, 15'000) : std::nullopt;
    if (!opened || *opened != "open 1") {
        std::fprintf(stderr, "screen_bench: the console did not open\n");
        return false;
    }
    QThread::msleep(kSettleMs);
    const QString subject = QStringLiteral("loaded");
    long before = askConsole(console).logged;
    const auto phase = [&](const char* name, const QString& program, const QStringList& args,
                           int copies) {
        std::vector<std::unique_ptr<QProcess>> beside;
        for (int i = 0; i < copies; ++i) {
            beside.push_back(std::make_unique<QProcess>());
            beside.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            beside.back()->setStandardOutputFile(QProcess::nullDevice());
            // A group of its own, so that the build's compilers end with it.
            beside.back()->setChildProcessModifier([] { ::setpgid(0, 0); });
            beside.back()->start(program, args);
            beside.back()->waitForStarted(5000);
        }
        QThread::msleep(2000); // the load is on before the first frame
        const auto busyBefore = machineJiffies();
        const PhaseFigures line =
            runPhase(peer, console.processId(), lineRateOrder(8), timeoutFor(8));
        const auto busyAfter = machineJiffies();
        const long logged = askConsole(console).logged;
        for (auto& process : beside) {
            ::kill(-pid_t(process->processId()), SIGKILL);
            process->waitForFinished(5000);
        }
        figure(subject, (std::string(name) + "_frames_sent").c_str(), double(line.sent));
        figure(subject, (std::string(name) + "_frames_logged").c_str(), double(logged - before));
        figure(subject, (std::string(name) + "_cpu_percent").c_str(), line.cpuPercent);
        figure(subject, (std::string(name) + "_machine_busy_percent").c_str(),
               100.0 * (busyAfter.first - busyBefore.first) /
                   std::max(1.0, busyAfter.second - busyBefore.second));
        before = logged;
    };
    phase("spinning", QStringLiteral("/bin/sh"), {"-c", "while :; do :; done"}, 2);
    QProcess::execute(QStringLiteral("cmake"), {"--build", buildDir, "--target", "clean"});
    phase("building", QStringLiteral("cmake"), {"--build", buildDir, "--parallel", "2"}, 1);
    console.closeWriteChannel();
    if (!console.waitForFinished(5000)) {
        console.kill();
        console.waitForFinished(3000);
    }
    return true;
}

bool writeCuteComSession(const QString& home, const QString& device) {
    QDir().mkpath(home + "/.config/CuteCom");
    QFile conf(home + "/.config/CuteCom/CuteCom5.conf");
    if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    conf.write("[CuteCom]\nsession=bench\n\n[sessions]\n"
               "1\\BaudRate=115200\n1\\DataBits=8\n1\\Device=" +
               device.toLocal8Bit() +
               "\n1\\FlowControl=0\n1\\OpenMode=3\n1\\Parity=0\n1\\StopBits=1\n"
               "1\\autoReconnect=false\n1\\name=bench\n1\\showCtrlCharacters=false\n"
               "1\\showTimestamp=true\nsize=1\n");
    return true;
}

int xdotool(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("xdotool"), arguments);
}

bool runCuteCom(int seconds, int floodSeconds) {
    Peer peer;
    if (!peer.start(QStringLiteral(KELMORA_STREAM_PEER))) {
        std::fprintf(stderr, "screen_bench: stream_peer did not start\n");
        return false;
    }
    QTemporaryDir home;
    if (!home.isValid() || !writeCuteComSession(home.path(), peer.device())) {
        std::fprintf(stderr, "screen_bench: no CuteCom settings\n");
        return false;
    }
    QProcess cutecom;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KELMORA_PTY_MODEM_LINES));
    cutecom.setProcessEnvironment(environment);
    cutecom.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    cutecom.setStandardOutputFile(QProcess::nullDevice());
    cutecom.start(QStringLiteral("cutecom"), {"-s", "bench"});
    if (!cutecom.waitForStarted(5000)) {
        std::fprintf(stderr, "screen_bench: cutecom did not start\n");
        return false;
    }
    const qint64 pid = cutecom.processId();
    // Its main window, then Hex output (Alt+X) and Open (Alt+O).
    const QString pidText = QString::number(pid);
    if (xdotool({"search", "--sync", "--onlyvisible", "--pid", pidText, "--name", "CuteCom",
                 "windowactivate", "--sync"}) != 0) {
        std::fprintf(stderr, "screen_bench: no CuteCom window\n");
        return false;
    }
    QThread::msleep(500);
    xdotool({"key", "alt+x"});
    QThread::msleep(300);
    xdotool({"key", "alt+o"});
    if (!waitForDevice(pid, peer.device(), 10'000)) {
        std::fprintf(stderr, "screen_bench: CuteCom did not open %s\n", qPrintable(peer.device()));
        cutecom.kill();
        cutecom.waitForFinished(3000);
        return false;
    }
    QThread::msleep(kSettleMs);
    const QString subject = QStringLiteral("cutecom");
    figure(subject, "rss_mb_before", residentMbOf(pid));
    const PhaseFigures line = runPhase(peer, pid, lineRateOrder(seconds), timeoutFor(seconds));
    figure(subject, "line_rate_seconds", line.seconds);
    figure(subject, "line_rate_frames_sent", double(line.sent));
    figure(subject, "line_rate_cpu_percent", line.cpuPercent);
    figure(subject, "line_rate_rss_mb", line.rssMb);
    const QByteArray floodOrder = "flood seconds " + QByteArray::number(floodSeconds);
    const PhaseFigures flood = runPhase(peer, pid, floodOrder, timeoutFor(floodSeconds));
    figure(subject, "flood_frames_sent_per_s", double(flood.sent) / flood.seconds);
    figure(subject, "flood_cpu_percent", flood.cpuPercent);
    figure(subject, "flood_rss_mb", flood.rssMb);
    figure(subject, "rss_mb_peak", residentMbOf(pid, "VmHWM:"));
    cutecom.terminate();
    if (!cutecom.waitForFinished(5000)) {
        cutecom.kill();
        cutecom.waitForFinished(3000);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 2 && std::strcmp(argv[1], "--loaded") == 0) {
        return runLoaded(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }
    const int seconds = argc > 1 ? std::stoi(argv[1]) : 100;
    const int floodSeconds = argc > 2 ? std::stoi(argv[2]) : 10;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "screen_bench: no DISPLAY (scripts/screen-bench.sh starts one)\n");
        return 2;
    }
    bool ok = runConsole(QStringLiteral("console"), false, seconds, floodSeconds);
    ok = runCuteCom(seconds, floodSeconds) && ok;
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        ok = runConsole(QStringLiteral("console_accessible"), true, seconds, floodSeconds) && ok;
    } else {
        std::fprintf(stderr, "screen_bench: no session bus; the accessible run is left out\n");
    }
    return ok ? 0 : 1;
}
