#include "pty_pair.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair() {
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
        master_ = -1;
        return;
    }
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::close(slave);
    deviceName_ = QString::fromLocal8Bit(name);
    observer_ = ::open(name, O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    closePeer();
    if (observer_ >= 0)
        ::close(observer_);
}

bool PtyPair::writeFromPeer(const QByteArray& bytes) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(master_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray PtyPair::readAtPeer(int count, int timeoutMs) {
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (received.size() < count && clock.elapsed() < timeoutMs) {
        pollfd descriptor{master_, POLLIN, 0};
        if (::poll(&descriptor, 1, 20) <= 0)
            continue;
        char chunk[512];
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n > 0)
            received.append(chunk, static_cast<int>(n));
    }
    return received;
}

bool PtyPair::waitUntilQueuedForDevice(int count, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        int queued = 0;
        if (::ioctl(observer_, FIONREAD, &queued) == 0 && queued >= count)
            return true;
        ::usleep(2000);
    }
    return false;
}

termios PtyPair::lineSettings() const {
    termios line{};
    ::tcgetattr(master_, &line); // the master reports the slave's settings
    return line;
}

void PtyPair::closePeer() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}
