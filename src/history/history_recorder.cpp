#include "history_recorder.h"

#include <QFile>

#include <algorithm>

#include "history_model.h"
#include "history_saver.h"
#include "pcapng_writer.h"
#include "recording_file.h"

bool IsCapturePath(const QString& path) {
    return path.endsWith(QStringLiteral(".pcapng"), Qt::CaseInsensitive);
}

HistoryRecorder::HistoryRecorder(const HistoryModel& history, QString versionText, QObject* parent)
    : QObject(parent), history_(history), versionText_(std::move(versionText)),
      lineAt_([&history](std::size_t row, std::string& out) {
          history.records().appendLineTo(row, out);
      }),
      file_(std::make_unique<RecordingFile>()) {
    writeTimer_.setSingleShot(true);
    writeTimer_.setInterval(kWriteDelayMs);
    connect(&writeTimer_, &QTimer::timeout, this, &HistoryRecorder::writePending);
}

HistoryRecorder::~HistoryRecorder() {
    stop();
}

bool HistoryRecorder::isRecording() const {
    return file_->isOpen();
}

QString HistoryRecorder::start(const QString& path, const QDateTime& now,
                               const CapturedLine& line) {
    stop();
    if (const QString refusal = HistoryPathRefusal(path); !refusal.isEmpty()) {
        return refusal;
    }
    // A failed sync is heard of on the sync thread, which close() joins
    // before this object goes; the recording it belongs to stops on this
    // thread, unless it has ended meanwhile.
    const std::uint64_t recording = ++recordingsStarted_;
    const auto onSyncFailure = [this, recording](const std::string& reason) {
        QMetaObject::invokeMethod(
            this,
            [this, recording, text = QString::fromLocal8Bit(reason.c_str())] {
                if (recording == recordingsStarted_) {
                    fail(text);
                }
            },
            Qt::QueuedConnection);
    };
    if (!file_->open(QFile::encodeName(path).toStdString(), onSyncFailure)) {
        return QString::fromLocal8Bit(file_->reason().c_str());
    }
    path_ = path;
    capture_ = IsCapturePath(path);
    entriesWritten_ = 0;
    mostPendingBytes_ = 0;
    const QString createdOn = HistoryCreatedOnText(now);

    if (capture_) {
        const std::string start =
            pcapng::sectionHeaderBlock("Recorded by Kelmora " + versionText_.toStdString() +
                                       " from " + createdOn.toStdString() +
                                       ": every frame written to the port and every block "
                                       "read from it, at the time of the write or the read") +
            pcapng::interfaceDescriptionBlock(line.device.toStdString(),
                                              line.settings.toStdString());
        if (!file_->append(start.data(), start.size())) {
            const QString reason = QString::fromLocal8Bit(file_->reason().c_str());
            file_->close();
            return reason;
        }
        return {};
    }

    const HistoryFileHeader header{HistoryFileKindOf(path.toStdString()),
                                   versionText_.toStdString(),
                                   createdOn.toLocal8Bit().toStdString()};
    const std::size_t lines = history_.records().count();
    if (!WriteHistoryFile(header, lines, lineAt_, [this](const char* data, std::size_t size) {
            return file_->append(data, size);
        })) {
        const QString reason = QString::fromLocal8Bit(file_->reason().c_str());
        file_->close();
        return reason;
    }
    entriesWritten_ = lines;
    listening_ = {
        connect(&history_, &HistoryModel::lineAppended, this, &HistoryRecorder::lineAppended),
        connect(&history_, &HistoryModel::lastLineRemoved, this, &HistoryRecorder::lastLineRemoved),
    };
    return {};
}

QString HistoryRecorder::stop() {
    if (!isRecording()) {
        return {};
    }
    stopListening();
    QString failure = writeWaiting();
    if (!file_->close() && failure.isEmpty()) {
        failure = QString::fromLocal8Bit(file_->reason().c_str());
    }
    return failure;
}

void HistoryRecorder::stopListening() {
    for (const QMetaObject::Connection& connection : listening_) {
        disconnect(connection);
    }
    listening_.clear();
    writeTimer_.stop();
    writeQueued_ = false;
}

void HistoryRecorder::lineAppended() {
    const std::size_t start = pending_.size();
    AppendHistoryFileEntry(history_.records().count() - 1, lineAt_, pending_);
    keepPending(start);
}

void HistoryRecorder::noteFrameWritten(const std::uint8_t* data, std::size_t size,
                                       std::int64_t unixNanoseconds) {
    keepPacket(true, data, size, unixNanoseconds);
}

void HistoryRecorder::noteBlockRead(const std::uint8_t* data, std::size_t size,
                                    std::int64_t unixNanoseconds) {
    keepPacket(false, data, size, unixNanoseconds);
}

void HistoryRecorder::keepPacket(bool outbound, const std::uint8_t* data, std::size_t size,
                                 std::int64_t unixNanoseconds) {
    if (!capture_ || !isRecording()) {
        return;
    }
    // Packets go in the order of the history's lines. A block read on the
    // receiving thread while a frame was being written is logged after the
    // frame, as it would have been read after it: it is stamped no earlier.
    unixNanoseconds = std::max(unixNanoseconds, latestPacketNs_);
    latestPacketNs_ = unixNanoseconds;
    const std::size_t start = pending_.size();
    pending_ += pcapng::enhancedPacketBlock(
        outbound ? pcapng::Direction::Outbound : pcapng::Direction::Inbound,
        static_cast<std::uint64_t>(std::max<std::int64_t>(0, unixNanoseconds)),
        std::string_view(reinterpret_cast<const char*>(data), size));
    keepPending(start);
}

void HistoryRecorder::keepPending(std::size_t start) {
    pendingStarts_.push_back(start);
    mostPendingBytes_ = std::max(mostPendingBytes_, pending_.size());
    if (!writeTimer_.isActive()) {
        writeTimer_.start(); // the latest the lines go out
        batchAge_.start();
    } else if (!writeQueued_ && batchAge_.elapsed() >= kWriteDelayMs - kWriteEarlyMs) {
        // The console is awake for this line anyway: the batch goes out when
        // the event loop runs next, rather than waking it once more.
        writeQueued_ = true;
        QMetaObject::invokeMethod(this, &HistoryRecorder::writePending, Qt::QueuedConnection);
    }
}

void HistoryRecorder::lastLineRemoved() {
    // The line taken back is the newest; it is still pending, as the send
    // path takes a line back before the event loop runs again.
    if (!pendingStarts_.empty()) {
        pending_.resize(pendingStarts_.back());
        pendingStarts_.pop_back();
    }
}

void HistoryRecorder::writePending() {
    if (const QString failure = writeWaiting(); !failure.isEmpty()) {
        fail(failure);
    }
}

QString HistoryRecorder::writeWaiting() {
    writeTimer_.stop();
    writeQueued_ = false;
    if (pendingStarts_.empty() || !isRecording()) {
        return {};
    }
    const bool written = file_->append(pending_.data(), pending_.size());
    const std::size_t entries = pendingStarts_.size();
    pending_.clear();
    pendingStarts_.clear();
    if (!written) {
        return QString::fromLocal8Bit(file_->reason().c_str());
    }
    entriesWritten_ += entries;
    return {};
}

void HistoryRecorder::fail(const QString& reason) {
    if (!isRecording()) {
        return;
    }
    stopListening();
    pending_.clear();
    pendingStarts_.clear();
    file_->close();
    emit failed(reason);
}
