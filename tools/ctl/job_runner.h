#pragma once
// Runs steps on the line: sends frames, waits, checks expectations, and
// watches every status that arrives for what must stop a job (an error
// code, the emergency stop, an end switch outside a reference run). A stop
// is noticed before the next frame, never in the middle of one. A
// subcommand runs as a job of one step.

#include "ctl_arguments.h"
#include "ctl_output.h"
#include "line_session.h"

#include <optional>
#include <string>
#include <vector>

class JobRunner {
public:
    JobRunner(LineSession& session, CtlOutput& output, const CtlOptions& options);

    ExitStatus run(const std::vector<Step>& steps);
    // The status subcommand: one request, its answer in full.
    ExitStatus printStatus();
    // One line per status, until a stop signal (then 0) or a lost line.
    ExitStatus watch();

private:
    struct Outcome {
        ExitStatus exit = ExitStatus::Done;
        std::string reason;
    };

    Outcome runStep(const Step& step);
    Outcome sendFrame(const Step& step);
    // Sends a status request and waits for its answer.
    Outcome requestStatus(StatusReport& answer);
    Outcome waitIdle(const Step& step, Milliseconds limit);
    Outcome waitTime(const Step& step);
    Outcome expect(const Step& step);
    // Why the wait ended early, when it did.
    std::optional<Outcome> interruption() const;
    void noteStatus(const StatusReport& status);

    LineSession& session_;
    CtlOutput& output_;
    const CtlOptions& options_;
    // Text shows a wait's and an expect's requests and answers only in
    // their result; JSON and CSV show every frame and status.
    struct Polling {
        explicit Polling(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
        ~Polling() { flag_ = was_; }
        bool& flag_;
        bool was_;
    };
    bool polling_ = false;
    bool watchFaults_ = false;
    bool referenceRunning_ = false;
    bool statusSinceFrame_ = false;
    StatusReport latest_;
    std::string fault_;
};
