// The console as main.cpp makes it, on whatever display it is given, with
// the port preset to argv[1] and opened once the window is shown; started by
// screen_bench, which reads its CPU time from /proc. It answers orders on
// stdin, one a line:
//
//   meter    start timing the event loop (a 1 ms timer: it costs CPU, so
//            it runs only in the phases that measure stalls)
//   report   "logged <history lines> stall_ms <longest gap> busy_ms <most
//            CPU time between two ticks>", meter stopped
//
// Nothing else of the console is changed; it runs until stdin closes.

#include "loop_stall_meter.h"

#include "history_model.h"
#include "main_frm.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kelmora");
    QApplication::setApplicationVersion("V0.5B");
    if (argc < 2) {
        std::fprintf(stderr, "usage: screen_console DEVICE\n");
        return 2;
    }

    Main_frm window;
    window.presetPort(QString::fromLocal8Bit(argv[1]));
    window.show();
    QTimer::singleShot(0, &window, [&window] {
        window.Command1_Click();
        std::printf("open %d\n", window.MSComm1.isOpen() ? 1 : 0);
        std::fflush(stdout);
    });

    bench::LoopStallMeter stalls;
    bool metering = false;
    std::string pending;
    QSocketNotifier orders(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&orders, &QSocketNotifier::activated, [&] {
        char bytes[256];
        const ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
        if (n <= 0) {
            orders.setEnabled(false);
            app.quit();
            return;
        }
        pending.append(bytes, std::size_t(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string order = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (order == "meter") {
                stalls.start();
                metering = true;
            } else if (order == "report") {
                stalls.stop();
                std::printf("logged %d stall_ms %.3f busy_ms %.3f\n", window.history().count(),
                            metering ? stalls.worstGapMs() : -1.0,
                            metering ? stalls.worstBusyMs() : -1.0);
                std::fflush(stdout);
                metering = false;
            }
        }
    });
    return app.exec();
}
