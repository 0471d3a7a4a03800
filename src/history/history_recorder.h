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
//
// A name ending in ".pcapng" (any case) makes the recording a capture of
// the line for Wireshark instead: the section and interface blocks (the
// port's device and line settings), then one packet for each frame the
// port took (its 64 bytes, outbound) and each block read (its first 32
// bytes, inbound), with the real time of the write or the read. The frames
// come from the wire itself (noteFrameWritten, noteBlockRead), so a frame
// the port refused is never there; the lines before the start, whose times
// of day no one kept, are not in a capture.

#include <QDateTime>
#include <QElapsedTimer>
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

// The line a capture is of.
struct CapturedLine {
    QString device;   // "/dev/ttyUSB0"
    QString settings; // "115200,n,8,1"
};

// Whether a recording into `path` is a capture: the name ends in ".pcapng".
bool IsCapturePath(const QString& path);

class HistoryRecorder : public QObject {
    Q_OBJECT

public:
    // The longest a logged line waits before it is written. Each write of
    // a file costs the system some 30 us whatever its size (ext4 updates
    // the file's times with every one), so lines go out in batches: at
    // line rate some 30 writes a second instead of 360, and a line is in
    // the file well within 100 ms of being logged.
    static constexpr int kWriteDelayMs = 40;
    // From this much earlier on, a batch goes out with the next line that
    // wakes the console (at line rate one comes every 2.8 ms), so the timer
    // hardly ever has to wake it.
    static constexpr int kWriteEarlyMs = 10;

    HistoryRecorder(const HistoryModel& history, QString versionText, QObject* parent = nullptr);
    ~HistoryRecorder() override;

    // Starts recording into `path` (an earlier recording is stopped first).
    // Empty on success, else why the file could not be started; nothing is
    // recorded then.
    QString start(const QString& path, const QDateTime& now, const CapturedLine& line = {});
    // Writes what waits, syncs and closes the file. Empty on success, else
    // why the file lacks its end (a write, the sync or the close failed);
    // failed() is not emitted then. Does nothing when not recording.
    QString stop();

    bool isRecording() const;
    bool isCapture() const { return capture_; }
    QString path() const { return path_; }
    // Entries in the file so far, the lines written before the recording
    // began included (header lines not).
    std::uint64_t entriesWritten() const { return entriesWritten_; }
    // The most bytes that waited to be written at one time.
    std::size_t mostPendingBytes() const { return mostPendingBytes_; }

    // The wire, for a capture (ignored otherwise): a frame the port took
    // whole, and the first 32 bytes of a block read, each with the real time
    // of the write or the read in nanoseconds since 1970.
    void noteFrameWritten(const std::uint8_t* data, std::size_t size, std::int64_t unixNanoseconds);
    void noteBlockRead(const std::uint8_t* data, std::size_t size, std::int64_t unixNanoseconds);

signals:
    // The recording stopped by itself: the file refused a write or a sync.
    // The file keeps what it had.
    void failed(const QString& reason);

private:
    void lineAppended();
    void lastLineRemoved();
    void writePending();
    // Writes what waits; empty on success, else why not.
    QString writeWaiting();
    void stopListening();
    void keepPending(std::size_t start);
    void keepPacket(bool outbound, const std::uint8_t* data, std::size_t size,
                    std::int64_t unixNanoseconds);
    void fail(const QString& reason);

    const HistoryModel& history_;
    QString versionText_;
    HistoryLineSource lineAt_;
    std::unique_ptr<RecordingFile> file_;
    QString path_;
    bool capture_ = false;
    QTimer writeTimer_;
    QElapsedTimer batchAge_; // since the oldest pending entry
    bool writeQueued_ = false;
    std::string pending_;
    std::vector<std::size_t> pendingStarts_; // where each pending entry starts
    std::uint64_t recordingsStarted_ = 0;
    std::uint64_t entriesWritten_ = 0;
    std::size_t mostPendingBytes_ = 0;
    std::int64_t latestPacketNs_ = 0;
    std::vector<QMetaObject::Connection> listening_;
};
