#include "pty_peer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
        master_ = -1;
        return;
    }
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    devicePath_ = QString::fromLocal8Bit(name);
    // Keep the device's far side open until the console opens it, so the
    // line settings survive; the console's own open takes over from here.
    slaveKeepAlive_ = slave;
}

PtyPeer::~PtyPeer() {
    close();
}

void PtyPeer::close() {
    if (slaveKeepAlive_ >= 0) {
        ::close(slaveKeepAlive_);
        slaveKeepAlive_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

bool PtyPeer::write(const QByteArray& bytes) {
    qint64 done = 0;
    QElapsedTimer timer;
    timer.start();
    while (done < bytes.size() && master_ >= 0) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            if (timer.elapsed() > 5000) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }
    return done == bytes.size();
}

QByteArray PtyPeer::read(int count, int timeoutMs) {
    QByteArray result;
    QElapsedTimer timer;
    timer.start();
    while (result.size() < count && timer.elapsed() < timeoutMs && master_ >= 0) {
        char buffer[4096];
        const ssize_t n = ::read(
            master_, buffer, size_t(std::min<int>(count - int(result.size()), int(sizeof buffer))));
        if (n > 0) {
            result.append(buffer, int(n));
            continue;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{master_, POLLIN, 0};
        ::poll(&p, 1, 2);
    }
    return result;
}

QByteArray PtyPeer::readAvailable() {
    QByteArray result;
    char buffer[4096];
    ssize_t n = 0;
    while (master_ >= 0 && (n = ::read(master_, buffer, sizeof buffer)) > 0) {
        result.append(buffer, int(n));
    }
    return result;
}

QByteArray PtyPeer::drain(int quietMs) {
    QByteArray result;
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < quietMs && master_ >= 0) {
        char buffer[4096];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            result.append(buffer, int(n));
            quiet.restart();
            continue;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{master_, POLLIN, 0};
        ::poll(&p, 1, 2);
    }
    return result;
}

qint64 PtyPeer::fillLine(char filler, int roomLeft) {
    // Through the far side this end keeps open: the console may hold the
    // device exclusively, which keeps a new open out.
    if (slaveKeepAlive_ < 0) {
        return 0;
    }
    const int flags = ::fcntl(slaveKeepAlive_, F_GETFL);
    ::fcntl(slaveKeepAlive_, F_SETFL, flags | O_NONBLOCK);
    const QByteArray block(64, filler);
    qint64 written = 0;
    // The kernel moves written bytes on to the reading side's own buffer
    // (4095 bytes in raw mode) a moment later, which frees room again: the
    // line is full for good once that buffer is full and no room is left.
    const auto writeUntilRefused = [&] {
        for (;;) {
            const ssize_t n = ::write(slaveKeepAlive_, block.constData(), size_t(block.size()));
            if (n > 0) {
                written += n;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                return;
            }
        }
    };
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        writeUntilRefused();
        int readable = 0;
        ::ioctl(master_, FIONREAD, &readable);
        if (readable >= 4095 || timer.elapsed() > 2000) {
            break;
        }
        QThread::usleep(1000);
    }
    // The last block moved on may still free its room: full is when no room
    // comes back for a while.
    for (int quiet = 0; quiet < 10 && timer.elapsed() < 3000;) {
        QThread::usleep(1000);
        const qint64 before = written;
        writeUntilRefused();
        quiet = written == before ? quiet + 1 : 0;
    }
    if (roomLeft > 0) {
        written -= leaveRoom(filler, roomLeft);
    }
    ::fcntl(slaveKeepAlive_, F_SETFL, flags);
    return written;
}

qint64 PtyPeer::leaveRoom(char filler, int roomLeft) {
    // The driver gives room back a buffer at a time, once the reading side
    // has taken all of one: read until the line is writable again, then
    // count that room with single bytes, which fill it as the next ones do.
    // The same reading frees the same room again; all of it but
    // `roomLeft` bytes is filled.
    qint64 drained = 0;
    const auto readable = [this] {
        int waiting = 0;
        ::ioctl(master_, FIONREAD, &waiting);
        return waiting;
    };
    const auto writable = [this] {
        pollfd p{slaveKeepAlive_, POLLOUT, 0};
        return ::poll(&p, 1, 0) > 0;
    };
    // One small read at a time, each left to the driver to settle: it
    // refills the reading side's buffer from what waits behind it, and frees
    // room as it empties a buffer. Reading on before it has (a busy machine
    // delays it) would free a second buffer.
    const auto drainUntilWritable = [&] {
        QElapsedTimer timer;
        timer.start();
        const int full = readable();
        while (!writable() && timer.elapsed() < 2000) {
            char taken[32];
            drained += std::max<ssize_t>(0, ::read(master_, taken, sizeof taken));
            while (readable() < full && !writable() && timer.elapsed() < 2000) {
                QThread::usleep(100);
            }
        }
    };
    const auto writeSingles = [&](qint64 most) {
        qint64 done = 0;
        while (done < most && ::write(slaveKeepAlive_, &filler, 1) == 1) {
            ++done;
        }
        return done;
    };
    // A refill the line refused before its end found less room than was
    // counted: the line is full again, and the count is made anew.
    qint64 written = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        drainUntilWritable();
        const qint64 room = writeSingles(std::numeric_limits<qint64>::max());
        drainUntilWritable();
        const qint64 refilled = writeSingles(room - roomLeft);
        written += room + refilled;
        if (refilled == room - roomLeft) {
            break;
        }
    }
    return drained - written;
}
