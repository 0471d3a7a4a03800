#pragma once
// kelmora-ctl's hold on the line: the serial connection, the send path with
// its frame counter (0 at the start of each run, as a freshly started
// console has it), and the stream of status blocks cut out of what the
// controller sends, 32 bytes each, none dropped.
//
// Every decoded status is announced (statusReceived) to whoever listens: the
// output, a job's watch for faults, the recording, a publisher.

#include "ctl_steps.h"

#include <frames/command_channel.h>
#include <received_line.h>
#include <serial_connection.h>
#include <serial_link.h>
#include <status_report.h>

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

class HistoryModel;
class HistoryRecorder;

// A frame as it went out: its history line and what it asks.
struct SentFrame {
    std::string line; // 128 hex digits, or a reference run's text
    CommandFrame bytes{};
    DecodedCommand command;
};

class LineSession : public QObject {
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    explicit LineSession(QObject* parent = nullptr);
    ~LineSession() override;

    // Lines sent and received go to `history` too, and the frames and blocks
    // on the wire to `recorder` (a capture); both may be null.
    void setRecording(HistoryModel* history, HistoryRecorder* recorder);

    SerialResult open(const QString& port, const QString& settings);
    void close();
    QString portLocation() const { return connection_.portLocation(); }

    // Builds the frame with the current counter and sends it.
    SendResult send(const FrameCommand& command, SentFrame& sent);
    std::uint8_t frameCounter() const { return channel_.frame_counter(); }

    // Drops what waits unread, so that the next block is an answer.
    void discardInput();
    std::uint64_t blocksReceived() const { return blocksReceived_; }

    // Runs the event loop until `done` holds (true), or the deadline passes,
    // the line is lost or a stop is asked (false).
    bool waitUntil(const std::function<bool()>& done, Clock::time_point deadline);

    // Handles what has arrived by now, without waiting.
    void takeArrivals();

    void requestStop(int signal) { stopSignal_ = signal; }
    int stopSignal() const { return stopSignal_; }
    bool lost() const { return !lostReason_.isEmpty(); }
    QString lostReason() const { return lostReason_; }

signals:
    // A frame that went out and was logged.
    void frameLogged(const SentFrame& frame);
    void statusReceived(const StatusReport& status, const ReceivedBlock& block,
                        std::int32_t elapsedMs);

private:
    class HistoryLog;
    void readInput();

    SerialConnection connection_;
    SerialLink link_;
    std::unique_ptr<HistoryLog> log_;
    CommandChannel channel_;
    HistoryModel* history_ = nullptr;
    HistoryRecorder* recorder_ = nullptr;
    QByteArray pending_;
    std::int32_t previousTick_ = 0;
    std::uint64_t blocksReceived_ = 0;
    int stopSignal_ = 0;
    QString lostReason_;
};
