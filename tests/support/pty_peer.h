#pragma once
// The controller's end of a real pseudo-terminal, for tests that play the
// controller: the console opens devicePath(), the test reads and writes here.

#include <QByteArray>
#include <QString>

class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool isValid() const { return master_ >= 0; }
    QString devicePath() const { return devicePath_; }

    // Writes all bytes; false on failure.
    bool write(const QByteArray& bytes);
    // Reads exactly `count` bytes, processing Qt events while waiting, or
    // what arrived until the timeout.
    QByteArray read(int count, int timeoutMs = 2000);
    // Whatever has arrived by now, without waiting or processing events.
    QByteArray readAvailable();
    // Everything that arrives within `quietMs` (for "nothing was written").
    QByteArray drain(int quietMs = 100);
    // Closes the controller's end (as an unplugged line looks to the console).
    void close();
    // Fills the line's buffer towards the controller with `filler` bytes
    // until the driver takes no more: a controller that has stopped reading.
    // The console's next 64-byte write is then refused, or, with `roomLeft`
    // bytes of room left (1 to 63), taken only in part. Returns the filler
    // bytes on the line.
    qint64 fillLine(char filler, int roomLeft = 0);

private:
    qint64 leaveRoom(char filler, int roomLeft);

    int master_ = -1;
    int slaveKeepAlive_ = -1;
    QString devicePath_;
};
