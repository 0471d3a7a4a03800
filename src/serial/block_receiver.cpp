#include "block_receiver.h"

#include "system_tick.h"

#include <algorithm>
#include <cerrno>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {
// A read of this many bytes that comes back short has emptied the driver's
// buffer: what was waiting is all in it.
constexpr std::size_t kReadChunk = 4096;
// Reads that keep failing on a line that still says it is readable: stop
// rather than spin.
constexpr int kMaxReadErrors = 64;

bool LineIsGone(int error) {
    return error == 0 || error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}
} // namespace

BlockReceiver::BlockReceiver(std::function<std::int32_t()> tick, std::function<void()> wake,
                             std::function<void(int, bool)> failed)
    : tick_(std::move(tick)), wake_(std::move(wake)), failed_(std::move(failed)) {}

BlockReceiver::~BlockReceiver() {
    stop();
}

bool BlockReceiver::start(int descriptor) {
    stop();
    // epoll, edge-triggered, rather than poll: a terminal asked whether
    // input waits when none does yet first flushes its input work and waits
    // for that, a second sleep and wake-up for every block. poll asks on
    // every call, a level-triggered epoll after every read; an edge-triggered
    // one is told only when input comes. Each read below empties the line.
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event line{};
    line.events = EPOLLIN | EPOLLET;
    line.data.fd = descriptor;
    epoll_event stopping{};
    stopping.events = EPOLLIN;
    stopping.data.fd = stopFd_;
    if (stopFd_ < 0 || epollFd_ < 0 ||
        ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, descriptor, &line) < 0 ||
        ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, stopFd_, &stopping) < 0) {
        const int error = errno;
        closeWaits();
        errno = error;
        return false;
    }
    descriptor_ = descriptor;
    thread_ = std::thread([this] { run(); });
    return true;
}

void BlockReceiver::stop() {
    if (!thread_.joinable()) {
        return;
    }
    const std::uint64_t one = 1;
    while (::write(stopFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
    closeWaits();
    descriptor_ = -1;
}

void BlockReceiver::closeWaits() {
    for (int* fd : {&epollFd_, &stopFd_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

void BlockReceiver::takeInto(std::vector<ReceivedRecord>& into) {
    const std::lock_guard<std::mutex> lock(mutex_);
    into.insert(into.end(), queue_.begin(), queue_.end());
    queue_.clear();
    wakePending_ = false;
}

void BlockReceiver::expectAnswer() {
    const std::lock_guard<std::mutex> lock(mutex_);
    answerExpected_ = true;
}

void BlockReceiver::run() {
    std::vector<std::uint8_t> input;
    input.reserve(kReadChunk);
    int readErrors = 0;
    for (;;) {
        epoll_event ready[2];
        const int timeout = msUntilWake(std::chrono::steady_clock::now());
        const int count = ::epoll_wait(epollFd_, ready, 2, timeout);
        if (count < 0 && errno != EINTR) {
            failed_(errno, true);
            return;
        }
        std::uint32_t lineEvents = 0;
        for (int i = 0; i < count; ++i) {
            if (ready[i].data.fd == stopFd_) {
                return;
            }
            lineEvents = ready[i].events;
        }
        if (lineEvents & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
            if (readInput(input)) {
                readErrors = 0;
            } else if (errno != EAGAIN && errno != EINTR) {
                const int error = errno;
                if (LineIsGone(error) || ++readErrors >= kMaxReadErrors) {
                    failed_(error, true);
                    return;
                }
                failed_(error, false);
            }
        }
        wakeIfDue(std::chrono::steady_clock::now());
    }
}

// Reads what waits. Once 32 bytes or more are in, the first 32 make a block
// and the rest of that input is dropped, so the next block starts with the
// next bytes to arrive. False with errno set when the read failed (errno 0:
// the line hung up and reads give nothing).
bool BlockReceiver::readInput(std::vector<std::uint8_t>& input) {
    std::uint8_t chunk[kReadChunk];
    ssize_t got;
    do { // the line is not announced again for what an interrupted read left
        got = ::read(descriptor_, chunk, sizeof chunk);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        if (got == 0) {
            errno = 0;
        }
        return false;
    }
    if (input.size() < BlockSize) {
        input.insert(input.end(), chunk,
                     chunk + std::min<std::size_t>(std::size_t(got), BlockSize));
    }
    if (input.size() < BlockSize) {
        return true;
    }
    ReceivedRecord record;
    const std::int32_t now = tick_();
    record.elapsedMs = ElapsedTicks(previousTick_, now);
    previousTick_ = now;
    record.readAtUnixNs = UnixNanosecondsNow();
    std::copy_n(input.begin(), BlockSize, record.bytes.begin());
    input.clear();
    // A full chunk may have left more behind: it is part of this input.
    for (ssize_t more = got; more == ssize_t(sizeof chunk);) {
        more = ::read(descriptor_, chunk, sizeof chunk);
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(record);
    return true;
}

int BlockReceiver::msUntilWake(std::chrono::steady_clock::time_point now) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty() || wakePending_) {
        return -1;
    }
    const auto left = lastWake_ + WakePeriod - now;
    return int(
        std::max<std::int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
}

void BlockReceiver::wakeIfDue(std::chrono::steady_clock::time_point now) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.empty() || wakePending_ || (!answerExpected_ && now - lastWake_ < WakePeriod)) {
            return;
        }
        wakePending_ = true;
        answerExpected_ = false;
        lastWake_ = now;
    }
    wake_();
}
