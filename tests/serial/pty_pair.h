#pragma once
// A pseudo-terminal for the serial tests: the test plays the far end of the
// line on the master side, the connection under test opens the slave device.

#include <QByteArray>
#include <QString>

#include <termios.h>

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    QString deviceName() const { return deviceName_; }

    // Writes as the far end of the line; true when every byte was taken.
    bool writeFromPeer(const QByteArray& bytes);
    // Reads what the connection wrote, until count bytes came or the time ran out.
    QByteArray readAtPeer(int count, int timeoutMs = 2000);
    // Waits until the system holds count bytes for the connection to read.
    bool waitUntilQueuedForDevice(int count, int timeoutMs = 2000);
    // The far end hangs up.
    void closePeer();
    // The line as the system has it programmed now (speed, character format).
    termios lineSettings() const;

private:
    int master_ = -1;
    int observer_ = -1; // a second descriptor on the slave, only to look at its input queue
    QString deviceName_;
};
