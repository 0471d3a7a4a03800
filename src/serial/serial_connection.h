#pragma once
// The console's serial connection: one port, its line settings, the receive
// notification with its threshold of 32 bytes, and the report of a port that
// disappears while open. The only user of QSerialPort in the console.
//
// Everything happens on the thread that owns the object (the UI thread),
// but for the reading of blocks once receiveOnThread() is chosen: the port
// is still opened, configured, written and closed here, while a
// BlockReceiver reads it on its own thread (see block_receiver.h for what
// the two threads share). Notifications are raised between other handlers:
// data-received ones straight from the port's readiness, error ones,
// blocksReceived() and portLost() through the event queue, so they never
// cut into a caller that is writing a block.

#include "block_receiver.h"
#include "comm_event.h"
#include "line_settings.h"
#include "port_name.h"
#include "serial_result.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class SerialConnection : public QObject {
    Q_OBJECT

public:
    // Bytes that must wait before a data-received notification is raised.
    static constexpr qint64 ReceiveThreshold = 32;

    explicit SerialConnection(QObject* parent = nullptr);
    ~SerialConnection() override;

    // The port for the next open: a port number ("3") or a device name. A
    // refused text keeps the previous port. An open port is not moved.
    SerialResult setCommPort(const QString& portText);
    QString commPort() const { return commPortText_; }
    QString portLocation() const { return portLocation_; }

    // "speed,parity,data bits,stop bits", as "115200,n,8,1". A refused text
    // keeps the previous settings; an open port takes new ones at once.
    SerialResult setSettings(const QString& settingsText);
    QString settings() const { return settingsText_; }

    // Opens the chosen port with the current settings, no flow control.
    // Opening an open port changes nothing and succeeds.
    SerialResult open();
    void close();
    bool isOpen() const;

    // Writes the block, all bytes in order, and hands it to the driver at
    // once. Returns size, or -1 when the port is not open, the write failed
    // or the driver did not take the whole block (its buffer full); after a
    // -1 the caller closes the port, which drops what the driver did not take.
    qint64 output(const char* data, qint64 size);
    qint64 output(const QByteArray& block) { return output(block.constData(), block.size()); }
    // Why the last output() failed, for the operator.
    QString lastWriteError() const { return lastWriteError_; }
    // The bytes of the last output() that reached the driver: the whole
    // block, none, or (a driver with little room left) its first bytes.
    qint64 lastWriteTaken() const { return lastWriteTaken_; }

    // Every byte waiting (any value 0 to 255), removed from the receive buffer.
    QByteArray input();
    qint64 bytesWaiting() const;
    // Drops everything waiting, what the system still buffers included.
    void discardInput();

    // A reader that cuts blocks out of the stream itself (a command-line
    // client) hears of every byte: 1. The console keeps ReceiveThreshold.
    void setReceiveThreshold(qint64 bytes) { receiveThreshold_ = bytes; }

    // Blocks are read on a thread of their own from the next open() on,
    // timed with `tick` (read on that thread), rather than announced one by
    // one through onComm(): blocksReceived() says that takeReceived() has
    // some. onComm() then raises the error notifications alone.
    void receiveOnThread(std::function<std::int32_t()> tick);
    // Moves every block read so far, oldest first, to the end of `into`.
    void takeReceived(std::vector<ReceivedRecord>& into);
    // A request went out: its answer is announced without waiting.
    void expectAnswer();

    // The kind of the latest notification: CommEvent::Receive (2) for data.
    int commEvent() const { return commEvent_; }

    // A line error as the port reports it. For tests: a pseudo-terminal
    // cannot be made to fail a single read on demand.
    void reportLineError(QSerialPort::SerialPortError error) { onErrorOccurred(error); }

signals:
    // Data received with at least ReceiveThreshold bytes waiting, or an error
    // notification on a port that is still there; commEvent() tells which.
    void onComm();
    // The open port went away (device unplugged, other end of the line
    // closed). The connection is closed when this is emitted.
    void portLost(const QString& reason);
    // Blocks wait in takeReceived(): at once for the first after a quiet
    // spell or a request, then at most about 30 times a second.
    void blocksReceived();

private:
    void threadReadFailed(bool fatal);
    void stopReceiving();
    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void notifyError(int commEvent);
    void finishLoss();
    bool applySettings(const LineSettings& settings);

    QSerialPort port_;
    QString commPortText_;
    QString portLocation_;
    QString settingsText_;
    LineSettings settings_;
    qint64 receiveThreshold_ = ReceiveThreshold;
    int commEvent_ = CommEvent::None;
    int consecutiveReadErrors_ = 0;
    bool opening_ = false;
    bool writeFailed_ = false;
    bool lossPending_ = false;
    QString lossReason_;
    QString lastWriteError_;
    qint64 lastWriteTaken_ = 0;
    // Declared after the port: it stops reading before the port closes.
    std::unique_ptr<BlockReceiver> receiver_;
};
