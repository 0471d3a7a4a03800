#pragma once
// What kelmora-ctl prints, in one of three forms: readable text, JSON Lines
// (one object per status, frame or step) or kelmora-history's CSV columns
// (one row per frame and status, steps as text on standard error).
// Complaints always go to standard error as text.

#include "ctl_arguments.h"
#include "line_session.h"

#include <cstdio>
#include <functional>
#include <string>

class CtlOutput {
public:
    CtlOutput(OutputFormat format, std::FILE* out, std::FILE* err);

    OutputFormat format() const { return format_; }
    // Called once when standard output is gone (a reader such as head
    // that has read enough): the run then ends as if stopped.
    void setOnClosed(std::function<void()> onClosed) { onClosed_ = std::move(onClosed); }

    // The CSV header; nothing in the other forms.
    void begin();
    void frameSent(const SentFrame& frame, const Step& step);
    // `full`: every field on a line of its own (the status subcommand);
    // otherwise one line.
    void status(const StatusReport& status, const ReceivedBlock& block, std::int32_t elapsedMs,
                bool full);
    // A wait or an expect as it ended, or a job's step that stopped it.
    void stepDone(const Step& step, const std::string& result, bool ok);
    // The end of a run that did not finish: why, with its exit status.
    void stopped(const std::string& reason, ExitStatus exit);
    // A word on standard error that does not end the run.
    void notice(const std::string& text);
    // One JSON object as a line (ports), or text as it stands.
    void line(const std::string& text);

private:
    void csvRow(std::string_view raw);

    OutputFormat format_;
    std::FILE* out_;
    std::FILE* err_;
    std::size_t csvIndex_ = 0;
    std::function<void()> onClosed_;
    bool closed_ = false;
};
