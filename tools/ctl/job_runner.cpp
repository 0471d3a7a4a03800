#include "job_runner.h"

#include "status_fields.h"

#include <cmath>
#include <sstream>
#include <thread>

namespace {

using Clock = LineSession::Clock;

// How often the status is asked for while waiting for idle.
constexpr Milliseconds kIdlePollInterval{100};
// How long a streaming watch lets frames gather: at the line's 360 frames a
// second some seven of them, for a wake-up instead of seven.
constexpr Milliseconds kStreamRest{20};

std::string NumberWord(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

bool Compare(double actual, CompareOp op, double expected) {
    switch (op) {
    case CompareOp::Equal:
        return actual == expected;
    case CompareOp::NotEqual:
        return actual != expected;
    case CompareOp::Less:
        return actual < expected;
    case CompareOp::LessEqual:
        return actual <= expected;
    case CompareOp::Greater:
        return actual > expected;
    case CompareOp::GreaterEqual:
        return actual >= expected;
    }
    return false;
}

bool SamePosition(const StatusReport& a, const StatusReport& b) {
    return a.positionX == b.positionX && a.positionY == b.positionY && a.positionZ == b.positionZ &&
           a.positionC == b.positionC;
}

std::string PositionText(const StatusReport& s) {
    return "x " + std::to_string(s.positionX) + ", y " + std::to_string(s.positionY) + ", z " +
           std::to_string(s.positionZ) + ", c " + std::to_string(s.positionC);
}

} // namespace

JobRunner::JobRunner(LineSession& session, CtlOutput& output, const CtlOptions& options)
    : session_(session), output_(output), options_(options) {
    QObject::connect(
        &session_, &LineSession::statusReceived, &session_,
        [this](const StatusReport& status, const ReceivedBlock& block, std::int32_t elapsed) {
            if (!polling_ || output_.format() != OutputFormat::Text) {
                output_.status(status, block, elapsed, options_.mode == RunMode::Status);
            }
            noteStatus(status);
        });
}

void JobRunner::noteStatus(const StatusReport& status) {
    latest_ = status;
    statusSinceFrame_ = true;
    if (!watchFaults_ || !fault_.empty()) {
        return;
    }
    if (status.errorCode != 0) {
        fault_ = "the controller reports error code " + std::to_string(status.errorCode);
    } else if (StatusField(status, "emergency") != 0) {
        fault_ = "the controller reports the emergency stop";
    } else if ((status.switchFlags & 0x0F) != 0 && !referenceRunning_) {
        static const char* const kNames[] = {"End X", "End Y", "End Z", "End C"};
        for (int bit = 0; bit < 4; ++bit) {
            if ((status.switchFlags >> bit) & 1U) {
                fault_ = std::string("the controller reports the end switch ") + kNames[bit];
                break;
            }
        }
    }
}

std::optional<JobRunner::Outcome> JobRunner::interruption() const {
    if (session_.stopSignal() != 0) {
        return Outcome{static_cast<ExitStatus>(128 + session_.stopSignal()),
                       "stopped by a signal: no further frame is written; the controller still "
                       "carries out what it was sent (the protocol has no stop command)"};
    }
    if (session_.lost()) {
        return Outcome{ExitStatus::LineFailed,
                       "the line failed: " + session_.lostReason().toStdString()};
    }
    if (!fault_.empty()) {
        return Outcome{ExitStatus::ControllerError, fault_};
    }
    return std::nullopt;
}

ExitStatus JobRunner::run(const std::vector<Step>& steps) {
    watchFaults_ = true;
    for (const Step& step : steps) {
        // Whatever arrived since the last step is weighed before a frame goes.
        session_.takeArrivals();
        Outcome outcome = interruption().value_or(Outcome{});
        if (outcome.exit == ExitStatus::Done) {
            outcome = runStep(step);
        }
        if (outcome.exit != ExitStatus::Done) {
            const std::string where =
                step.line != 0 ? "line " + std::to_string(step.line) + " (" + step.words + "): "
                               : "";
            output_.stopped(where + outcome.reason, outcome.exit);
            return outcome.exit;
        }
    }
    return ExitStatus::Done;
}

JobRunner::Outcome JobRunner::runStep(const Step& step) {
    switch (step.kind) {
    case StepKind::Frame:
        return sendFrame(step);
    case StepKind::WaitIdle:
        return waitIdle(step, step.limit.value_or(IdleLimit(options_)));
    case StepKind::WaitTime:
        return waitTime(step);
    case StepKind::Expect:
        return expect(step);
    }
    return {};
}

JobRunner::Outcome JobRunner::sendFrame(const Step& step) {
    if (step.frame.kind == CommandKind::StatusRequest) {
        StatusReport answer;
        Outcome outcome = requestStatus(answer);
        if (outcome.exit == ExitStatus::Done && step.waitIdle) {
            outcome = waitIdle(step, IdleLimit(options_));
        }
        return outcome;
    }
    SentFrame sent;
    const SendResult result = session_.send(step.frame, sent);
    if (result.outcome != SendOutcome::Sent) {
        return {ExitStatus::LineFailed, "the line failed: " + session_.lostReason().toStdString()};
    }
    output_.frameSent(sent, step);
    statusSinceFrame_ = false;
    if (step.frame.kind == CommandKind::ReferenceRun) {
        referenceRunning_ = true;
    }
    return step.waitIdle ? waitIdle(step, IdleLimit(options_)) : Outcome{};
}

JobRunner::Outcome JobRunner::requestStatus(StatusReport& answer) {
    session_.discardInput();
    Step request;
    request.frame.kind = CommandKind::StatusRequest;
    SentFrame sent;
    if (session_.send(request.frame, sent).outcome != SendOutcome::Sent) {
        return {ExitStatus::LineFailed, "the line failed: " + session_.lostReason().toStdString()};
    }
    if (!polling_ || output_.format() != OutputFormat::Text) {
        output_.frameSent(sent, request);
    }
    const std::uint64_t before = session_.blocksReceived();
    const bool answered = session_.waitUntil([&] { return session_.blocksReceived() > before; },
                                             Clock::now() + options_.timeout);
    if (!answered) {
        if (auto stop = interruption()) {
            return *stop;
        }
        return {ExitStatus::NoAnswer, "no answer from the controller within " +
                                          NumberWord(options_.timeout.count() / 1000.0) + " s"};
    }
    answer = latest_;
    return {};
}

JobRunner::Outcome JobRunner::waitIdle(const Step& step, Milliseconds limit) {
    const Polling polling(polling_);
    const auto deadline = Clock::now() + limit;
    std::optional<StatusReport> previous;
    while (true) {
        StatusReport status;
        if (Outcome outcome = requestStatus(status); outcome.exit != ExitStatus::Done) {
            return outcome;
        }
        if (auto stop = interruption()) {
            return *stop;
        }
        if (status.fillLevel == 0 && previous && previous->fillLevel == 0 &&
            SamePosition(*previous, status)) {
            referenceRunning_ = false;
            if (step.kind == StepKind::WaitIdle) {
                output_.stepDone(step, "idle at " + PositionText(status), true);
            }
            return {};
        }
        previous = status;
        session_.waitUntil([] { return false; },
                           std::min(deadline, Clock::now() + kIdlePollInterval));
        if (auto stop = interruption()) {
            return *stop;
        }
        if (Clock::now() >= deadline) {
            return {ExitStatus::NoAnswer, "the machine was not idle within " +
                                              NumberWord(limit.count() / 1000.0) + " s (" +
                                              PositionText(status) + ", buffer " +
                                              std::to_string(status.fillLevel) + " %)"};
        }
    }
}

JobRunner::Outcome JobRunner::waitTime(const Step& step) {
    session_.waitUntil([this] { return !fault_.empty(); }, Clock::now() + step.duration);
    if (auto stop = interruption()) {
        return *stop;
    }
    output_.stepDone(step, "waited", true);
    return {};
}

JobRunner::Outcome JobRunner::expect(const Step& step) {
    // The latest status serves while no frame went out after it.
    StatusReport status = latest_;
    if (!statusSinceFrame_) {
        const Polling polling(polling_);
        if (Outcome outcome = requestStatus(status); outcome.exit != ExitStatus::Done) {
            return outcome;
        }
    }
    const Expectation& e = step.expectation;
    const double actual = StatusField(status, e.field);
    const bool ok = Compare(actual, e.op, e.value);
    const std::string value =
        IsStatusBit(e.field) ? (actual != 0 ? "on" : "off") : NumberWord(actual);
    const std::string result =
        e.field + " is " + value +
        (ok ? ": as expected"
            : ", not as expected (" + step.words.substr(step.words.find(' ') + 1) + ")");
    output_.stepDone(step, result, ok);
    if (!ok) {
        return {ExitStatus::ControllerError, "expectation failed: " + result};
    }
    return {};
}

ExitStatus JobRunner::printStatus() {
    StatusReport status;
    const Outcome outcome = requestStatus(status);
    if (outcome.exit != ExitStatus::Done) {
        output_.stopped(outcome.reason, outcome.exit);
    }
    return outcome.exit;
}

ExitStatus JobRunner::watch() {
    while (session_.stopSignal() == 0 && !session_.lost()) {
        if (options_.stream) {
            // The frames wait in the line's buffer while the loop rests: one
            // wake-up takes several of them instead of one each, at the cost
            // of showing them up to a rest later. A signal cuts the rest short.
            session_.takeArrivals();
            std::this_thread::sleep_for(kStreamRest);
            continue;
        }
        const auto next = Clock::now() + options_.every;
        StatusReport status;
        const Outcome outcome = requestStatus(status);
        if (outcome.exit == ExitStatus::NoAnswer) {
            output_.notice(outcome.reason);
        }
        session_.waitUntil([] { return false; }, next);
    }
    if (session_.lost()) {
        output_.stopped("the line failed: " + session_.lostReason().toStdString(),
                        ExitStatus::LineFailed);
        return ExitStatus::LineFailed;
    }
    return ExitStatus::Done;
}
