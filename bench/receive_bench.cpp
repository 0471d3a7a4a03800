// The receive path: status blocks through the receiving thread and the
// logging of what it read, with the real main window shown (offscreen). The
// blocks are real bytes on a pseudo-terminal that the console has opened
// with Open Port; each block is written alone, announced as an answer (so
// the receiving thread wakes the window at once rather than at the display's
// pace), and the next one only after the console has logged it, so every
// block makes the whole trip: pty, the receiving thread, the wake-up, the
// logging (line, the three lists, display_input) and the event loop turn
// that paints what it marked.
//
// Two figures come out of the same run:
//   handler     the time inside logReceivedBlocks alone;
//   end_to_end  from writing the block to the pty until the console has
//               logged it, so the pty and the event loop are included.
//
//   receive_bench [blocks [warm-up blocks]]     (default 200000, 2000)
// Prints "receive.name=value" lines.

#include "bench_figures.h"
#include "status_blocks.h"

#include "history_model.h"
#include "main_frm.h"
#include "port_set.h"
#include "pty_peer.h"

#include <QApplication>
#include <QLabel>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kDefaultBlocks = 200'000;
constexpr std::size_t kDefaultWarmUpBlocks = 2'000;
constexpr double kTargetBlocksPerSecond = 50'000.0;

void figure(const char* name, double value) {
    bench::print("receive", name, value);
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const std::size_t blocks = argc > 1 ? std::stoul(argv[1]) : kDefaultBlocks;
    const std::size_t warmUpBlocks = argc > 2 ? std::stoul(argv[2]) : kDefaultWarmUpBlocks;

    PtyPeer peer;
    Main_frm window;
    window.show();
    window.presetPort(peer.devicePath());
    window.Command1_Click();
    if (!peer.isValid() || !window.MSComm1.isOpen()) {
        std::fprintf(stderr, "receive_bench: port not open: %s\n",
                     qPrintable(window.statusMessage()));
        return 1;
    }

    // The handler stays the one the window connected; only a stopwatch is put
    // around the call.
    QObject::disconnect(&window.MSComm1, &SerialConnection::blocksReceived, &window,
                        &Main_frm::logReceivedBlocks);
    std::vector<double> handlerMicros;
    handlerMicros.reserve(warmUpBlocks + blocks);
    QObject::connect(&window.MSComm1, &SerialConnection::blocksReceived, &window, [&] {
        const bench::Clock::time_point start = bench::Clock::now();
        window.logReceivedBlocks();
        handlerMicros.push_back(bench::microsBetween(start, bench::Clock::now()));
    });

    const auto pass = [&](std::size_t count, std::uint32_t firstBlock) {
        for (std::size_t i = 0; i < count; ++i) {
            const int logged = window.history().count();
            window.MSComm1.expectAnswer();
            if (!peer.write(bench::movingStatusBlock(firstBlock + std::uint32_t(i)))) {
                return false;
            }
            while (window.history().count() == logged) {
                app.processEvents(QEventLoop::WaitForMoreEvents);
            }
        }
        app.processEvents(); // what the last block left to paint
        return true;
    };

    if (!pass(warmUpBlocks, 0)) {
        std::fprintf(stderr, "receive_bench: writing to the pty failed\n");
        return 1;
    }
    handlerMicros.clear();
    window.Com_ClrHis_Click();

    const bench::Clock::time_point start = bench::Clock::now();
    if (!pass(blocks, std::uint32_t(warmUpBlocks))) {
        std::fprintf(stderr, "receive_bench: writing to the pty failed\n");
        return 1;
    }
    const double endToEndSeconds = bench::secondsSince(start);

    const std::string last = window.history().lineAt(window.history().count() - 1);
    const bool complete = std::size_t(window.history().count()) == blocks &&
                          handlerMicros.size() == blocks && last.rfind("IN < ", 0) == 0;
    if (!complete) {
        std::fprintf(stderr, "receive_bench: %d lines logged, %zu handler calls for %zu blocks\n",
                     window.history().count(), handlerMicros.size(), blocks);
        return 1;
    }

    double handlerSeconds = 0;
    for (double us : handlerMicros) {
        handlerSeconds += us / 1e6;
    }
    const bench::Summary handler = bench::summarize(handlerMicros);
    const double handlerRate = double(blocks) / handlerSeconds;
    const double endToEndRate = double(blocks) / endToEndSeconds;

    figure("blocks", double(blocks));
    figure("handler_blocks_per_s", handlerRate);
    figure("handler_us_per_block", handler.mean);
    figure("handler_us_median", handler.median);
    figure("handler_us_p99", handler.p99);
    figure("handler_us_worst", handler.worst);
    figure("handler_ratio_to_line_rate", handlerRate / bench::kLineStatusFramesPerSecond);
    figure("handler_ratio_to_target", handlerRate / kTargetBlocksPerSecond);
    figure("end_to_end_blocks_per_s", endToEndRate);
    figure("end_to_end_us_per_block", 1e6 / endToEndRate);
    figure("end_to_end_ratio_to_line_rate", endToEndRate / bench::kLineStatusFramesPerSecond);
    figure("history_lines", double(window.history().count()));
    return 0;
}
