// The send path: SendCommandFrame with the real main window shown (offscreen)
// and the port open on a pseudo-terminal whose far end a thread reads empty.
// Each frame is logged into the three lists and written (64 bytes, handed to
// the driver at once); the event loop runs one pass after each frame, as it
// would between two clicks, so the lists' deferred painting is counted too.
// The clock stops when the last byte has arrived at the far end.
//
//   send_bench [frames]     (default 20000)
// Prints "send.name=value" lines.

#include "bench_figures.h"
#include "drained_pty.h"

#include "history_model.h"
#include "main_frm.h"
#include "port_set.h"

#include <QApplication>
#include <command_frames.h>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kDefaultFrames = 20'000;
constexpr std::size_t kFrameBytes = 64;

void figure(const char* name, double value) {
    bench::print("send", name, value);
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const std::size_t frames = argc > 1 ? std::stoul(argv[1]) : kDefaultFrames;

    bench::DrainedPty pty;
    Main_frm window;
    window.show();
    window.presetPort(QString::fromStdString(pty.devicePath()));
    window.Command1_Click();
    if (!pty.isValid() || !window.MSComm1.isOpen()) {
        std::fprintf(stderr, "send_bench: port not open: %s\n", qPrintable(window.statusMessage()));
        return 1;
    }

    // Status requests, each with the counter it would carry.
    std::vector<std::string> requests;
    for (int counter = 0; counter < 256; ++counter) {
        requests.push_back(BuildStatusRequestFrame(std::uint8_t(counter)));
    }

    std::vector<double> callMicros;
    callMicros.reserve(frames);
    const bench::Clock::time_point start = bench::Clock::now();
    for (std::size_t i = 0; i < frames; ++i) {
        const bench::Clock::time_point before = bench::Clock::now();
        window.channel().SendCommandFrame(requests[i % requests.size()]);
        callMicros.push_back(bench::microsBetween(before, bench::Clock::now()));
        app.processEvents();
    }
    const bool arrived = pty.waitForBytes(frames * kFrameBytes, 10'000);
    const double seconds = bench::secondsSince(start);
    if (!arrived || std::size_t(window.history().count()) != frames) {
        std::fprintf(stderr, "send_bench: %llu of %zu bytes arrived, %d lines logged\n",
                     static_cast<unsigned long long>(pty.bytesRead()), frames * kFrameBytes,
                     window.history().count());
        return 1;
    }

    const bench::Summary call = bench::summarize(callMicros);
    const double rate = double(frames) / seconds;
    figure("frames", double(frames));
    figure("frames_per_s", rate);
    figure("us_per_frame", 1e6 / rate);
    figure("call_us_median", call.median);
    figure("call_us_p99", call.p99);
    figure("call_us_worst", call.worst);
    figure("ratio_to_line_capacity", rate / bench::kLineCommandFramesPerSecond);
    return 0;
}
