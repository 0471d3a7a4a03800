#pragma once
// Serves the controller model on the master side of the pseudo-terminal:
// reads command frames, answers status requests, streams status frames when
// asked to, and keeps the model's clock in step with the wall clock.

#include "controller_model.h"
#include "pseudo_terminal.h"
#include "sim_options.h"

#include <cstdint>
#include <deque>

namespace sim {

class LineServer {
public:
    // `stopFd` becomes readable when the simulator is to stop (a signal).
    LineServer(const SimOptions& options, PseudoTerminal& terminal, int stopFd);

    // Runs until stopped or until the frame limit is reached; returns the
    // process exit code.
    int run();

private:
    // A frame to send: a reply holds the state as it stood at the request;
    // a streamed frame takes the state when its turn to be written comes.
    struct Outgoing {
        bool live = false;
        StatusFrame frame{};
    };

    std::int64_t now() const;
    void catchUpClock();
    void readInput();
    // Returns true when the frame limit has been reached.
    bool writeOutput();
    bool startNextFrame();
    void waitUntilTaken();
    bool stopRequested() const;

    const SimOptions options_;
    PseudoTerminal& terminal_;
    int stopFd_;
    ControllerModel model_;
    std::int64_t modelClock_ = 0; // microseconds, CLOCK_MONOTONIC
    std::deque<Outgoing> queue_;
    StatusFrame current_{};
    std::size_t currentWritten_ = kStatusFrameSize; // == size: nothing under way
    std::uint64_t framesSent_ = 0;
};

} // namespace sim
