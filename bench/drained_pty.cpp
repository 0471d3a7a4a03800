#include "drained_pty.h"

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace bench {

DrainedPty::DrainedPty() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = -1;
        slave_ = -1;
        return;
    }
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    devicePath_ = name;
    reader_ = std::thread([this] { drain(); });
}

DrainedPty::~DrainedPty() {
    stop_ = true;
    if (reader_.joinable()) {
        reader_.join();
    }
    if (slave_ >= 0) {
        ::close(slave_);
    }
    if (master_ >= 0) {
        ::close(master_);
    }
}

void DrainedPty::drain() {
    char buffer[65536];
    while (!stop_) {
        pollfd ready{master_, POLLIN, 0};
        if (::poll(&ready, 1, 20) <= 0) {
            continue;
        }
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            bytesRead_ += std::uint64_t(n);
        } else if (ready.revents & (POLLHUP | POLLERR)) {
            // No console on the line right now; do not spin.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

bool DrainedPty::waitForBytes(std::uint64_t count, int timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bytesRead_.load() < count) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

} // namespace bench
