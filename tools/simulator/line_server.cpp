#include "line_server.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <poll.h>
#include <time.h>
#include <unistd.h>

namespace sim {

namespace {

// Replies beyond this wait nowhere: a peer that asks and never reads would
// otherwise make the simulator grow without end.
constexpr std::size_t kMaxQueuedFrames = 1024;
// Streamed frames owed to a stalled line are not piled up without end.
constexpr std::size_t kMaxQueuedStreamFrames = 64;
// How far behind the streaming timer may fall and still make up for it:
// poll() wakes up to a millisecond late, which fast rates must not lose.
constexpr std::int64_t kStreamCatchUpMicros = 50'000;
// Frames written in one go before input and signals are looked at again.
constexpr int kFramesPerWriteTurn = 64;
// How long the last frames may wait for a reader before the simulator exits.
constexpr std::int64_t kDrainLimitMicros = 2'000'000;

void SleepMicros(long micros) {
    timespec pause{0, micros * 1000};
    nanosleep(&pause, nullptr);
}

} // namespace

LineServer::LineServer(const SimOptions& options, PseudoTerminal& terminal, int stopFd)
    : options_(options), terminal_(terminal), stopFd_(stopFd), model_(options.settings),
      modelClock_(now()) {}

std::int64_t LineServer::now() const {
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return std::int64_t{time.tv_sec} * 1'000'000 + time.tv_nsec / 1000;
}

void LineServer::catchUpClock() {
    const std::int64_t time = now();
    if (time > modelClock_) {
        model_.advance(std::chrono::microseconds(time - modelClock_));
        modelClock_ = time;
    }
}

bool LineServer::stopRequested() const {
    pollfd stop{stopFd_, POLLIN, 0};
    return poll(&stop, 1, 0) > 0;
}

int LineServer::run() {
    const bool streamAtRate = options_.stream && options_.streamRate > 0.0;
    const bool streamAtLineSpeed = options_.stream && options_.streamRate == 0.0;
    const std::int64_t period =
        streamAtRate ? std::max<std::int64_t>(1, std::llround(1e6 / options_.streamRate)) : 0;
    std::int64_t nextDue = now() + period;

    for (;;) {
        catchUpClock();
        if (streamAtRate) {
            // Late wake-ups are made up for, but after a stall of the line
            // only by a few frames, not by a burst of everything missed.
            nextDue = std::max(nextDue, modelClock_ - std::max(kStreamCatchUpMicros, period));
            while (modelClock_ >= nextDue) {
                if (queue_.size() < kMaxQueuedStreamFrames) {
                    queue_.push_back(Outgoing{true, {}});
                }
                nextDue += period;
            }
        }

        const bool wantToWrite =
            currentWritten_ < kStatusFrameSize || !queue_.empty() || streamAtLineSpeed;
        pollfd fds[2] = {
            {stopFd_, POLLIN, 0},
            {terminal_.master(), static_cast<short>(POLLIN | (wantToWrite ? POLLOUT : 0)), 0}};
        int timeoutMs = -1;
        if (streamAtRate) {
            const std::int64_t wait = std::max<std::int64_t>(0, nextDue - now());
            timeoutMs = static_cast<int>((wait + 999) / 1000);
        }
        const int ready = poll(fds, 2, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("kelmora-sim: poll");
            return 1;
        }
        if (fds[0].revents != 0) {
            return 0;
        }
        const short events = fds[1].revents;
        if ((events & (POLLIN | POLLOUT)) == 0 && (events & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            SleepMicros(20'000); // no peer state to wait on: do not spin
            continue;
        }
        if (events & POLLIN) {
            readInput();
        }
        if ((events & POLLOUT) && writeOutput()) {
            waitUntilTaken();
            return 0;
        }
    }
}

void LineServer::readInput() {
    std::uint8_t buffer[4096];
    const ssize_t count = read(terminal_.master(), buffer, sizeof buffer);
    if (count <= 0) {
        if (count < 0 && errno != EAGAIN && errno != EINTR) {
            SleepMicros(20'000);
        }
        return;
    }
    catchUpClock();
    const FeedResult result = model_.feed(buffer, static_cast<std::size_t>(count));
    if (options_.hex) {
        for (const CommandFrame& frame : result.frames) {
            const std::string line = HexLine(frame.data(), frame.size()) + "\n";
            std::fwrite(line.data(), 1, line.size(), stdout);
        }
        std::fflush(stdout);
    }
    for (const StatusFrame& reply : result.replies) {
        if (queue_.size() < kMaxQueuedFrames) {
            queue_.push_back(Outgoing{false, reply});
        }
    }
}

bool LineServer::startNextFrame() {
    bool live = false;
    if (!queue_.empty()) {
        live = queue_.front().live;
        current_ = queue_.front().frame;
        queue_.pop_front();
    } else if (options_.stream && options_.streamRate == 0.0) {
        live = true;
    } else {
        return false;
    }
    if (live) {
        catchUpClock();
        current_ = model_.statusFrame();
    }
    if (options_.stamp) {
        WriteUint32(current_.data() + status::kStamp, static_cast<std::uint32_t>(now()));
    }
    currentWritten_ = 0;
    return true;
}

bool LineServer::writeOutput() {
    for (int turn = 0; turn < kFramesPerWriteTurn; ++turn) {
        if (currentWritten_ == kStatusFrameSize && !startNextFrame()) {
            return false;
        }
        while (currentWritten_ < kStatusFrameSize) {
            const ssize_t written = write(terminal_.master(), current_.data() + currentWritten_,
                                          kStatusFrameSize - currentWritten_);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (errno != EAGAIN) {
                    SleepMicros(20'000);
                }
                return false; // the rest goes when the line takes it
            }
            currentWritten_ += static_cast<std::size_t>(written);
        }
        ++framesSent_;
        if (options_.frameLimit != 0 && framesSent_ >= options_.frameLimit) {
            return true;
        }
    }
    return false;
}

void LineServer::waitUntilTaken() {
    // The last frames are still in the terminal: closing it now would drop
    // them before the peer has read them.
    const std::int64_t deadline = now() + kDrainLimitMicros;
    SleepMicros(10'000);
    while (terminal_.unreadBytes() > 0 && now() < deadline && !stopRequested()) {
        SleepMicros(5'000);
    }
}

} // namespace sim
