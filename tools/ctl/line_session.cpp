#include "line_session.h"

#include "step_frames.h"

#include <history_model.h>
#include <history_recorder.h>
#include <system_tick.h>

#include <QCoreApplication>
#include <QTimer>

namespace {
// A long watch with a recording keeps only this many lines in memory: the
// recording has written the others.
constexpr int kHistoryLinesKept = 4096;
} // namespace

// The history the recording follows; there are no dataset lists here.
class LineSession::HistoryLog : public FrameLog {
public:
    HistoryModel* history = nullptr;

    void clearDatasets() override {}
    void appendSentFrame(const CommandFrame& frame) override {
        if (history != nullptr) {
            history->appendSentFrame(frame);
        }
    }
    void appendReferenceRun(std::string_view line) override {
        if (history != nullptr) {
            history->appendText(line);
        }
    }
    void withdrawLastLine() override {
        if (history != nullptr) {
            history->removeLast();
        }
    }
};

LineSession::LineSession(QObject* parent)
    : QObject(parent), link_(connection_), log_(std::make_unique<HistoryLog>()),
      channel_(link_, *log_) {
    connection_.setReceiveThreshold(1);
    connect(&connection_, &SerialConnection::onComm, this, &LineSession::readInput);
    connect(&connection_, &SerialConnection::portLost, this,
            [this](const QString& reason) { lostReason_ = reason; });
}

LineSession::~LineSession() = default;

void LineSession::setRecording(HistoryModel* history, HistoryRecorder* recorder) {
    history_ = history;
    recorder_ = recorder;
    log_->history = history;
    if (recorder_ == nullptr) {
        link_.setWrittenTap({});
        return;
    }
    link_.setWrittenTap([this](const std::uint8_t* data, std::size_t size, std::int64_t at) {
        recorder_->noteFrameWritten(data, size, at);
    });
}

SerialResult LineSession::open(const QString& port, const QString& settings) {
    SerialResult result = connection_.setCommPort(port);
    if (result.ok) {
        result = connection_.setSettings(settings);
    }
    return result.ok ? connection_.open() : result;
}

void LineSession::close() {
    connection_.close();
}

SendResult LineSession::send(const FrameCommand& command, SentFrame& sent) {
    const BuiltFrame frame = BuildStepFrame(command, channel_.frame_counter());
    SendResult result;
    if (command.kind == CommandKind::ReferenceRun) {
        result = channel_.SendReferenceRunFrame(frame.hexText);
        sent.line = ReferenceRunLogLine(frame.hexText);
        for (std::size_t i = 0; i < sent.bytes.size() && i < frame.hexText.size(); ++i) {
            sent.bytes[i] = static_cast<std::uint8_t>(frame.hexText[i]);
        }
        sent.command = DecodeCommand(sent.bytes);
    } else {
        result = channel_.SendCommandFrame(frame.hexText);
        sent.line = frame.hexText;
        sent.bytes = FrameFromHex(frame.hexText);
        sent.command = DecodeCommand(sent.bytes);
    }
    if (result.outcome == SendOutcome::Sent) {
        emit frameLogged(sent);
    }
    if (result.outcome != SendOutcome::Sent && lostReason_.isEmpty()) {
        lostReason_ = result.outcome == SendOutcome::PartlyWritten
                          ? QStringLiteral("the line took %1 of 64 bytes; the controller may have "
                                           "received a partial frame")
                                .arg(result.bytesTaken)
                          : QStringLiteral("the port refused the frame (%1); nothing was sent")
                                .arg(connection_.lastWriteError());
    }
    return result;
}

void LineSession::takeArrivals() {
    QCoreApplication::processEvents();
}

void LineSession::discardInput() {
    takeArrivals(); // what has arrived meanwhile is announced first
    connection_.discardInput();
    pending_.clear();
}

bool LineSession::waitUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    QTimer wake;
    wake.setSingleShot(true);
    while (!done()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || stopSignal_ != 0 || lost()) {
            return false;
        }
        wake.start(static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void LineSession::readInput() {
    if (connection_.commEvent() != CommEvent::Receive) {
        return;
    }
    pending_ += connection_.input();
    qsizetype used = 0;
    while (pending_.size() - used >= static_cast<qsizetype>(kStatusFrameSize)) {
        const std::int64_t readAt = UnixNanosecondsNow();
        const std::int32_t now = SystemTickCount();
        const std::int32_t elapsed = ElapsedTicks(previousTick_, now);
        previousTick_ = now;
        const std::string_view text(pending_.constData() + used, kStatusFrameSize);
        used += static_cast<qsizetype>(kStatusFrameSize);
        const ReceivedBlock block = FirstBlockBytes(text);
        ++blocksReceived_;
        if (history_ != nullptr) {
            if (history_->count() >= kHistoryLinesKept) {
                history_->clear();
            }
            history_->appendReceived(block, elapsed);
        }
        if (recorder_ != nullptr) {
            recorder_->noteBlockRead(block.data(), block.size(), readAt);
        }
        emit statusReceived(DecodeStatus(text), block, elapsed);
    }
    pending_.remove(0, used);
}
