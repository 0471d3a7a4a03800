#pragma once
// A pseudo-terminal whose controller end is read empty by a thread of its
// own, as fast as bytes arrive: the console's writes never wait for a slow
// peer, so what is measured is the console's side of sending.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace bench {

class DrainedPty {
public:
    DrainedPty();
    ~DrainedPty();
    DrainedPty(const DrainedPty&) = delete;
    DrainedPty& operator=(const DrainedPty&) = delete;

    bool isValid() const { return master_ >= 0; }
    const std::string& devicePath() const { return devicePath_; }
    std::uint64_t bytesRead() const { return bytesRead_.load(); }
    // Waits until `count` bytes have been read in all; false after the timeout.
    bool waitForBytes(std::uint64_t count, int timeoutMs) const;

private:
    void drain();

    int master_ = -1;
    int slave_ = -1;
    std::string devicePath_;
    std::atomic<std::uint64_t> bytesRead_{0};
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

} // namespace bench
