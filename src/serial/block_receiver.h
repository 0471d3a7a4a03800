#pragma once
// The receive path's own thread. It waits on the open port's descriptor,
// cuts blocks out of what arrives the way the console logs them (a block is
// the first 32 bytes of the input once at least 32 wait; whatever else came
// with them is dropped), stamps each with the ticks since the previous block
// and the real time it was read, and queues it for the user-interface
// thread, which logs and shows it. Plain C++ and POSIX: no Qt, no widget.
//
// Shared between the two threads: the queue of blocks and the wake-up
// bookkeeping, all behind `mutex_` (one lock, nothing else crosses). The
// descriptor belongs to the port's owner; the thread only reads from it, and
// stop() returns once the thread is out of any read, so the owner may close
// the port right after.
//
// The user-interface thread is woken through `wake` (called on the receiving
// thread) for the first block after a quiet spell, then at most once every
// WakePeriod while blocks stream in: never once per block. A block that
// follows expectAnswer() (a request was just written) wakes it at once, so
// an answer is logged without waiting for the display's pace.

#include <received_line.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct ReceivedRecord {
    ReceivedBlock bytes{};         // the first 32 bytes of the input
    std::int32_t elapsedMs = 0;    // ticks since the previous block
    std::int64_t readAtUnixNs = 0; // when the read that completed it returned
};

class BlockReceiver {
public:
    static constexpr std::size_t BlockSize = 32;
    static constexpr std::chrono::milliseconds WakePeriod{34}; // under 30 a second

    // `tick` (the signed 32-bit millisecond count) is read on the receiving
    // thread. `failed` is called there too, with the errno of a read that
    // failed (0: the line hung up); `fatal` when the thread has stopped.
    BlockReceiver(std::function<std::int32_t()> tick, std::function<void()> wake,
                  std::function<void(int error, bool fatal)> failed);
    ~BlockReceiver();
    BlockReceiver(const BlockReceiver&) = delete;
    BlockReceiver& operator=(const BlockReceiver&) = delete;

    // Starts waiting on `descriptor` (open, non-blocking). Bytes of an
    // earlier open that never made a block are forgotten. False, with errno
    // set, when the wait cannot be set up: nothing would be received.
    bool start(int descriptor);
    // Returns once the thread has ended; queued blocks stay to be taken.
    void stop();
    bool running() const { return thread_.joinable(); }

    // Moves every block queued so far, oldest first, to the end of `into`.
    void takeInto(std::vector<ReceivedRecord>& into);
    // The next block is an answer someone waits for: wake at once.
    void expectAnswer();

    // The tick of the latest block: it outlives opening and closing the port.
    std::int32_t previousTick() const { return previousTick_; }

private:
    void run();
    bool readInput(std::vector<std::uint8_t>& input);
    int msUntilWake(std::chrono::steady_clock::time_point now);
    void wakeIfDue(std::chrono::steady_clock::time_point now);
    void closeWaits();

    std::function<std::int32_t()> tick_;
    std::function<void()> wake_;
    std::function<void(int, bool)> failed_;
    int descriptor_ = -1;
    int stopFd_ = -1;  // an eventfd: written by stop() to end the wait
    int epollFd_ = -1; // waits on the descriptor and stopFd_
    std::thread thread_;
    std::int32_t previousTick_ = 0; // the receiving thread's, or the stopped owner's

    std::mutex mutex_;
    std::vector<ReceivedRecord> queue_;
    bool wakePending_ = false; // woken, and not yet taken since
    bool answerExpected_ = false;
    std::chrono::steady_clock::time_point lastWake_{};
};
