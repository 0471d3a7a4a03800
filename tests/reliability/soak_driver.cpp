// The soak run's console: the real Main_frm, offscreen, opened on the port
// given and left to take whatever the controller streams until the line has
// been quiet for a while. Then it prints what it took and what it cost, one
// name=value per line, and exits normally, so a leak checker linked in
// reports at exit. Run by scripts/soak.sh; not a test.
//
//   kelmora_soak_driver --port /dev/pts/N [--quiet-ms 2000] [--start-timeout-ms 30000]
//
// The window is shown (offscreen), so every frame also repaints the status
// area and the lists; KELMORA_SOAK_HIDDEN=1 leaves it hidden.

#include "history_file_writer.h"
#include "history_model.h"
#include "main_frm.h"
#include "port_set.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

long residentKiB() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) {
        return -1;
    }
    long sizePages = 0;
    long residentPages = 0;
    const int read = std::fscanf(statm, "%ld %ld", &sizePages, &residentPages);
    std::fclose(statm);
    return read == 2 ? residentPages * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

// The bytes a saved ".his" file of this history would hold.
std::size_t savedFileBytes(const Main_frm& window, HistoryModel& history) {
    std::size_t bytes = 0;
    HistoryFileHeader header{HistoryFileKind::History, window.versionText().toStdString(),
                             "01.01.70 00:00"};
    WriteHistoryFile(
        header, history.records().count(),
        [&](std::size_t row, std::string& out) { history.records().appendLineTo(row, out); },
        [&](const char*, std::size_t size) {
            bytes += size;
            return true;
        });
    return bytes;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption portOption("port", "The device to open.", "NAME");
    const QCommandLineOption quietOption("quiet-ms", "Stop after this long without a frame.", "MS",
                                         "2000");
    const QCommandLineOption startOption(
        "start-timeout-ms", "Give up when no frame comes within this long.", "MS", "30000");
    parser.addOptions({portOption, quietOption, startOption});
    parser.process(app);
    if (!parser.isSet(portOption)) {
        std::fprintf(stderr, "kelmora_soak_driver: --port is required\n");
        return 2;
    }
    const qint64 quietMs = parser.value(quietOption).toLongLong();
    const qint64 startTimeoutMs = parser.value(startOption).toLongLong();

    int status = 0;
    {
        Main_frm window;
        if (!qEnvironmentVariableIsSet("KELMORA_SOAK_HIDDEN")) {
            window.show(); // the views follow the history and repaint, as for an operator
        }
        window.presetPort(parser.value(portOption));
        window.Command1_Click();
        if (!window.MSComm1.isOpen()) {
            std::fprintf(stderr, "kelmora_soak_driver: %s\n", qPrintable(window.statusMessage()));
            return 1;
        }
        const long rssStartKiB = residentKiB();

        QElapsedTimer clock;
        clock.start();
        qint64 firstFrameMs = -1;
        qint64 lastFrameMs = -1;
        int lastCount = 0;
        qint64 nextProgressMs = 30000;
        QTimer watch;
        watch.setInterval(100);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            const int count = window.history().count();
            if (now >= nextProgressMs) {
                // The trend, for telling a growing cost from a one-off one.
                std::fprintf(stderr, "t=%llds frames=%d rss_kib=%ld history_bytes=%zu\n",
                             static_cast<long long>(now / 1000), count, residentKiB(),
                             window.history().memoryBytes());
                nextProgressMs += 30000;
            }
            if (count != lastCount) {
                if (firstFrameMs < 0) {
                    firstFrameMs = now;
                }
                lastFrameMs = now;
                lastCount = count;
            }
            const bool quiet = lastFrameMs >= 0 && now - lastFrameMs >= quietMs;
            const bool neverStarted = lastFrameMs < 0 && now >= startTimeoutMs;
            if (quiet || neverStarted || !window.MSComm1.isOpen()) {
                watch.stop();
                app.quit();
            }
        });
        watch.start();
        app.exec();

        const bool stillOpen = window.MSComm1.isOpen();
        const QString endState = window.statusMessage();
        window.Command2_Click();
        const long rssEndKiB = residentKiB();
        const double seconds =
            lastFrameMs > firstFrameMs ? (lastFrameMs - firstFrameMs) / 1000.0 : 0;
        std::printf("frames_received=%d\n", window.history().count());
        std::printf("duration_s=%.1f\n", seconds);
        std::printf("frames_per_s=%.0f\n", seconds > 0 ? window.history().count() / seconds : 0.0);
        std::printf("rss_start_kib=%ld\n", rssStartKiB);
        std::printf("rss_end_kib=%ld\n", rssEndKiB);
        std::printf("history_memory_bytes=%zu\n", window.history().memoryBytes());
        std::printf("history_file_bytes=%zu\n", savedFileBytes(window, window.history()));
        // A simulator that has sent its last frame exits, and the console
        // sees its port go: the expected end of a soak.
        std::printf("port_at_end=%s\n", stillOpen ? "open" : qPrintable(endState));
        if (window.history().count() == 0) {
            std::fprintf(stderr, "kelmora_soak_driver: no frame received\n");
            status = 1;
        }
        std::fflush(stdout);
    }
    return status;
}
