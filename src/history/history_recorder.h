#pragma once
// A recording: the history written to a file as it is logged, so that a
// crash, a killed process or a Quit loses nothing the file had time to take.
//
// The file starts as Save History would write it at that moment (header
// lines by the name's ending, every line so far) and then takes every line
// the history logs, until the recording is stopped. Clear History does not
// touch it. The recorder listens to the history's lines and keeps each new
// one pending until the event loop runs again, at most kWriteDelayMs: by
// then the send path that logged it has settled, and a line it took back
// (a frame the port refused) is dropped without ever reaching the file.
// The pending lines go out together as whole lines (RecordingFile).

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "history_file_writer.h"

class HistoryModel;
class RecordingFile;

class HistoryRecorder : public QObject {
    Q_OBJECT

public:
    // The longest a logged line waits before it is written.
    static constexpr int kWriteDelayMs = 20;

    HistoryRecorder(const HistoryModel& history, QString versionText, QObject* parent = nullptr);
    ~HistoryRecorder() override;

    // Starts recording into `path` (an earlier recording is stopped first).
    // Empty on success, else why the file could not be started; nothing is
    // recorded then.
    QString start(const QString& path, const QDateTime& now);
    // Writes what waits, syncs and closes the file. Empty on success, else
    // why the last writes failed. Does nothing when not recording.
    QString stop();

    bool isRecording() const;
    QString path() const { return path_; }
    // Entries in the file so far, the lines written before the recording
    // began included (header lines not).
    std::uint64_t entriesWritten() const { return entriesWritten_; }
    // The most bytes that waited to be written at one time.
    std::size_t mostPendingBytes() const { return mostPendingBytes_; }

signals:
    // The recording stopped by itself: the file refused a write or a sync.
    // The file keeps what it had.
    void failed(const QString& reason);

private:
    void lineAppended();
    void lastLineRemoved();
    void writePending();
    void keepPending(std::size_t start);
    void fail(const QString& reason);

    const HistoryModel& history_;
    QString versionText_;
    HistoryLineSource lineAt_;
    std::unique_ptr<RecordingFile> file_;
    QString path_;
    QTimer writeTimer_;
    std::string pending_;
    std::vector<std::size_t> pendingStarts_; // where each pending entry starts
    std::uint64_t recordingsStarted_ = 0;
    std::uint64_t entriesWritten_ = 0;
    std::size_t mostPendingBytes_ = 0;
    std::vector<QMetaObject::Connection> listening_;
};
