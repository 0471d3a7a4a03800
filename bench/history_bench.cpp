// The history under a long polling session: memory per line, the cost of an
// append, and how fast a large history is saved compared with copying the
// same bytes with cat. Prints one "history.name=value" per line.

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QListView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "history_file_writer.h"
#include "history_model.h"
#include "history_saver.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kSessionLines = 10'000'000;
constexpr std::size_t kSavedLines = 1'000'000;
constexpr std::size_t kBatchLines = 10'000;
constexpr std::size_t kViewedLines = 200'000;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0;
    std::size_t resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

void print(const char* name, double value) {
    std::printf("history.%s=%.3f\n", name, value);
}

// Line n of a polling session: a status request carrying the frame counter,
// then the controller's status reply with the time since the last reply.
void appendPollingLine(HistoryModel& model, std::size_t n) {
    const std::size_t exchange = n / 2;
    if (n % 2 == 0) {
        CommandFrame request{};
        request[59] = static_cast<std::uint8_t>(exchange);
        model.appendSentFrame(request);
        return;
    }
    ReceivedBlock reply{0x02, 0x11, 0x90, 0x10, 0x27, 0x00, 0x00, 0xCE, 0xFF, 0xFF, 0xFF,
                        0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x32, 0x00,
                        0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00};
    reply[3] = static_cast<std::uint8_t>(exchange);      // x position moving
    reply[4] = static_cast<std::uint8_t>(exchange >> 8); //
    reply[27] = static_cast<std::uint8_t>(exchange + 1); // controller's counter
    model.appendReceived(reply, 1000 + static_cast<std::int32_t>(exchange % 17));
}

struct AppendTimes {
    double meanNs = 0;
    double worstBatchNs = 0;
};

AppendTimes fill(HistoryModel& model, std::size_t lines, QApplication* app = nullptr) {
    AppendTimes times;
    double total = 0;
    for (std::size_t first = 0; first < lines; first += kBatchLines) {
        const std::size_t last = std::min(lines, first + kBatchLines);
        const Clock::time_point start = Clock::now();
        for (std::size_t n = first; n < last; ++n) {
            appendPollingLine(model, n);
        }
        if (app) {
            app->processEvents(); // let the view catch up, as the event loop would
        }
        const double seconds = secondsSince(start);
        total += seconds;
        times.worstBatchNs =
            std::max(times.worstBatchNs, seconds * 1e9 / static_cast<double>(last - first));
    }
    times.meanNs = total * 1e9 / static_cast<double>(lines);
    return times;
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);

    HistoryModel session;
    const std::size_t residentBefore = residentBytes();
    const AppendTimes sessionTimes = fill(session, kSessionLines);
    const std::size_t residentAfter = residentBytes();
    const double lines = static_cast<double>(session.count());
    print("session_lines", lines);
    print("model_bytes_per_line", static_cast<double>(session.memoryBytes()) / lines);
    print("rss_bytes_per_line", static_cast<double>(residentAfter - residentBefore) / lines);
    print("append_ns_mean", sessionTimes.meanNs);
    print("append_ns_worst_batch", sessionTimes.worstBatchNs);
    session.clear();
    print("rss_mb_after_clear", static_cast<double>(residentBytes()) / 1048576.0);

    {
        HistoryModel viewed;
        QListView view;
        view.setUniformItemSizes(true);
        view.setModel(&viewed);
        view.resize(800, 600);
        view.show();
        const AppendTimes viewTimes = fill(viewed, kViewedLines, &app);
        print("append_ns_mean_shown_in_view", viewTimes.meanNs);
        print("append_ns_worst_batch_shown_in_view", viewTimes.worstBatchNs);
    }

    HistoryModel saved;
    fill(saved, kSavedLines);
    const QString path = QStringLiteral("/tmp/kelmora_history_bench.his");
    const QString copy = QStringLiteral("/tmp/kelmora_history_bench_copy.his");
    Clock::time_point start = Clock::now();
    const HistorySaveResult result =
        SaveHistory(saved.records(), path, QStringLiteral("V0.5B"), QDateTime::currentDateTime());
    const double saveSeconds = secondsSince(start);
    if (!result.ok) {
        std::fprintf(stderr, "save failed: %s\n", qPrintable(result.reason));
        return 1;
    }
    // The same bytes made again but thrown away: what of the save is
    // formatting, the rest is writing and QSaveFile's sync to disk.
    start = Clock::now();
    std::size_t formattedBytes = 0;
    WriteHistoryFile(
        HistoryFileHeader{HistoryFileKind::History, "V0.5B", "01.01.25 00:00"},
        saved.records().count(),
        [&](std::size_t row, std::string& out) { saved.records().appendLineTo(row, out); },
        [&](const char*, std::size_t size) {
            formattedBytes += size;
            return true;
        });
    const double formatSeconds = secondsSince(start);
    start = Clock::now();
    const std::string cat =
        "cat " + path.toStdString() + " > " + copy.toStdString(); // fixed paths, no quoting needed
    const int catStatus = std::system(cat.c_str());
    const double catSeconds = secondsSince(start);
    // The save makes its file durable before it replaces the old one (the
    // sync QSaveFile does on commit); cat does not. The same copy made
    // durable too, for a like-for-like figure.
    QFile::remove(copy);
    start = Clock::now();
    const std::string catSynced = cat + " && sync -d " + copy.toStdString();
    const int catSyncedStatus = std::system(catSynced.c_str());
    const double catSyncedSeconds = secondsSince(start);
    print("saved_lines", static_cast<double>(saved.count()));
    print("saved_file_mb", static_cast<double>(QFile(path).size()) / 1048576.0);
    print("save_seconds", saveSeconds);
    print("format_only_seconds", formattedBytes > 0 ? formatSeconds : -1.0);
    print("cat_seconds", catStatus == 0 ? catSeconds : -1.0);
    print("save_ratio_to_cat", catStatus == 0 ? saveSeconds / catSeconds : -1.0);
    print("cat_then_sync_seconds", catSyncedStatus == 0 ? catSyncedSeconds : -1.0);
    print("save_ratio_to_cat_then_sync",
          catSyncedStatus == 0 ? saveSeconds / catSyncedSeconds : -1.0);
    QFile::remove(path);
    QFile::remove(copy);
    return 0;
}
